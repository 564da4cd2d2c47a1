import QtQuick 2.15
import QtTest 1.15
import QtQuick.Controls 2.15
import Native 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property Component panelComponent: Qt.createComponent("qrc:/qml/Elements/AlarmPanel.qml")
    property int nextEventId: 1

    name: "AlarmPanel"
    width: 500
    height: 600
    visible: true
    when: windowShown

    // An event of the server, now; gives its moment.
    function raise(className, sourceId, priority) {
        var moment = Date.now();
        TestStation.raiseEvent({ className: className, eventId: nextEventId++, sourceId: sourceId,
                                 priority: priority, timestamp: moment, fields: { door: "Door " + sourceId } });
        return moment;
    }

    function createPanel() {
        compare(panelComponent.status, Component.Ready, panelComponent.errorString());
        var panel = createTemporaryObject(panelComponent, testCase, { width: 500, height: 600 });
        verify(panel !== null, "the alarm panel loads");
        return panel;
    }

    function initTestCase() {
        verify(App.alarms !== null, "the application has its alarm center");
        TestStation.addObject({ id: "10", name: "Gateway", type: VantorObject.Device, cls: "device.GATEWAY" });
        TestStation.addObject({ id: "11", name: "Entrance camera", type: VantorObject.Stream, cls: "stream",
                                path: "Site,10,11" });
        TestStation.addObject({ id: "31", name: "Entrance door", type: VantorObject.Sensor, cls: "sensor.DOOR",
                                settings: { cameras: "11" } });
        TestStation.addObject({ id: "33", name: "Back door", type: VantorObject.Sensor, cls: "sensor.DOOR" });
        TestStation.announceObjects();
    }

    function init() {
        var model = App.alarms.model;
        model.alarmsOnly = true;
        model.textFilter = "";
        model.classFilter = "";
        model.minPriority = 0;
        model.stateFilter = "";
        App.alarms.muted = false;
        App.alarms.acknowledgeShown();
        compare(App.alarms.unacknowledgedCount, 0, "each test starts without open alarms");
    }

    function test_keysMoveOpenAndAcknowledge() {
        var panel = createPanel();
        var list = findChild(panel, "alarmList");
        videoSpy.clear();
        videoSpy.target = panel;
        raise("door.forcedOpen", 33, 90);
        var moment = raise("door.heldOpen", 31, 70);
        compare(list.model.get(0).className, "door.heldOpen", "the newest first");
        list.forceActiveFocus();
        list.currentIndex = 0;

        keyClick(Qt.Key_Down);
        compare(list.currentIndex, 1, "Down moves to the older alarm");
        keyClick(Qt.Key_Up);
        compare(list.currentIndex, 0, "Up moves back");

        keyClick(Qt.Key_Return);
        compare(videoSpy.count, 1, "Enter opens the video of an alarm that a camera sees");
        var video = videoSpy.signalArguments[0][0];
        compare(video.streamId, "11", "the camera that sees the door");
        compare(video.deviceId, "10", "the camera's gateway");
        compare(video.moment, moment, "the alarm's moment");
        compare(video.from, moment - App.alarms.preRollSeconds * 1000, "from a little before it");

        keyClick(Qt.Key_Down);
        keyClick(Qt.Key_Enter);
        compare(videoSpy.count, 1, "no video for a door that no camera sees");
        var notice = findChild(panel, "alarmNotice");
        verify(notice.visible, "the panel says why");
        compare(notice.text, "No camera sees this event's source");

        keyClick(Qt.Key_A);
        compare(list.model.get(1).state, "acknowledged", "A acknowledges the current row");
        compare(list.model.get(0).state, "new", "and only that one");
        compare(App.alarms.unacknowledgedCount, 1);

        // A double click opens it as Enter does.
        list.currentIndex = 0;
        waitForRendering(list);
        mouseDoubleClickSequence(list.itemAtIndex(0));
        compare(videoSpy.count, 2, "a double click on a row opens its video");
    }

    function test_filtersSetTheModel_data() {
        return [
            { tag: "text", control: "alarmTextFilter", typed: "door", target: "model", property: "textFilter",
              expected: "door" },
            { tag: "class", control: "alarmClassFilter", downs: 5, target: "model", property: "classFilter",
              expected: "door.forcedOpen" },
            { tag: "state", control: "alarmStateFilter", downs: 1, target: "model", property: "stateFilter",
              expected: "new" },
            { tag: "minimum priority", control: "alarmMinPriority", ups: 2, target: "model", property: "minPriority",
              expected: 20 },
            { tag: "all events", control: "allEventsSwitch", click: true, target: "model", property: "alarmsOnly",
              expected: false },
            { tag: "mute", control: "muteButton", click: true, target: "alarms", property: "muted", expected: true }
        ];
    }

    function test_filtersSetTheModel(data) {
        var panel = createPanel();
        var control = findChild(panel, data.control);
        verify(control !== null, data.control + " exists");
        var target = data.target === "model" ? App.alarms.model : App.alarms;
        var spy = changeSpy;
        spy.clear();
        spy.signalName = data.property + "Changed";
        spy.target = target;
        control.forceActiveFocus();
        if (data.typed !== undefined) {
            for (var i = 0; i < data.typed.length; ++i)
                keyClick(data.typed[i]);
        }
        for (var d = 0; d < (data.downs || 0); ++d)
            keyClick(Qt.Key_Down);
        for (var u = 0; u < (data.ups || 0); ++u)
            keyClick(Qt.Key_Up);
        if (data.click)
            mouseClick(control);
        compare(target[data.property], data.expected, data.control + " sets " + data.property);
        verify(spy.count > 0, data.property + " tells its change");
    }

    function test_acknowledgeAllAsksFirst() {
        var panel = createPanel();
        raise("door.forcedOpen", 31, 90);
        raise("door.heldOpen", 33, 70);
        compare(App.alarms.unacknowledgedCount, 2);
        var button = findChild(panel, "acknowledgeShownButton");
        var dialog = findChild(panel, "acknowledgeShownDialog");

        mouseClick(button);
        tryCompare(dialog, "opened", true);
        compare(App.alarms.unacknowledgedCount, 2, "nothing is acknowledged before the answer");
        mouseClick(dialog.standardButton(Dialog.No));
        tryCompare(dialog, "visible", false);
        compare(App.alarms.unacknowledgedCount, 2, "No acknowledges nothing");

        mouseClick(button);
        tryCompare(dialog, "opened", true);
        mouseClick(dialog.standardButton(Dialog.Yes));
        tryCompare(dialog, "visible", false);
        compare(App.alarms.unacknowledgedCount, 0, "Yes acknowledges every alarm shown");
        verify(!button.enabled, "nothing is left to acknowledge");
    }

    SignalSpy {
        id: videoSpy

        signalName: "videoRequested"
    }

    SignalSpy {
        id: changeSpy
    }
}
