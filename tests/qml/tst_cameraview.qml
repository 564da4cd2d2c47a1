import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.15
import Config 1.0
import Elements 1.0

TestCase {
    id: testCase

    name: "CameraView"
    width: 400
    height: 300
    visible: true
    when: windowShown

    function visibleLines(view) {
        var overlay = findChild(view, "posOverlay");
        var shown = [];
        for (var i = 0; i < overlay.children.length; ++i) {
            var child = overlay.children[i];
            if (child.objectName === "posLine" && child.visible)
                shown.push(child.text);
        }
        return shown;
    }

    function test_linesAreSplitAndShownAsText() {
        var view = createTemporaryObject(cameraComponent, testCase);
        view.appendPos("<b>BEER</b> 2.00\nBREAD 1.10\nTOTAL 3.10");
        compare(view.posLines.count, 3, "one entry per line");
        compare(visibleLines(view), ["<b>BEER</b> 2.00", "BREAD 1.10", "TOTAL 3.10"]);
        var overlay = findChild(view, "posOverlay");
        for (var i = 0; i < overlay.children.length; ++i) {
            if (overlay.children[i].objectName === "posLine") {
                compare(overlay.children[i].textFormat, Text.PlainText, "publisher text is never markup");
                compare(overlay.children[i].font.pixelSize, 15);
            }
        }
        view.appendPos(undefined);
        view.appendPos(null);
        compare(view.posLines.count, 3, "no text, no line");
    }

    function test_onlyTwentyLinesShown() {
        var view = createTemporaryObject(cameraComponent, testCase);
        var lines = [];
        for (var i = 0; i < 25; ++i)
            lines.push("line " + i);
        view.appendPos(lines.join("\n"));
        compare(view.posLines.count, 25);
        var shown = visibleLines(view);
        compare(shown.length, 20, "only the first twenty are visible");
        compare(shown[0], "line 0");
        compare(shown[19], "line 19");
    }

    function test_queueIsBounded() {
        var view = createTemporaryObject(cameraComponent, testCase);
        for (var i = 0; i < G.limits.posMaxQueuedLines + 50; ++i)
            view.appendPos("line " + i);
        compare(view.posLines.count, G.limits.posMaxQueuedLines, "a publisher that never pauses cannot grow the queue");
        compare(view.posLines.get(view.posLines.count - 1).label, "line " + (G.limits.posMaxQueuedLines + 49));
    }

    function test_linesLeaveAfterTheLastMessage() {
        var view = createTemporaryObject(cameraComponent, testCase, { keepsPlayer: true });
        view.appendPos("a\nb\nc");
        var last = Date.now();
        tryCompare(view.posLines, "count", 2, 6000, "the oldest line leaves first");
        var firstGone = Date.now();
        verify(firstGone - last >= G.timings.posHoldMs - 100, "lines stay for the hold time: " + (firstGone - last));
        compare(view.posLines.get(0).label, "b");
        tryCompare(view.posLines, "count", 1, 3000);
        var secondGone = Date.now();
        verify(secondGone - firstGone >= G.timings.posTrimMs - 100, "then one per trim step: " + (secondGone - firstGone));
        compare(view.posLines.get(0).label, "c");
        tryCompare(view.posLines, "count", 0, 3000);
    }

    function test_clicksToggleToolbarAndFullView() {
        var view = createTemporaryObject(cameraComponent, testCase, { cameraName: "Entrance" });
        var toolbar = findChild(view, "toolbar");
        compare(toolbar.height, 0, "the toolbar starts closed");
        mouseClick(view);
        tryCompare(view, "toolbarOpen", true);
        tryVerify(function () { return toolbar.height > 0; }, 3000, "the toolbar folds out");
        mouseClick(view);
        tryCompare(view, "toolbarOpen", false);
        tryCompare(toolbar, "height", 0, 3000);

        mouseDoubleClickSequence(view);
        compare(view.singleView, true);
        compare(view.toolbarOpen, false, "a double click is not a click");
        mouseDoubleClickSequence(view);
        compare(view.singleView, false);
    }

    function test_emptyUrlMakesNoPlayer() {
        var view = createTemporaryObject(cameraComponent, testCase, { url: "" });
        view.url = "";
        compare(view.videoLoaded, false);
        compare(view.backend, null, "a tile with nothing to play has no player, so no core and no threads");
        verify(!findChild(view, "notPlayedText").visible, "and nothing to say about it");
        view.url = "av://lavfi:testsrc2=size=64x48:rate=5";
        verify(view.hasPlayer, "a stream brings the player");
        view.playAllowed = false;
        compare(view.backend, null, "a tile that may not play lets its player go");
        view.notPlayedReason = "not now";
        view.cameraName = "Gate";
        var text = findChild(view, "notPlayedText");
        verify(text.visible);
        compare(text.text, "Gate\nnot now", "the tile says why, with its name");
        view.playAllowed = true;
        verify(view.hasPlayer);
        verify(!text.visible);
    }

    // The smallest stream that fills the tile: the sub-stream while the tile is no larger than it,
    // the main stream beyond it (once the new size has held) and always in full view.
    function test_subStreamByTileSize() {
        var main = "av://lavfi:testsrc2=size=1280x720:rate=5";
        var sub = "av://lavfi:testsrc2=size=320x180:rate=5";
        var view = createTemporaryObject(cameraComponent, testCase,
                                         { width: 320 / Screen.devicePixelRatio, height: 180 / Screen.devicePixelRatio,
                                           url: main, subUrl: sub, subSize: "320x180" });
        view.streamChooser.setTimings(100, 300);
        compare(view.stream, "sub", "a tile the size of the sub-stream plays it");
        compare(view.playUrl, sub);
        tryCompare(view.backend.mpvObject, "path", sub, 5000, "the player loads the sub-stream");

        view.width = 640 / Screen.devicePixelRatio;
        view.height = 360 / Screen.devicePixelRatio;
        compare(view.stream, "sub", "not before the new size has held");
        tryCompare(view, "stream", "main", 3000, "a larger tile plays the main stream");
        tryCompare(view.backend.mpvObject, "path", main, 5000);

        view.width = 160;
        view.height = 90;
        view.singleView = true;
        compare(view.stream, "main", "full view plays the main stream, whatever the size");
        view.singleView = false;
        compare(view.stream, "sub", "leaving it goes back to the choice by size at once");
        compare(findChild(view, "statsOverlay").stream, "sub", "the figures say which stream plays");

        view.subSize = "big";
        compare(view.stream, "main", "with the sub-stream's size unknown only the main stream is used");
    }

    // The load delay is for tiles being made: a tile that shows a picture changes streams at once.
    function test_aPlayingTileSwitchesStreamsWithoutTheLoadDelay() {
        var main = "av://lavfi:testsrc2=size=640x360:rate=5";
        var sub = "av://lavfi:testsrc2=size=160x90:rate=5";
        var view = createTemporaryObject(cameraComponent, testCase,
                                         { width: 160 / Screen.devicePixelRatio, height: 90 / Screen.devicePixelRatio,
                                           url: main, subUrl: sub, subSize: "160x90" });
        tryCompare(view, "videoLoaded", true, 10000, "the sub-stream plays");
        compare(view.backend.mpvObject.path, sub);
        view.loadDelayMs = 60000;
        view.singleView = true;
        tryCompare(view.backend.mpvObject, "path", main, 5000, "full view asks for the main stream at once");
        // Left again at once, most likely while the main stream is still on its way and the
        // sub-stream's picture is held.
        view.singleView = false;
        tryCompare(view.backend.mpvObject, "path", sub, 5000, "and leaving it for the sub-stream");
        tryCompare(view, "videoLoaded", true, 10000);
        view.singleView = true;
        tryCompare(view.backend.mpvObject, "path", main, 5000, "a playing tile switches again at once");
    }

    function centreOf(view) {
        var image = grabImage(view);
        return image.pixel(Math.floor(image.width / 2), Math.floor(image.height / 2));
    }

    // The old stream's picture stays until the new stream's first frame: a switch never shows an
    // empty tile. Red is the sub-stream, blue the main stream.
    function test_switchKeepsThePictureUntilTheNewFrame() {
        var main = "av://lavfi:color=c=blue:size=640x360:rate=10";
        var sub = "av://lavfi:color=c=red:size=160x90:rate=10";
        var view = createTemporaryObject(cameraComponent, testCase,
                                         { width: 160 / Screen.devicePixelRatio, height: 90 / Screen.devicePixelRatio,
                                           url: main, subUrl: sub, subSize: "160x90" });
        view.streamChooser.setTimings(50, 100);
        tryVerify(function () { var c = centreOf(view); return c.r > 0.7 && c.b < 0.3; }, 10000,
                  "the sub-stream's red shows");
        view.width = 320 / Screen.devicePixelRatio;
        view.height = 180 / Screen.devicePixelRatio;
        // Sampled as often as the window draws, until the main stream's blue shows.
        var samples = 0;
        var sampleEveryMs = 15;
        for (var waited = 0; waited < 10000; waited += sampleEveryMs) {
            var c = centreOf(view);
            ++samples;
            verify(c.r + c.g + c.b > 0.5, "sample " + samples + " is not empty: " + c);
            if (c.b > 0.7 && c.r < 0.3)
                break;
            wait(sampleEveryMs);
        }
        var last = centreOf(view);
        verify(last.b > 0.7 && last.r < 0.3, "the main stream's blue shows in the end: " + last);
        compare(view.playerObject.holdPicture, false, "the hold ends with the new frame");
    }

    function test_zoomAroundThePointerWithinLimits() {
        var view = createTemporaryObject(cameraComponent, testCase, { keepsPlayer: true });
        compare(view.zoom, 1);
        var mark = findChild(view, "zoomMark");
        verify(!mark.visible, "no mark at the whole picture");

        // At the right edge of the picture: that edge stays under the pointer.
        view.zoomAt(view.width, view.height / 2, 2);
        compare(view.zoom, 2);
        compare(view.panX, -0.25);
        compare(view.panY, 0);
        verify(mark.visible);
        compare(mark.text, "2.0×");
        // The player's own zoom (log2) and pan, not a scaled item.
        compare(view.backend.mpvObject.getProperty("video-zoom"), 1);
        compare(view.backend.mpvObject.getProperty("video-pan-x"), -0.25);

        view.zoomAt(0, 0, 100);
        compare(view.zoom, 8, "at most 8×");
        view.panBy(-10000, 10000);
        compare(view.panX, -7 / 16, "no pan beyond the picture's edge");
        compare(view.panY, 7 / 16);
        view.zoomAt(0, 0, 0.1);
        compare(view.zoom, 1, "at least the whole picture");
        compare(view.panX, 0, "the whole picture has nowhere to pan");
        view.panBy(50, 50);
        compare(view.panX, 0);

        // The wheel zooms by a quarter a notch.
        mouseWheel(view, view.width / 2, view.height / 2, 0, 120);
        tryCompare(view, "zoom", 1.25);
        mouseWheel(view, view.width / 2, view.height / 2, 0, -240);
        compare(view.zoom, 1);

        // A drag pans a zoomed picture and is no click: the toolbar stays closed.
        view.zoomAt(view.width / 2, view.height / 2, 4);
        mousePress(view, 100, 100);
        mouseMove(view, 140, 100);
        mouseMove(view, 180, 100);
        mouseRelease(view, 180, 100);
        verify(view.panX > 0, "dragged to the right, the picture follows: " + view.panX);
        var clickWouldHaveCome = G.timings.clickDelay * 2;
        wait(clickWouldHaveCome);
        verify(!view.toolbarOpen, "a drag is no click");

        var reset = findChild(view, "zoomResetButton");
        verify(reset.visible);
        reset.clicked();
        compare(view.zoom, 1);
        compare(view.panX, 0);
        compare(view.panY, 0);
        verify(!mark.visible);
        compare(view.backend.mpvObject.getProperty("video-zoom"), 0);
    }

    function test_linesReadOnABrightPicture() {
        // The brightest picture there is: white over the whole player.
        var view = createTemporaryObject(cameraComponent, testCase, { keepsPlayer: true });
        createTemporaryObject(whiteComponent, view.backend);
        view.appendPos("TOTAL 3.10");
        var line = null;
        var overlay = findChild(view, "posOverlay");
        for (var i = 0; i < overlay.children.length; ++i) {
            if (overlay.children[i].objectName === "posLine")
                line = overlay.children[i];
        }
        verify(line !== null);
        waitForRendering(view);
        var image = grabImage(view);
        var origin = line.mapToItem(view, 0, 0);
        // Under the line the picture is dark enough for white text; beside it, untouched.
        var under = image.pixel(Math.round(origin.x + 1), Math.round(origin.y + line.height / 2));
        verify(under.r < 0.5 && under.g < 0.5 && under.b < 0.5, "dark under the text: " + under);
        var beside = image.pixel(Math.round(origin.x + line.width + 10), Math.round(origin.y + line.height / 2));
        verify(beside.r > 0.95 && beside.g > 0.95 && beside.b > 0.95, "video beside the text left alone: " + beside);
        compare(line.style, Text.Outline, "outlined as well, for the backing's edges");
    }

    Component {
        id: whiteComponent

        Rectangle {
            width: 320
            height: 240
            color: "white"
        }
    }

    Component {
        id: cameraComponent

        CameraView {
            width: 320
            height: 240
        }
    }
}
