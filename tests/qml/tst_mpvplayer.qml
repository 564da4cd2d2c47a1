import QtQuick 2.15
import QtTest 1.15

TestCase {
    id: testCase

    property Component playerComponent: Qt.createComponent("qrc:/qml/Elements/MpvPlayer.qml")
    // A short synthetic clip, so that the end of file comes quickly.
    readonly property string shortClip: "av://lavfi:testsrc2=size=160x120:rate=10:duration=0.5"

    name: "MpvPlayer"
    width: 320
    height: 240
    visible: true
    when: windowShown

    function createPlayer(properties) {
        compare(playerComponent.status, Component.Ready, playerComponent.errorString());
        var player = createTemporaryObject(playerComponent, testCase, properties);
        verify(player !== null, "the player element loads");
        return player;
    }

    function test_formatting_data() {
        return [
            { tag: "75 s", t: 75, short: "1:15", long: "00:01:15" },
            { tag: "3725 s", t: 3725, short: "1:02:05", long: "01:02:05" },
            { tag: "5 s", t: 5, short: "0:05", long: "00:00:05" },
            { tag: "fraction", t: 59.99, short: "0:59", long: "00:00:59" },
            { tag: "ten hours", t: 36000, short: "10:00:00", long: "10:00:00" },
            { tag: "no time yet", t: NaN, short: "0:00", long: "00:00:00" },
            { tag: "negative", t: -3, short: "0:00", long: "00:00:00" }
        ];
    }

    function test_formatting(data) {
        var player = createPlayer({ width: 10, height: 10 });
        compare(player.formatShortTime(data.t), data.short);
        compare(player.formatTime(data.t), data.long);
        compare(player.zeroPad(""), "0");
        compare(player.zeroPad(7), "07");
        compare(player.zeroPad(123), "123");
    }

    function test_derivedTexts() {
        var player = createPlayer({ width: 10, height: 10 });
        var mpv = player.mpvObject;
        compare(mpv.objectName, "mpvObject");
        compare(mpv.enableAudio, false, "the layout's players are silent");
        compare(mpv.stateStr, "Idle", "a player with no file is idle");
        compare(mpv.positionRatio, 0, "no duration gives no ratio rather than NaN");
        compare(mpv.positionStr, "0:00");
    }

    function test_reloadAfterEnd() {
        var player = createPlayer({ width: 160, height: 120, shouldAutoplay: true });
        loadedSpy.target = player.mpvObject;
        endedSpy.target = player.mpvObject;
        loadedSpy.clear();
        endedSpy.clear();
        player.mpvObject.loadFile(shortClip);
        loadedSpy.wait(10000);
        compare(player.filePath, shortClip, "the loaded path is remembered");
        endedSpy.wait(10000);
        var reloadTimer = findChild(player, "reloadTimer");
        verify(reloadTimer.running, "a reload is scheduled");
        compare(reloadTimer.interval, 3000);
        loadedSpy.wait(10000);
        compare(loadedSpy.count, 2, "the stream is loaded again");
    }

    function test_noReloadWithoutAutoplay() {
        var player = createPlayer({ width: 160, height: 120 });
        loadedSpy.target = player.mpvObject;
        endedSpy.target = player.mpvObject;
        loadedSpy.clear();
        endedSpy.clear();
        player.mpvObject.loadFile(shortClip);
        endedSpy.wait(10000);
        verify(!findChild(player, "reloadTimer").running, "nothing is scheduled");
    }

    function test_replacedStreamIsNotReloaded() {
        var player = createPlayer({ width: 160, height: 120, shouldAutoplay: true });
        loadedSpy.target = player.mpvObject;
        endedSpy.target = player.mpvObject;
        loadedSpy.clear();
        endedSpy.clear();
        player.mpvObject.loadFile("av://lavfi:testsrc2=size=160x120:rate=10");
        loadedSpy.wait(10000);
        // Loading another stream over a playing one ends the first with "stop".
        player.mpvObject.loadFile(shortClip);
        endedSpy.wait(10000);
        compare(endedSpy.signalArguments[0][0], "stop");
        verify(!findChild(player, "reloadTimer").running, "a replaced stream is not loaded again");
        player.mpvObject.command(["stop"]);
        tryCompare(endedSpy, "count", 2, 10000);
        verify(!findChild(player, "reloadTimer").running, "nor is a stopped one");
    }

    function test_endBeforeAnyLoadIsNotReloaded() {
        var player = createPlayer({ width: 10, height: 10, shouldAutoplay: true });
        player.mpvObject.fileEnded("unknown");
        player.mpvObject.fileEnded("unknown");
        var reloadTimer = findChild(player, "reloadTimer");
        verify(reloadTimer.running, "the end schedules a reload");
        compare(player.filePath, "");
        // Driving the timer by hand: with no loaded path it must not load anything.
        reloadTimer.triggered();
        compare(player.mpvObject.path, "", "nothing was loaded");
    }

    SignalSpy { id: loadedSpy; signalName: "fileLoaded" }
    SignalSpy { id: endedSpy; signalName: "fileEnded" }
}
