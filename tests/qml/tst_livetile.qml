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
    // A test seam for a decoder too slow for its stream: the pictures leave the decoder's side at
    // half the stream's pace (a filter that waits, using no processor), while packets keep coming.
    readonly property string slowDecoding: "lavfi=[realtime=speed=0.5]"
    // A sub-stream smaller than the tiles below, which by their size play the main stream.
    readonly property string subSource: "av://lavfi:testsrc2=size=80x60:rate=10,realtime"
    // How long a main stream back from its fallback must keep up to count as good, in the test:
    // longer than a decoder takes to come down to key frames only, as in the client.
    readonly property int fallbackProbationMs: 15000
    // Long enough for a main stream that could not keep up to have given way again.
    readonly property int mainStaysMs: 8000

    // The stall watch's wait in the starved-decoder case, and the client's own, restored after it.
    readonly property int starvedNoSignalMs: 1500
    property int defaultNoSignalMs: 0

    name: "LiveTile"
    width: 640
    height: 360
    visible: true
    when: windowShown

    function initTestCase() {
        defaultNoSignalMs = G.timings.videoNoSignalMs;
    }

    function cleanup() {
        TestStation.setRenderDelay(0);
        G.timings.videoNoSignalMs = defaultNoSignalMs;
        G.view.videoStatsVisible = false;
    }

    // How much a tile decodes does not depend on how the window draws: the cases about it run once,
    // in the OpenGL run.
    function decodingCaseOnce() {
        if (GraphicsInfo.api === GraphicsInfo.Software)
            skip("decoding is tested in the OpenGL run");
    }

    function statsText(view) {
        return findChild(findChild(view, "statsOverlay"), "statsText").text;
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

    // A decoder that cannot keep up decodes less, step by step, until the tile says its stream
    // cannot keep up here; once it can, the tile decodes every frame again, step by step.
    function test_decodeBoundTileDecodesLessAndComesBack() {
        decodingCaseOnce();
        verify(stream.start(), stream.errorString);
        var view = createLiveTile(stream.url);
        var mpv = view.backend.mpvObject;
        mpv.setDecodeLoadTimings(500, 1000, 3000, 5000);
        waitForFrames(mpv, 3);
        compare(mpv.decodeLevel, 0, "a tile that keeps up decodes every frame");
        G.view.videoStatsVisible = true;

        mpv.setProperty("vf", slowDecoding);
        tryCompare(mpv, "decodeLevel", 1, 10000, "behind, the tile decodes less");
        tryCompare(mpv, "decodeLevel", 3, 15000, "a step at a time, down to key frames only");
        verify(mpv.cannotKeepUp, "the stream cannot keep up here");
        compare(mpv.statistics().decodeLevel, 3);
        tryVerify(function() { return statsText(view).indexOf("key frames only") >= 0; }, 5000, statsText(view));

        mpv.setProperty("vf", "");
        tryVerify(function() { return mpv.decodeLevel < 3; }, 20000, "keeping up, it decodes more");
        verify(!mpv.cannotKeepUp);
        tryCompare(mpv, "decodeLevel", 0, 30000, "and every frame again in the end");
        var frames = mpv.presentedFrames;
        tryVerify(function() { return mpv.presentedFrames >= frames + 10; }, 10000, "the picture plays on");
        verify(mpv.statistics().lag < lagBoundSeconds, "at the live edge: " + mpv.statistics().lag);
    }

    // A decoder that gets no frame out for longer than the stall watch waits, while its stream keeps
    // coming in, is behind, not lost: no reload, and it is judged without a frame to judge it by.
    function test_starvedDecoderIsNotTakenForLost() {
        decodingCaseOnce();
        // Shortened, as is the filter's wait below, so that the case takes seconds, not a minute.
        G.timings.videoNoSignalMs = starvedNoSignalMs;
        verify(stream.start(), stream.errorString);
        var view = createLiveTile(stream.url);
        var mpv = view.backend.mpvObject;
        mpv.setDecodeLoadTimings(500, 1000, 60000, 60000);
        waitForFrames(mpv, 3);
        var lost = createTemporaryObject(lostSpy, testCase, { target: findChild(view, "stallWatch") });
        // A picture every 3 s, twice as long as the stall watch waits, while the stream comes in (the
        // filter drops the others; the player itself goes on reading and answering).
        mpv.setProperty("vf", "lavfi=[select='isnan(prev_selected_t)+gte(t-prev_selected_t\\,3)']");
        tryVerify(function() { return mpv.backlogged; }, 10000, "media piles up in front of the decoder");
        tryVerify(function() { return mpv.decodeLevel > 0; }, 10000, "the starved decoder decodes less");
        wait(2 * starvedNoSignalMs + 1000);
        compare(lost.count, 0, "the stream never counted as lost");
        verify(!view.noSignal);
        mpv.setProperty("vf", "");
        tryVerify(function() { return !mpv.backlogged; }, 15000, "the backlog is worked off");
    }

    Component {
        id: lostSpy

        SignalSpy {
            signalName: "lostChanged"
        }
    }

    // Shown at under half its size both ways, a picture is decoded without deblocking; in full view
    // with it.
    function test_smallTileLeavesOutDeblocking() {
        verify(stream.start(), stream.errorString);
        var view = createTemporaryObject(cameraComponent, testCase, { width: 64, height: 48 });
        view.setUpLive();
        view.url = stream.url;
        var mpv = view.backend.mpvObject;
        waitForFrames(mpv, 1);
        tryVerify(function() { return mpv.statistics().loopFilter === "all"; }, 10000,
                  "a 64×48 tile of a 160×120 stream skips the deblocking");
        G.view.videoStatsVisible = true;
        var overlay = findChild(view, "statsOverlay");
        tryVerify(function() { return overlay.decodingText.indexOf("no deblocking") >= 0; }, 5000, overlay.decodingText);
        view.singleView = true;
        compare(mpv.fullView, true, "the tile's full view reaches its player");
        tryVerify(function() { return mpv.statistics().loopFilter === ""; }, 10000, "full view decodes in full");
        var frames = mpv.presentedFrames;
        tryVerify(function() { return mpv.presentedFrames >= frames + 5; }, 10000, "the picture plays on");
    }

    // With the stream's size known from the site, the decoder starts as the tile needs it, without
    // a restart after the first frame.
    function test_declaredSizeSetsUpTheDecoderFromTheStart() {
        verify(stream.start(), stream.errorString);
        var view = createTemporaryObject(cameraComponent, testCase, { width: 64, height: 48, mainSize: "160x120" });
        view.setUpLive();
        view.url = stream.url;
        var mpv = view.backend.mpvObject;
        tryCompare(mpv, "path", stream.url, 10000, "the stream loads");
        compare(mpv.statistics().loopFilter, "all", "set up before the first frame");
        waitForFrames(mpv, 1);
        compare(mpv.statistics().loopFilter, "all");
    }

    // A camera's main stream that cannot keep up gives way to its sub-stream, which the figures
    // say; the main stream is tried again after a while, and stays once it keeps up.
    function test_mainTooSlowGivesWayToTheSubStream() {
        decodingCaseOnce();
        verify(stream.start(), stream.errorString);
        var view = createTemporaryObject(cameraComponent, testCase);
        view.setUpLive();
        view.streamChooser.setFallbackTimings(2000, 8000, fallbackProbationMs);
        var slowMain = true;
        // Set as each stream is asked for, before its decoder is made.
        view.streamChanged.connect(function() {
            if (view.playerObject)
                view.playerObject.setProperty("vf", slowMain && view.stream === "main" ? slowDecoding : "");
        });
        view.subUrl = subSource;
        view.subSize = "80x60";
        view.url = stream.url;
        compare(view.stream, "main", "a tile larger than the sub-stream plays the main stream");
        var mpv = view.backend.mpvObject;
        mpv.setDecodeLoadTimings(500, 1000, 3000, 5000);
        mpv.setProperty("vf", slowDecoding);
        G.view.videoStatsVisible = true;

        tryCompare(view, "stream", "sub", 30000, "a main stream that cannot keep up gives way");
        verify(view.streamChooser.mainTooSlow);
        tryCompare(mpv, "path", subSource, 10000, "the player plays the sub-stream");
        tryVerify(function() { return statsText(view).indexOf("sub (main too slow)") >= 0; }, 5000, statsText(view));

        tryCompare(view, "stream", "main", 10000, "the main stream is tried again after a while");
        tryCompare(view, "stream", "sub", 30000, "still too slow, it gives way again");

        slowMain = false;
        tryCompare(view, "stream", "main", 20000, "tried again after a longer hold");
        verify(!view.streamChooser.mainTooSlow);
        wait(mainStaysMs);
        compare(view.stream, "main", "a main stream that keeps up stays");
        verify(statsText(view).indexOf("too slow") < 0, statsText(view));
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
