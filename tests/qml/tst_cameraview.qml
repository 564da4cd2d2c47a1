import QtQuick 2.15
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
        for (var i = 0; i < G.settings.posMaxQueuedLines + 50; ++i)
            view.appendPos("line " + i);
        compare(view.posLines.count, G.settings.posMaxQueuedLines, "a publisher that never pauses cannot grow the queue");
        compare(view.posLines.get(view.posLines.count - 1).label, "line " + (G.settings.posMaxQueuedLines + 49));
    }

    function test_linesLeaveAfterTheLastMessage() {
        var view = createTemporaryObject(cameraComponent, testCase);
        view.appendPos("a\nb\nc");
        var last = Date.now();
        tryCompare(view.posLines, "count", 2, 6000, "the oldest line leaves first");
        var firstGone = Date.now();
        verify(firstGone - last >= G.settings.posHoldMs - 100, "lines stay for the hold time: " + (firstGone - last));
        compare(view.posLines.get(0).label, "b");
        tryCompare(view.posLines, "count", 1, 3000);
        var secondGone = Date.now();
        verify(secondGone - firstGone >= G.settings.posTrimMs - 100, "then one per trim step: " + (secondGone - firstGone));
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

    function test_emptyUrlLoadsNothing() {
        var view = createTemporaryObject(cameraComponent, testCase, { url: "" });
        view.url = "";
        compare(view.videoLoaded, false);
        compare(view.backend.filePath, "");
    }

    Component {
        id: cameraComponent

        CameraView {
            width: 320
            height: 240
        }
    }
}
