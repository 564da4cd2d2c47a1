import QtQuick 2.15
import QtTest 1.15
import Native 1.0

TestCase {
    id: testCase

    // 2024-05-01 00:00 UTC.
    readonly property real day: 1714521600000
    readonly property real hourMs: 3600000
    readonly property real dayMs: 24 * hourMs
    // Zooming rounds the view's start to a ms; far below the 96 s of a column of the whole day.
    readonly property real roundingMs: 2
    // Rows of the bar to read: POS marks take its top, the hour labels less than half of it below.
    readonly property int posRow: 1
    readonly property int spanRow: 40

    name: "TimelineBar"
    width: 900
    height: 120
    visible: true
    when: windowShown

    function init() {
        bar.dayStart = day;
        bar.dayEnd = day + dayMs;
        bar.showWholeDay();
        bar.position = -1;
        bar.markA = -1;
        bar.markB = -1;
        bar.markedMoment = -1;
        bar.posTimes = [];
        spans.setChunks([]);
        seekSpy.clear();
    }

    function viewWidth() {
        return bar.viewEnd - bar.viewStart;
    }

    function verifyInsideTheDay(what) {
        verify(bar.viewStart >= bar.dayStart, what + ": the view starts inside the day, not at " + bar.viewStart);
        verify(bar.viewEnd <= bar.dayEnd, what + ": the view ends inside the day, not at " + bar.viewEnd);
    }

    function test_wheelKeepsTheMomentUnderThePointer_data() {
        return [
            { tag: "near the start", x: 30 },
            { tag: "middle", x: 450 },
            { tag: "near the end", x: 880 }
        ];
    }

    function test_wheelKeepsTheMomentUnderThePointer(data) {
        var moment = bar.timeAt(data.x);
        for (var i = 0; i < 5; ++i) {
            var before = viewWidth();
            mouseWheel(bar, data.x, 30, 0, 120);
            verify(viewWidth() < before, "a notch up zooms in, step " + i);
            fuzzyCompare(bar.timeAt(data.x), moment, roundingMs, "the moment under the pointer stays, step " + i);
        }
        for (var j = 0; j < 5; ++j) {
            var narrower = viewWidth();
            mouseWheel(bar, data.x, 30, 0, -120);
            verify(viewWidth() > narrower, "a notch down zooms out, step " + j);
            fuzzyCompare(bar.timeAt(data.x), moment, roundingMs, "the moment under the pointer stays out, step " + j);
        }
        compare(viewWidth(), dayMs, "as many notches back show the whole day again");
        compare(seekSpy.count, 0, "the wheel does not seek");
    }

    function test_zoomStopsAtTheWholeDayAndAtTwoMinutes() {
        mouseWheel(bar, 450, 30, 0, -120);
        compare(bar.viewStart, day, "the whole day cannot be zoomed out of");
        compare(bar.viewEnd, day + dayMs);

        for (var i = 0; i < 60; ++i)
            mouseWheel(bar, 200, 30, 0, 120);
        compare(viewWidth(), 2 * 60000, "zooming in stops at two minutes");
        verifyInsideTheDay("zoomed in");
        bar.zoomAt(200, 10);
        compare(viewWidth(), 2 * 60000, "zoomAt stops there as well");

        for (var j = 0; j < 60; ++j)
            mouseWheel(bar, 700, 30, 0, -120);
        compare(bar.viewStart, day, "zooming out ends at the whole day");
        compare(bar.viewEnd, day + dayMs);
        bar.zoomAt(700, 0.01);
        compare(viewWidth(), dayMs, "zoomAt stops there as well");
    }

    function test_dragPansWithoutSeeking() {
        bar.zoomAt(450, 24);
        fuzzyCompare(viewWidth(), hourMs, 1, "one hour in view");
        var start = bar.viewStart;
        var width = viewWidth();
        var grabbed = bar.timeAt(300);

        mousePress(bar, 300, 30);
        mouseMove(bar, 320, 30, -1, Qt.LeftButton);
        mouseMove(bar, 400, 30, -1, Qt.LeftButton);
        mouseRelease(bar, 400, 30, Qt.LeftButton);

        compare(seekSpy.count, 0, "a drag is not a click");
        compare(viewWidth(), width, "a drag keeps the zoom");
        fuzzyCompare(bar.viewStart, start - 100 * width / bar.width, roundingMs, "the view moved by 100 px");
        fuzzyCompare(bar.timeAt(400), grabbed, roundingMs, "the moment grabbed stays under the pointer");

        // A hand that shakes by a few pixels still clicks.
        var shaken = bar.viewStart;
        mousePress(bar, 300, 30);
        mouseMove(bar, 303, 30, -1, Qt.LeftButton);
        mouseRelease(bar, 303, 30, Qt.LeftButton);
        compare(seekSpy.count, 1, "a press that barely moves is a click");
        compare(bar.viewStart, shaken, "and does not pan");
    }

    function test_clickAsksToPlayFromThere_data() {
        return [
            { tag: "whole day, left edge", zoom: 1, x: 0 },
            { tag: "whole day, middle", zoom: 1, x: 450 },
            { tag: "whole day, right edge", zoom: 1, x: 899 },
            { tag: "five minutes, left", zoom: 288, x: 100 },
            { tag: "five minutes, right", zoom: 288, x: 850 }
        ];
    }

    function test_clickAsksToPlayFromThere(data) {
        bar.zoomAt(300, data.zoom);
        var start = bar.viewStart;
        mouseClick(bar, data.x, 30);
        compare(seekSpy.count, 1, "one click, one request");
        compare(seekSpy.signalArguments[0][0], bar.timeAt(data.x), "the moment under the click");
        verify(seekSpy.signalArguments[0][0] >= bar.viewStart && seekSpy.signalArguments[0][0] < bar.viewEnd,
               "a moment in view");
        compare(bar.viewStart, start, "a click does not pan");
    }

    function test_viewCannotLeaveTheDay() {
        bar.panBy(300);
        compare(bar.viewStart, day, "the whole day does not pan");
        bar.panBy(-300);
        compare(bar.viewEnd, day + dayMs);

        bar.zoomAt(450, 24);
        var width = viewWidth();
        bar.panBy(100000);
        compare(bar.viewStart, day, "panning stops at the day's start");
        compare(viewWidth(), width, "with the zoom kept");
        bar.panBy(-100000);
        compare(bar.viewEnd, day + dayMs, "panning stops at the day's end");
        compare(viewWidth(), width);

        // Dragging past the start, from the day's end.
        for (var i = 0; i < 30; ++i) {
            mousePress(bar, 20, 30);
            mouseMove(bar, 200, 30, -1, Qt.LeftButton);
            mouseMove(bar, 880, 30, -1, Qt.LeftButton);
            mouseRelease(bar, 880, 30, Qt.LeftButton);
        }
        compare(bar.viewStart, day, "dragging stops at the day's start");
        compare(seekSpy.count, 0);

        bar.viewStart = day - hourMs;
        compare(bar.viewStart, day, "a start before the day is moved into it");
        bar.viewEnd = day + dayMs + hourMs;
        compare(bar.viewEnd, day + dayMs, "an end after the day is moved into it");
        bar.viewStart = day + 5 * hourMs;
        bar.viewEnd = day + 5 * hourMs + 1000;
        compare(viewWidth(), 2 * 60000, "a view narrower than two minutes is widened");
        verifyInsideTheDay("after setting the view");

        bar.zoomAt(0, 0.5);
        bar.zoomAt(899, 0.5);
        verifyInsideTheDay("zooming out at the edges");

        bar.dayStart = day + dayMs;
        bar.dayEnd = day + 2 * dayMs;
        compare(bar.viewStart, day + dayMs, "another day is shown whole");
        compare(bar.viewEnd, day + 2 * dayMs);
    }

    function test_timeAndPlaceAgree() {
        bar.zoomAt(450, 10);
        for (var x = 0; x < 900; x += 150)
            fuzzyCompare(bar.xAt(bar.timeAt(x)), x, 0.01, "xAt undoes timeAt at " + x);
        compare(bar.timeAt(-50), bar.viewStart, "left of the bar is its start");
        compare(bar.timeAt(5000), bar.viewEnd - 1, "right of the bar is its last ms");
    }

    // A thin line under a flag: told apart from the playing moment even where both meet.
    function test_drawsTheMarkedMoment() {
        var spy = markSpy;
        spy.clear();
        bar.markedMoment = day + 12 * hourMs;
        compare(spy.count, 1, "the mark tells its change");
        bar.markedMoment = day + 12 * hourMs;
        compare(spy.count, 1, "the same moment again changes nothing");
        waitForRendering(bar);
        var image = grabImage(bar);
        // 96 s a column: 12:00 is column 450.
        var expected = [
            { x: 450, y: spanRow, color: bar.markedMomentColor, what: "the mark's line" },
            { x: 451, y: spanRow, color: bar.gapColor, what: "beside the line" },
            { x: 446, y: 0, color: bar.markedMomentColor, what: "the flag's left end" },
            { x: 454, y: 0, color: bar.markedMomentColor, what: "the flag's right end" },
            { x: 446, y: spanRow, color: bar.gapColor, what: "below the flag" }
        ];
        for (var i = 0; i < expected.length; ++i) {
            var pixel = image.pixel(expected[i].x, expected[i].y);
            verify(Qt.colorEqual(pixel, expected[i].color),
                   expected[i].what + " at x " + expected[i].x + " is " + pixel + ", not " + expected[i].color);
        }

        bar.position = day + 12 * hourMs;
        waitForRendering(bar);
        image = grabImage(bar);
        verify(Qt.colorEqual(image.pixel(450, spanRow), bar.positionColor), "the playing moment is drawn over it");
        verify(Qt.colorEqual(image.pixel(446, 0), bar.markedMomentColor), "the flag still shows where both meet");

        bar.markedMoment = -1;
        waitForRendering(bar);
        image = grabImage(bar);
        verify(Qt.colorEqual(image.pixel(446, 0), bar.gapColor), "no flag once the mark is gone");
    }

    function test_drawsSpansGapsAndMarks() {
        // 96 s a column: 06:00 to 08:00 is columns 225 to 299, 14:00 for 30 s is column 525 alone.
        spans.setChunks([
            { streamId: 11, start: day + 6 * hourMs, end: day + 8 * hourMs, size: 1000 },
            { streamId: 11, start: day + 14 * hourMs, end: day + 14 * hourMs + 30000, size: 10 }
        ]);
        bar.posTimes = [day + 10 * hourMs];
        bar.position = day + 18 * hourMs;
        waitForRendering(bar);
        var image = grabImage(bar);
        compare(image.width, 900);

        var expected = [
            { x: 225, y: spanRow, color: bar.spanColor, what: "the first column of a chunk" },
            { x: 262, y: spanRow, color: bar.spanColor, what: "inside a chunk" },
            { x: 299, y: spanRow, color: bar.spanColor, what: "the last column of a chunk" },
            { x: 224, y: spanRow, color: bar.gapColor, what: "before a chunk" },
            { x: 300, y: spanRow, color: bar.gapColor, what: "after a chunk" },
            { x: 450, y: spanRow, color: bar.gapColor, what: "a gap" },
            { x: 525, y: spanRow, color: bar.spanColor, what: "a chunk shorter than a column" },
            { x: 526, y: spanRow, color: bar.gapColor, what: "after the short chunk" },
            { x: 375, y: posRow, color: bar.posColor, what: "a POS receipt" },
            { x: 375, y: spanRow, color: bar.gapColor, what: "below a POS mark" },
            { x: 376, y: posRow, color: bar.gapColor, what: "beside a POS mark" },
            { x: 675, y: spanRow, color: bar.positionColor, what: "the playing moment" }
        ];
        for (var i = 0; i < expected.length; ++i) {
            var pixel = image.pixel(expected[i].x, expected[i].y);
            verify(Qt.colorEqual(pixel, expected[i].color),
                   expected[i].what + " at x " + expected[i].x + " is " + pixel + ", not " + expected[i].color);
        }

        spans.clear();
        waitForRendering(bar);
        image = grabImage(bar);
        verify(Qt.colorEqual(image.pixel(262, spanRow), bar.gapColor), "the span goes with its chunk");
    }

    ChunkSpans {
        id: spans
    }

    TimelineBar {
        id: bar

        width: 900
        height: 80
        spans: spans
        spanColor: "#00c800"
        gapColor: "#282828"
        posColor: "#ffc800"
        positionColor: "#ff0000"
        markColor: "#0000ff"
        markedMomentColor: "#ff00ff"
        textColor: "#ffffff"
    }

    SignalSpy {
        id: markSpy

        target: bar
        signalName: "markedMomentChanged"
    }

    SignalSpy {
        id: seekSpy

        target: bar
        signalName: "seekRequested"
    }
}
