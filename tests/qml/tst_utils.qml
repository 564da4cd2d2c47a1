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

    // Some pages still read the old names: each must show its group's value, and writes made
    // through either name must reach the other.
    function test_oldSettingsNamesFollowTheGroups() {
        var places = [
            ["spacing", G.metrics, "spacing"],
            ["toolbarIconSize", G.metrics, "toolbarIconSize"],
            ["timelineHeight", G.metrics, "timelineHeight"],
            ["clickDelay", G.timings, "clickDelay"],
            ["posHoldMs", G.timings, "posHoldMs"],
            ["posMaxQueuedLines", G.limits, "posMaxQueuedLines"],
            ["videoDemuxerMaxBytes", G.limits, "videoDemuxerMaxBytes"],
            ["recordedSpeeds", G.recorded, "speeds"],
            ["recordedStepMs", G.recorded, "stepMs"],
            ["recordedTimeFormat", G.recorded, "timeFormat"],
            ["posLeadMs", G.recorded, "posLeadMs"],
            ["gatewayHttpPort", G.gateway, "httpPort"],
            ["videoStatsVisible", G.view, "videoStatsVisible"]
        ];
        for (var i = 0; i < places.length; ++i) {
            var place = places[i];
            compare(G.settings[place[0]], place[1][place[2]], "G.settings." + place[0]);
        }
        compare(G.settings.sidebar.iconSize, G.metrics.sidebar.iconSize, "the sidebar's sizes");
        compare(G.theme.statsPixelSize, G.metrics.statsPixelSize, "the figures' pixel size");

        var saved = G.timings.videoNoSignalMs;
        G.settings.videoNoSignalMs = saved + 1;
        compare(G.timings.videoNoSignalMs, saved + 1, "a write through the old name reaches the group");
        G.timings.videoNoSignalMs = saved;
        compare(G.settings.videoNoSignalMs, saved, "and one to the group shows under the old name");
        G.settings.videoStatsVisible = true;
        verify(G.view.videoStatsVisible, "the view state follows the old name");
        G.view.videoStatsVisible = false;
        verify(!G.settings.videoStatsVisible, "and the other way round");
    }
}
