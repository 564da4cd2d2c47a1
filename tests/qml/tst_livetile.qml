import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Elements 1.0
import StationTest 1.0

// Live tiles stay at the live edge when drawing cannot keep up, by showing fewer frames; a
// recording under the same slowing shows every frame. The tile's own figures appear on request.
TestCase {
    id: testCase

    // Frames made in real time, as a camera sends them: the stream has a live edge.
    readonly property string liveSource: "av://lavfi:testsrc2=size=320x180:rate=25,realtime"
    // Two seconds of 25 fps: 50 frames.
    readonly property string recordedClip: "av://lavfi:testsrc2=size=320x180:rate=25:duration=2"
    readonly property int recordedFrames: 50
    // Drawing a frame takes this long: at most 12.5 of the 25 frames a second can be shown.
    readonly property int slowDrawMs: 80
    // How long a slowed live tile is watched; long enough for a tile that keeps every frame to
    // fall seconds behind.
    readonly property int observationMs: 6000
    // Generous: the benchmark measures the real figure; this only tells a live tile from one that
    // plays its backlog.
    readonly property real lagBoundSeconds: 1.5

    name: "LiveTile"
    width: 640
    height: 360
    visible: true
    when: windowShown

    function cleanup() {
        TestStation.setRenderDelay(0);
        G.view.videoStatsVisible = false;
    }

    function createLiveTile(url) {
        var view = createTemporaryObject(cameraComponent, testCase);
        verify(view !== null, "the camera view loads");
        view.setUpLive();
        view.url = url;
        verify(view.hasPlayer, "a tile with a stream has a player");
        verify(view.backend.mpvObject.live, "the tile plays live");
        return view;
    }

    function waitForFrames(mpv, count) {
        tryVerify(function() { return mpv.statistics().drawn >= count; }, 15000,
                  "frames reach the scene (" + mpv.renderMode + " drawing)");
    }

    function test_slowLiveTileStaysLive() {
        TestStation.setRenderDelay(slowDrawMs);
        var view = createLiveTile(liveSource);
        var mpv = view.backend.mpvObject;
        waitForFrames(mpv, 3);
        var startPosition = mpv.position;
        var startTime = Date.now();
        wait(observationMs);
        var played = mpv.position - startPosition;
        var elapsed = (Date.now() - startTime) / 1000;
        var figures = mpv.statistics();
        console.log("slowed live tile:", played.toFixed(2), "s of video in", elapsed.toFixed(2), "s; drawn",
                    figures.drawn, "of", figures.received, "; lag", figures.lag.toFixed(2), "s");
        verify(played > elapsed - lagBoundSeconds,
               "the picture keeps pace with the camera: " + played.toFixed(2) + " s of video in " + elapsed.toFixed(2) + " s");
        verify(figures.dropped > 0, "frames that could not be drawn in time were dropped");
        verify(figures.drawn > 0 && figures.drawn < figures.received, "fewer frames drawn than received");
        verify(figures.lag < lagBoundSeconds, "the tile's own lag stays small: " + figures.lag.toFixed(2) + " s");
    }

    function test_slowRecordingShowsEveryFrame() {
        TestStation.setRenderDelay(slowDrawMs);
        var view = createTemporaryObject(cameraComponent, testCase, { keepsPlayer: true });
        var mpv = view.backend.mpvObject;
        // As the recorded page sets its player up.
        mpv.setOption("framedrop", "no");
        verify(!mpv.live);
        endedSpy.target = mpv;
        endedSpy.clear();
        view.url = recordedClip;
        endedSpy.wait(30000);
        compare(endedSpy.signalArguments[0][0], "eof", "the clip plays to its end");
        var figures = mpv.statistics();
        compare(figures.dropped, 0, "no frame of a recording is dropped");
        verify(figures.drawn >= recordedFrames - 1, "every frame is drawn: " + figures.drawn + " of " + recordedFrames);
    }

    function test_statisticsOverlay() {
        var view = createLiveTile(liveSource);
        var overlay = findChild(view, "statsOverlay");
        verify(overlay !== null);
        verify(!overlay.visible, "hidden until asked for");
        G.view.videoStatsVisible = true;
        verify(overlay.visible, "shown on every live tile at once");
        tryVerify(function() { return overlay.drawnPerSecond > 10; }, 15000, "the drawn frames are counted");
        tryVerify(function() { return overlay.receivedPerSecond >= overlay.drawnPerSecond; }, 5000);
        compare(overlay.videoWidth, 320);
        compare(overlay.videoHeight, 180);
        var text = findChild(overlay, "statsText").text;
        verify(text.indexOf("received") >= 0 && text.indexOf("drawn") >= 0 && text.indexOf("320×180") >= 0
               && text.indexOf("lag") >= 0, text);
        tryCompare(overlay, "alert", false, 5000, "a tile at the live edge is not marked");
        G.view.videoStatsVisible = false;
        verify(!overlay.visible);
    }

    function test_statisticsMarkAStalledStream() {
        verify(stream.start(), stream.errorString);
        var view = createLiveTile(stream.url);
        var mpv = view.backend.mpvObject;
        waitForFrames(mpv, 1);
        G.view.videoStatsVisible = true;
        var overlay = findChild(view, "statsOverlay");
        tryCompare(overlay, "alert", false, 5000, "frames flow");
        stream.stalled = true;
        tryCompare(overlay, "alert", true, 10000, "no frame for two seconds is marked");
        stream.stalled = false;
        tryCompare(overlay, "alert", false, 15000, "the mark goes once frames flow again");
    }

    function test_statisticsButtonAndTheirOwnTile() {
        var live = createLiveTile(liveSource);
        var recorded = createTemporaryObject(cameraComponent, testCase);
        var button = findChild(live, "statsButton");
        verify(button.visible, "a live tile offers its figures");
        verify(!findChild(recorded, "statsButton").visible, "a recording has none");
        button.clicked();
        verify(G.view.videoStatsVisible);
        verify(findChild(live, "statsOverlay").visible);
        verify(!findChild(recorded, "statsOverlay").visible, "only live tiles show them");
        button.clicked();
        verify(!G.view.videoStatsVisible);
    }

    Component {
        id: cameraComponent

        CameraView {
            width: 320
            height: 180
        }
    }

    SignalSpy {
        id: endedSpy

        signalName: "fileEnded"
    }

    StallingStream {
        id: stream
    }
}
