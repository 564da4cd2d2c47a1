import QtQuick 2.15
import Native 1.0
import Config 1.0
import Scripts 1.0

// One video surface; reloads a live stream a few seconds after it ends when asked to.
Item {
    id: mpvPlayer

    property alias mpvObject: mpv
    property bool shouldAutoplay: false
    property string filePath: ""
    // An end-of-file reload is due; other reloads leave the stream to it meanwhile.
    readonly property bool reloadPending: reloadTimer.running

    function zeroPad(n) {
        var text = String(n);
        if (text.length === 0)
            return "0";
        if (text.length === 1)
            return "0" + text;
        return text;
    }

    // Non-finite or negative times (no stream yet) read as zero rather than as "NaN".
    function timeParts(t) {
        var s = Math.floor(isFinite(t) && t > 0 ? t : 0);
        var hours = Math.floor(s / 3600);
        var minutes = Math.floor((s - hours * 3600) / 60);
        return { hours: hours, minutes: minutes, seconds: s % 60 };
    }

    function formatTime(t) {
        var p = timeParts(t);
        return zeroPad(p.hours) + ":" + zeroPad(p.minutes) + ":" + zeroPad(p.seconds);
    }

    function formatShortTime(t) {
        var p = timeParts(t);
        if (p.hours > 0)
            return p.hours + ":" + zeroPad(p.minutes) + ":" + zeroPad(p.seconds);
        return p.minutes + ":" + zeroPad(p.seconds);
    }

    MpvObject {
        id: mpv

        readonly property real positionRatio: duration > 0 ? position / duration : 0
        readonly property string positionStr: mpvPlayer.formatShortTime(position)
        readonly property string durationStr: mpvPlayer.formatShortTime(duration)
        readonly property string stateStr: idle ? "Idle" : (paused ? "Paused" : "Playing")

        objectName: "mpvObject"
        anchors.fill: parent
        enableAudio: false
        onFileStarted: console.log("onFileStarted")
        onFileLoaded: mpvPlayer.filePath = path
        onFileEnded: {
            console.log("onFileEnded, reason:", reason);
            // A stop comes from a command, a new load among them: whoever gave it decides what
            // plays next. Reloading then would replace a healthy stream every few seconds.
            if (reason === "stop" || reason === "quit")
                return;
            if (mpvPlayer.shouldAutoplay) {
                console.log("Scheduled to restart in 3 secs");
                reloadTimer.restart();
            }
        }
    }

    Timer {
        id: reloadTimer

        objectName: "reloadTimer"
        interval: G.timings.videoReloadDelayMs
        repeat: false
        onTriggered: {
            if (Utils.isValid(mpvPlayer.filePath) && mpvPlayer.filePath !== "")
                mpv.loadFile(mpvPlayer.filePath);
        }
    }
}
