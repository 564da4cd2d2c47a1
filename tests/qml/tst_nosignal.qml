import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Elements 1.0
import StationTest 1.0

// Live tiles against a real HTTP stream that can stall without ending, resume and end.
TestCase {
    id: testCase

    property var savedSettings: ({})

    name: "NoSignal"
    width: 320
    height: 240
    visible: true
    when: windowShown

    function initTestCase() {
        verify(stream.start(), stream.errorString);
        savedSettings = {
            noSignal: G.timings.videoNoSignalMs,
            first: G.timings.videoStallReloadFirstMs,
            max: G.timings.videoStallReloadMaxMs
        };
        compare(savedSettings.noSignal, 5000, "five seconds without a frame by default");
        compare(savedSettings.first, 3000);
        compare(savedSettings.max, 30000);
        // Shortened, so that the whole sequence fits in a few seconds.
        G.timings.videoNoSignalMs = 1500;
        G.timings.videoStallReloadFirstMs = 400;
        G.timings.videoStallReloadMaxMs = 1600;
    }

    function cleanupTestCase() {
        G.timings.videoNoSignalMs = savedSettings.noSignal;
        G.timings.videoStallReloadFirstMs = savedSettings.first;
        G.timings.videoStallReloadMaxMs = savedSettings.max;
    }

    function init() {
        stream.stalled = false;
    }

    function createView(live) {
        var view = createTemporaryObject(cameraComponent, testCase, { keepsPlayer: true });
        verify(view !== null, "the camera view loads");
        view.backend.shouldAutoplay = live;
        view.liveMode = live;
        // As the layout page sets up its live cameras.
        view.backend.mpvObject.command(["apply-profile", "low-latency"]);
        view.backend.mpvObject.setOption("no-cache", null);
        view.backend.mpvObject.setOption("video-sync", "desync");
        view.backend.mpvObject.setOption("aid", "no");
        view.url = stream.url;
        return view;
    }

    function framesOf(view) {
        return view.backend.mpvObject.presentedFrames;
    }

    function waitForPlayback(view, message) {
        var start = framesOf(view);
        tryVerify(function () { return framesOf(view) >= start + 5; }, 15000, message);
    }

    function test_stalledStreamShowsNoSignalAndRecovers() {
        var firstRequest = stream.requests + 1;
        var view = createView(true);
        var overlay = findChild(view, "noSignalOverlay");
        var label = findChild(view, "noSignalText");
        waitForPlayback(view, "the live stream plays");
        compare(view.noSignal, false);
        verify(!overlay.visible && !label.visible, "nothing covers a playing tile");
        compare(stream.requests, firstRequest);

        stream.stalled = true;
        tryCompare(view, "noSignal", true, 10000, "a stream without new frames shows no signal");
        verify(overlay.visible && label.visible, "the state is shown over the tile");
        compare(label.text, "No signal");
        compare(view.stallReloads, 0, "the first reload waits");

        // Reloads follow, each after twice the wait before it, up to the last.
        tryCompare(view, "stallReloads", 1, 3000);
        tryCompare(stream, "requests", firstRequest + 1, 3000, "the reload asks the gateway again");
        compare(view.stallReloadDelayMs, 800);
        tryCompare(view, "stallReloads", 2, 3000);
        compare(view.stallReloadDelayMs, 1600);
        tryCompare(view, "stallReloads", 3, 4000);
        compare(view.stallReloadDelayMs, 1600, "the wait grows no further than the last");
        verify(view.noSignal, "no signal while the gateway sends nothing");

        stream.stalled = false;
        tryCompare(view, "noSignal", false, 15000, "frames again clear the state by themselves");
        verify(!overlay.visible && !label.visible);
        compare(view.stallReloadDelayMs, 400, "the wait starts over");
        var reloads = view.stallReloads;
        waitForPlayback(view, "the stream plays on");
        compare(view.stallReloads, reloads, "no more reloads once frames flow");
    }

    function test_endedStreamIsReloadedByThePlayer() {
        var view = createView(true);
        waitForPlayback(view, "the live stream plays");
        var before = stream.requests;
        stream.endStreams();
        tryVerify(function () { return view.backend.reloadPending; }, 10000, "the end schedules the player's reload");
        tryVerify(function () { return stream.requests > before; }, 10000, "the player asks for the stream again");
        waitForPlayback(view, "and plays it");
        compare(view.noSignal, false);
        compare(view.stallReloads, 0, "an ended stream is left to the player's own reload");
    }

    function test_onlyLiveTilesAreWatched() {
        var view = createView(false);
        waitForPlayback(view, "the stream plays");
        var before = stream.requests;
        stream.stalled = true;
        wait(G.timings.videoNoSignalMs + 2 * G.timings.videoStallReloadFirstMs);
        compare(view.noSignal, false, "a player that does not reload is not watched");
        compare(stream.requests, before, "and not reloaded");
        verify(!findChild(view, "noSignalOverlay").visible);
    }

    StallingStream {
        id: stream
    }

    Component {
        id: cameraComponent

        CameraView {
            width: 160
            height: 120
        }
    }
}
