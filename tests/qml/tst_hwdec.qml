import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Elements 1.0
import StationTest 1.0

// Hardware decoding, tile by tile: a tile decodes in hardware where the player finds a decoder it
// can use, and in software otherwise; its figures say which, and the log says why. A hardware
// decoder that takes the stream and gives no pictures is replaced by software. Run as the client
// runs (STATION_HWDEC unset) and again with STATION_HWDEC=vaapi, which a machine without VA-API
// must turn into software decoding.
TestCase {
    id: testCase

    name: "HardwareDecoding"
    width: 640
    height: 360
    visible: true
    when: windowShown

    function cleanup() {
        TestStation.assumeHardwareDecoder("");
        TestStation.stopLogCapture();
        G.view.videoStatsVisible = false;
    }

    function createLiveTile() {
        verify(stream.start(), stream.errorString);
        var view = createTemporaryObject(cameraComponent, testCase);
        verify(view !== null, "the camera view loads");
        view.setUpLive();
        view.url = stream.url;
        return view;
    }

    function statsText(view) {
        return findChild(findChild(view, "statsOverlay"), "statsText").text;
    }

    function logHas(fragment) {
        var lines = TestStation.logLines();
        for (var i = 0; i < lines.length; ++i) {
            if (lines[i].indexOf(fragment) >= 0)
                return true;
        }
        return false;
    }

    function test_figureAndLogSayHowTheTileDecodes() {
        TestStation.startLogCapture();
        var view = createLiveTile();
        var mpv = view.backend.mpvObject;
        tryVerify(function() { return mpv.presentedFrames >= 3; }, 15000, "the stream plays");
        tryVerify(function() { return mpv.hwdecCurrent !== ""; }, 5000, "the player has chosen its decoder");
        G.view.videoStatsVisible = true;
        var overlay = findChild(view, "statsOverlay");
        if (mpv.hwdecCurrent !== "no") {
            // A machine with a decoder the player can use.
            compare(mpv.hardwareDecoder, mpv.hwdecCurrent);
            tryVerify(function() { return statsText(view).indexOf("hw " + mpv.hwdecCurrent) >= 0; }, 5000,
                      statsText(view));
            verify(logHas("Decoding in hardware (" + mpv.hwdecCurrent + "): " + stream.url),
                   TestStation.logLines().join("\n"));
            return;
        }
        compare(mpv.hardwareDecoder, "", "no hardware decoder in use");
        tryVerify(function() { return overlay.decodingText === "sw"; }, 5000, "the figure says software: "
                  + overlay.decodingText);
        verify(statsText(view).indexOf(" · sw · ") >= 0, statsText(view));
        // What was asked for, and the player's own reason.
        var asked = mpv.getProperty("hwdec");
        verify(asked !== "no", "hardware decoding was asked for: " + asked);
        verify(logHas("Decoding in software, hardware decoding (" + asked + ") not used: " + stream.url + " ("),
               TestStation.logLines().join("\n"));
    }

    // Played as a machine with a hardware decoder: the decoder stops giving pictures while the
    // stream comes in, and the tile opens the stream again in software.
    function test_hardwareDecoderWithoutPicturesIsReplacedBySoftware() {
        TestStation.assumeHardwareDecoder("vaapi");
        TestStation.startLogCapture();
        var view = createLiveTile();
        var mpv = view.backend.mpvObject;
        tryVerify(function() { return mpv.presentedFrames >= 3; }, 15000, "the stream plays");
        tryCompare(mpv, "hardwareDecoder", "vaapi", 5000);
        G.view.videoStatsVisible = true;
        var overlay = findChild(view, "statsOverlay");
        tryCompare(overlay, "decodingText", "hw vaapi", 5000, "the figure names the decoder");

        // The decoder takes every packet and gives no picture.
        mpv.setOption("vd-lavc-skipframe", "all");
        mpv.setProperty("vid", "no");
        mpv.setProperty("vid", "auto");
        // Not the decoder's own figure, which is empty for a moment while the track comes back.
        tryVerify(function() {
            return logHas("Hardware decoding (vaapi) failed: no picture for 4 s while the stream came in; "
                          + "the stream is opened in software from now on: " + stream.url);
        }, 15000, "the tile gives up on the hardware decoder");
        tryCompare(mpv, "hardwareDecoder", "", 5000);
        compare(mpv.getProperty("hwdec"), "no", "the player decodes in software");
        var frames = mpv.presentedFrames;
        tryVerify(function() { return mpv.presentedFrames >= frames + 3; }, 15000, "pictures come again");
        tryCompare(overlay, "decodingText", "sw", 5000, "the figure says software");
    }

    Component {
        id: cameraComponent

        CameraView {
            width: 320
            height: 240
        }
    }

    StallingStream {
        id: stream
    }
}
