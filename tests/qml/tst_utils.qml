import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Scripts 1.0

TestCase {
    id: testCase

    name: "Utils"

    function test_isValid_data() {
        return [
            { tag: "undefined", value: undefined, expected: false },
            { tag: "null", value: null, expected: false },
            { tag: "zero", value: 0, expected: true },
            { tag: "empty text", value: "", expected: true },
            { tag: "false", value: false, expected: true },
            { tag: "object", value: ({}), expected: true }
        ];
    }

    function test_isValid(data) {
        compare(Utils.isValid(data.value), data.expected, "isValid(" + data.tag + ")");
    }

    function test_isfunction_data() {
        return [
            { tag: "function", value: function () {}, expected: true },
            { tag: "text", value: "function", expected: false },
            { tag: "null", value: null, expected: false },
            { tag: "undefined", value: undefined, expected: false },
            { tag: "object", value: ({ call: 1 }), expected: false }
        ];
    }

    function test_isfunction(data) {
        compare(Utils.isfunction(data.value), data.expected, "isfunction(" + data.tag + ")");
    }

    // Before the main page installs its handlers the entry points are silent; afterwards they
    // reach the handlers with their arguments.
    function test_dialogEntryPoints() {
        compare(G.dialogs._question, null, "no question handler at start");
        G.dialogs.question("m", "t", function () {});
        G.dialogs.wait("m", "t");
        G.dialogs.endWait();

        var calls = [];
        G.dialogs._question = function (message, title, handler) { calls.push(["question", message, title, typeof handler]); };
        G.dialogs._wait = function (message, title) { calls.push(["wait", message, title]); };
        G.dialogs._endWait = function () { calls.push(["endWait"]); };
        G.dialogs.question("Delete?", "Confirm", function () {});
        G.dialogs.wait("Working");
        G.dialogs.endWait();
        G.dialogs._question = "not a function";
        G.dialogs.question("ignored", "", null);
        G.dialogs._question = null;
        G.dialogs._wait = null;
        G.dialogs._endWait = null;

        compare(calls.length, 3, "three handled calls: " + JSON.stringify(calls));
        compare(calls[0], ["question", "Delete?", "Confirm", "function"]);
        compare(calls[1][0], "wait");
        compare(calls[1][1], "Working");
        compare(calls[2], ["endWait"]);
    }

    function test_theme() {
        compare(G.timings.clickDelay, 200);
        compare(G.metrics.sidebar.openedWidth, 250);
        compare(G.metrics.sidebar.closedWidth, 50);
        verify(Qt.colorEqual(G.theme.darker1, Qt.darker("darkGray", 1.1)), "darker1 derives from the background");
        verify(Qt.colorEqual(G.theme.lighter2, Qt.lighter("darkGray", 1.2)), "lighter2 derives from the background");
    }
}
