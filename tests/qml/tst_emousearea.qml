import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Elements 1.0

TestCase {
    id: testCase

    name: "EMouseArea"
    width: 200
    height: 200
    visible: true
    when: windowShown

    property var events: []

    function init() {
        events = [];
        clickedSpy.clear();
        doubleClickedSpy.clear();
        pressedSpy.clear();
        releasedSpy.clear();
    }

    function test_singleClickIsDelayed() {
        var start = Date.now();
        mouseClick(area);
        compare(pressedSpy.count, 1, "pressed at once");
        compare(releasedSpy.count, 1, "released at once");
        compare(clickedSpy.count, 0, "the click waits for a possible double click");
        clickedSpy.wait(2000);
        compare(clickedSpy.count, 1);
        verify(Date.now() - start >= G.timings.clickDelay - 20, "clicked no earlier than the click delay");
        compare(doubleClickedSpy.count, 0);
    }

    function test_doubleClickCancelsTheClick() {
        mouseDoubleClickSequence(area);
        compare(doubleClickedSpy.count, 1, "doubleClicked at once");
        // Proves that no click follows: the pending one would have fired by now.
        var pendingClickWouldHaveFired = G.timings.clickDelay * 2;
        wait(pendingClickWouldHaveFired);
        compare(clickedSpy.count, 0, "a double click is not also a click");
    }

    function test_lateSecondPressGivesBoth() {
        mouseClick(area);
        clickedSpy.wait(2000);
        // The second press of the double click arrives after the delay has run out.
        mousePress(area);
        mouseDoubleClick(area);
        mouseRelease(area);
        compare(doubleClickedSpy.count, 1);
        // Proves that no second click follows the double click.
        var pendingClickWouldHaveFired = G.timings.clickDelay * 2;
        wait(pendingClickWouldHaveFired);
        compare(events, ["clicked", "doubleClicked"]);
    }

    function test_hoverSignals() {
        // Start from outside; the first move after a click does not always update hover.
        mouseMove(area, 20, 20);
        mouseMove(testCase, area.width + 50, area.height + 50);
        tryCompare(area, "containsMouse", false);
        enteredSpy.clear();
        exitedSpy.clear();
        mouseMove(area, 10, 10);
        tryCompare(enteredSpy, "count", 1);
        verify(area.containsMouse, "containsMouse while hovered");
        mouseMove(testCase, area.width + 50, area.height + 50);
        tryCompare(exitedSpy, "count", 1);
    }

    EMouseArea {
        id: area

        width: 100
        height: 100
        onClicked: testCase.events = testCase.events.concat(["clicked"])
        onDoubleClicked: testCase.events = testCase.events.concat(["doubleClicked"])
    }

    SignalSpy { id: clickedSpy; target: area; signalName: "clicked" }
    SignalSpy { id: doubleClickedSpy; target: area; signalName: "doubleClicked" }
    SignalSpy { id: pressedSpy; target: area; signalName: "pressed" }
    SignalSpy { id: releasedSpy; target: area; signalName: "released" }
    SignalSpy { id: enteredSpy; target: area; signalName: "entered" }
    SignalSpy { id: exitedSpy; target: area; signalName: "exited" }
}
