import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property var page: null
    property int nextEventId: 1
    property Component pageComponent: Qt.createComponent("qrc:/qml/LayoutPage.qml")

    name: "LayoutPage"
    width: 800
    height: 600
    visible: true
    when: windowShown

    function layoutJson(rows, cols, elements) {
        return JSON.stringify({ numRows: rows, numCols: cols, elements: elements });
    }

    function cellLoaders() {
        var area = findChild(page, "designArea");
        var loaders = [];
        for (var i = 0; i < area.children.length; ++i) {
            if (area.children[i].objectName === "cell")
                loaders.push(area.children[i]);
        }
        return loaders;
    }

    function createPage(json) {
        compare(pageComponent.status, Component.Ready, pageComponent.errorString());
        App.layoutModel.fromJson(json);
        page = createTemporaryObject(pageComponent, testCase, { width: 400, height: 300 });
        verify(page !== null, "the layout page loads");
        return findChild(page, "designArea");
    }

    function cameraOf(loader) {
        verify(loader.item !== null, "camera cell has an item");
        return loader.item.view;
    }

    function initTestCase() {
        // The objects go into the application's repository, so the application must exist.
        verify(App.layoutModel !== null, "the application and its layout grid exist");
        TestStation.captureWrites();
        TestStation.addObject({ id: "10", name: "Gateway A", type: VantorObject.Device, cls: "device.GATEWAY",
                                settings: { address: "127.0.0.5", posPort: "6001" } });
        TestStation.addObject({ id: "11", name: "Cam 1", type: VantorObject.Stream, cls: "stream",
                                settings: { url: "" } });
        TestStation.addObject({ id: "12", name: "Cam 2", type: VantorObject.Stream, cls: "stream" });
        TestStation.addObject({ id: "50", name: "Small cam", type: VantorObject.Stream, cls: "stream",
                                settings: { url: "av://lavfi:color{EQU}c{EQU}gray:size{EQU}32x24:rate{EQU}2" } });
        TestStation.addObject({ id: "13", name: "Gateway B", type: VantorObject.Device, cls: "device.GATEWAY",
                                settings: { address: "", posPort: "not a port" } });
        TestStation.addObject({ id: "20", name: "Door sensor", type: VantorObject.Sensor, cls: "sensor.DOOR",
                                settings: { layout: "D1" } });
        TestStation.addObject({ id: "21", name: "Door actuator", type: VantorObject.Actuator, cls: "actuator.DOOR",
                                settings: { layout: "D1" } });
        TestStation.addObject({ id: "30", name: "Lone sensor", type: VantorObject.Sensor, cls: "sensor.DOOR",
                                settings: { layout: "" } });
        // A door whose values no test reports.
        TestStation.addObject({ id: "40", name: "Back door sensor", type: VantorObject.Sensor, cls: "sensor.DOOR",
                                settings: { layout: "D4" } });
        TestStation.addObject({ id: "41", name: "Back door actuator", type: VantorObject.Actuator,
                                cls: "actuator.DOOR", settings: { layout: "D4" } });
        // A door that the small camera sees.
        TestStation.addObject({ id: "62", name: "Gate sensor", type: VantorObject.Sensor, cls: "sensor.DOOR",
                                settings: { layout: "", cameras: "50" } });
        TestStation.announceObjects();
    }

    function init() {
        TestStation.clearWrites();
        // Door commands need a signed-in client; the tests about signing out make their own state.
        if (!App.signedIn)
            TestStation.reportSignedIn();
        verify(App.signedIn, "the application is signed in");
    }

    // An event of the server, now; gives its entry in the alarm center's model.
    function raise(className, sourceId, priority) {
        TestStation.raiseEvent({ className: className, eventId: nextEventId++, sourceId: sourceId,
                                 priority: priority, timestamp: Date.now(), fields: {} });
        return App.alarms.model.get(0);
    }

    function acknowledgeEverything() {
        App.alarms.model.alarmsOnly = true;
        App.alarms.acknowledgeShown();
        compare(App.alarms.unacknowledgedCount, 0, "no open alarm left from before");
    }

    function test_alarmCellShowsTheNewestOpenAlarm_data() {
        return [
            { tag: "of any object", objectId: undefined, showsOthers: true },
            { tag: "of the object it names", objectId: "62", showsOthers: false }
        ];
    }

    function test_alarmCellShowsTheNewestOpenAlarm(data) {
        acknowledgeEverything();
        var element = { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" };
        if (data.objectId !== undefined)
            element.objectId = data.objectId;
        createPage(layoutJson(1, 1, [element]));
        var cell = cellLoaders()[0].item;
        compare(cell.objectName, "alarmView");
        var info = findChild(cell, "alarmInfo");
        var video = findChild(cell, "alarmVideo");
        verify(!info.visible && !video.active, "without an alarm the cell is an empty placeholder");

        // An alarm of a door that no camera sees.
        var other = raise("door.forcedOpen", 20, 90);
        compare(info.visible, data.showsOthers, "another object's alarm shows only in a cell that names none");
        verify(!video.active, "no camera sees that door");

        var alarm = raise("door.heldOpen", 62, 70);
        verify(info.visible, "the alarm shows");
        compare(findChild(cell, "alarmCellTitle").text, alarm.title, "its title");
        var text = findChild(cell, "alarmCellText").text;
        verify(text.indexOf(alarm.timeText) >= 0 && text.indexOf("Gate sensor") >= 0, "time and source: " + text);
        verify(video.active, "with the live video of the camera that sees the door");
        compare(video.item.view.url, "av://lavfi:color=c=gray:size=32x24:rate=2", "the camera's stream");
        verify(video.item.view.hasPlayer, "which plays, whatever the layout's cap");

        mouseClick(findChild(cell, "alarmAcknowledgeButton"));
        compare(App.alarms.model.get(0).state, "acknowledged", "Acknowledge acknowledges the alarm shown");
        compare(info.visible, data.showsOthers, "then the next open alarm shows, or the placeholder");
        if (data.showsOthers)
            compare(findChild(cell, "alarmCellTitle").text, other.title, "the other door's alarm");
    }

    function test_doorTileShowsItsOpenAlarm() {
        acknowledgeEverything();
        createPage(layoutJson(1, 1, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "door", label: "Gate", objectId: "62" }
        ]));
        var door = cellLoaders()[0].item;
        var mark = findChild(door, "doorAlarm");
        verify(!mark.visible, "no mark without an alarm");
        raise("door.opened", 62, 10);
        verify(!mark.visible, "an event that is no alarm leaves no mark");
        var alarm = raise("door.forcedOpen", 62, 90);
        verify(mark.visible, "an open alarm marks the door");
        compare(findChild(door, "doorAlarmText").text, alarm.timeText + "  " + alarm.title);

        mouseClick(findChild(door, "doorEventsButton"));
        var popup = findChild(door, "doorEventsPopup");
        tryCompare(popup, "opened", true);
        var list = findChild(door, "doorEventsList");
        compare(list.count, Math.min(10, App.alarms.recentEvents("62", 10).length), "its last events");
        compare(list.model[0].title, alarm.title, "the newest first");
        compare(list.model[1].className, "door.opened", "events that are no alarm too");
        popup.close();

        App.alarms.acknowledge(alarm.localId);
        verify(!mark.visible, "the mark goes once the alarm is acknowledged");
    }

    function test_cameraTileMarksAnOpenAlarm() {
        acknowledgeEverything();
        createPage(layoutJson(1, 1, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "Small", objectId: "50" }
        ]));
        var camera = cameraOf(cellLoaders()[0]);
        var mark = findChild(camera, "cameraAlarmMark");
        verify(!mark.visible);
        raise("camera.motion", 50, 40);
        verify(!mark.visible, "motion below the alarm priority marks nothing");
        var alarm = raise("camera.tamper", 50, 80);
        verify(mark.visible, "an open alarm of its stream marks the tile");
        App.alarms.acknowledge(alarm.localId);
        verify(!mark.visible, "until it is acknowledged");
    }

    function test_keysMoveTheSelectionAndTheFullView() {
        createPage(layoutJson(2, 2, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "A" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "alarm" },
            { row: 1, col: 0, rowSpan: 1, colSpan: 2, type: "video", label: "B" }
        ]));
        var frame = findChild(page, "selectionFrame");
        compare(page.selectedIndex, -1);
        verify(!frame.visible, "nothing selected, no frame");
        tryVerify(function () { return page.activeFocus; }, 5000, "the page takes the keys when shown");

        keyClick(Qt.Key_Right);
        compare(page.selectedIndex, 0, "the first key selects the first tile");
        verify(frame.visible);
        compare(frame.width, cellLoaders()[0].width);
        keyClick(Qt.Key_Right);
        compare(page.selectedIndex, 1);
        keyClick(Qt.Key_Right);
        compare(page.selectedIndex, 1, "nothing further right: the selection stays");
        keyClick(Qt.Key_Down);
        compare(page.selectedIndex, 2, "the wide tile below");
        keyClick(Qt.Key_Up);
        compare(page.selectedIndex, 0, "up, the nearest tile in line");
        keyClick(Qt.Key_Left);
        compare(page.selectedIndex, 0);

        var a = cameraOf(cellLoaders()[0]);
        keyClick(Qt.Key_Return);
        verify(a.singleView, "Enter shows the selected tile alone");
        verify(!frame.visible, "no frame over the full view");
        keyClick(Qt.Key_Escape);
        verify(!a.singleView, "Escape goes back to the grid");
        keyClick(Qt.Key_Enter);
        verify(a.singleView);
        keyClick(Qt.Key_Return);
        verify(!a.singleView, "Enter again leaves it");

        a.zoomAt(10, 10, 4);
        verify(a.zoomed);
        keyClick(Qt.Key_0);
        verify(!a.zoomed, "the key 0 resets the selected tile's zoom");

        var b = cameraOf(cellLoaders()[2]);
        mouseClick(b);
        compare(page.selectedIndex, 2, "a click selects a tile too");
        verify(page.activeFocus);

        // Another grid, another selection.
        App.layoutModel.fromJson(layoutJson(1, 1, [{ row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" }]));
        compare(page.selectedIndex, -1);
    }

    function test_aTextFieldKeepsItsKeys() {
        createPage(layoutJson(1, 2, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "A" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "alarm" }
        ]));
        var field = createTemporaryObject(fieldComponent, testCase);
        field.forceActiveFocus();
        field.cursorPosition = 0;
        keyClick(Qt.Key_Right);
        keyClick(Qt.Key_Down);
        keyClick(Qt.Key_Return);
        compare(field.cursorPosition, 1, "the field moved its cursor");
        compare(page.selectedIndex, -1, "the page saw none of it");
        verify(!cameraOf(cellLoaders()[0]).singleView);
    }

    Component {
        id: fieldComponent

        TextInput {
            width: 100
            height: 20
            text: "abc"
        }
    }

    function test_spanningCellCoversLowerHalf() {
        var area = createPage(layoutJson(2, 2, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "Video" },
            { row: 1, col: 0, rowSpan: 1, colSpan: 2, type: "alarm" }
        ]));
        verify(area.width > 0 && area.height > 0, "the design area has a size");
        var loaders = cellLoaders();
        compare(loaders.length, 3, "one loader per cell");

        var lower = loaders[2];
        compare(lower.x, 0);
        compare(lower.y, area.height / 2);
        compare(lower.width, area.width);
        compare(lower.height, area.height / 2);
        verify(lower.item !== null, "an alarm cell holds an empty item");

        compare(loaders[1].item, null, "a cell of an unknown type shows nothing");
        compare(loaders[0].width, area.width / 2);

        // The geometry follows the page.
        page.width = 600;
        page.height = 500;
        compare(lower.y, area.height / 2);
        compare(lower.width, area.width);
    }

    function test_cellsOutsideTheGridArePlacedAnyway() {
        var area = createPage(layoutJson(2, 2, [
            { row: 3, col: 2, rowSpan: 1, colSpan: 1, type: "alarm" }
        ]));
        var loaders = cellLoaders();
        compare(loaders.length, 1);
        compare(loaders[0].x, area.width);
        compare(loaders[0].y, area.height * 3 / 2);
    }

    function test_emptyGridShowsNothing_data() {
        return [
            { tag: "no rows", rows: 0, cols: 2 },
            { tag: "negative columns", rows: 2, cols: -1 }
        ];
    }

    function test_emptyGridShowsNothing(data) {
        createPage(layoutJson(data.rows, data.cols, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" }
        ]));
        compare(cellLoaders().length, 0, "no tiles without rows or columns");
        compare(page.cellWidth, 0);
        compare(page.cellHeight, 0);

        // A valid layout applied afterwards brings the tiles back.
        App.layoutModel.fromJson(layoutJson(1, 1, [{ row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" }]));
        compare(cellLoaders().length, 1);
    }

    function test_newLayoutRebuildsTiles() {
        createPage(layoutJson(1, 2, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "alarm" }
        ]));
        var first = cellLoaders()[0].item;
        var destroyed = false;
        first.Component.destruction.connect(function () { destroyed = true; });
        App.layoutModel.fromJson(layoutJson(1, 1, [{ row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "alarm" }]));
        compare(cellLoaders().length, 1);
        tryVerify(function () { return destroyed; }, 2000, "the old tiles are destroyed");
    }

    // config.ini beside the test runner lets four cameras play.
    function test_onlyTheFirstCamerasPlayAndOnlyLargeEnough() {
        compare(App.tileRules.maxTiles, 4, "the cap comes from config.ini");
        var elements = [{ row: 1, col: 0, rowSpan: 1, colSpan: 1, type: "alarm", label: "Alarm" }];
        for (var i = 0; i < 6; ++i)
            elements.push({ row: 0, col: i, rowSpan: 1, colSpan: 1, type: "video", label: "Cam " + (i + 1),
                            deviceId: "10", objectId: "50" });
        createPage(layoutJson(2, 6, elements));
        var loaders = cellLoaders();
        var cameras = [];
        for (var j = 1; j < loaders.length; ++j)
            cameras.push(cameraOf(loaders[j]));
        compare(cameras.length, 6);
        for (var k = 0; k < 4; ++k)
            verify(cameras[k].hasPlayer, "camera " + (k + 1) + " of the first four plays");
        for (var m = 4; m < 6; ++m) {
            verify(!cameras[m].hasPlayer, "camera " + (m + 1) + " is beyond the cap: no player");
            var text = findChild(cameras[m], "notPlayedText");
            verify(text.visible, "and says so");
            compare(text.text, "Cam " + (m + 1) + "\nNot played: this layout has more than 4 cameras");
        }

        // Tiles too small to be seen play nothing, and say why on hover.
        page.width = 6 * 40;
        tryVerify(function () { return !cameras[0].hasPlayer; }, 3000, "a 40 pixel tile lets its player go");
        compare(cameras[0].notPlayedReason, "Too small to play");
        var hover = findChild(cameras[0], "notPlayedHover");
        verify(hover.enabled, "the reason shows on hover");
        compare(cameras[0].notPlayedHint, "Cam 1: Too small to play");

        // Full size, the same camera plays; back in its cell, it stops again.
        mouseDoubleClickSequence(cameras[0]);
        tryVerify(function () { return cameras[0].hasPlayer; }, 3000, "the full view plays");
        mouseDoubleClickSequence(cameras[0]);
        tryVerify(function () { return !cameras[0].hasPlayer; }, 3000, "back in its tiny cell it stops");
        verify(!cameras[4].hasPlayer, "the cap holds at any size");
    }

    function test_cameraSetUp() {
        createPage(layoutJson(1, 3, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "<b>Cam 1</b>", deviceId: "10", objectId: "11" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 2", deviceId: "13", objectId: "12" },
            { row: 0, col: 2, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 3", deviceId: "", objectId: "12" }
        ]));
        var loaders = cellLoaders();
        var first = cameraOf(loaders[0]);
        compare(first.cameraName, "<b>Cam 1</b>", "the label is taken as it is");
        verify(first.liveMode, "live cameras reload after an end");
        compare(first.backend, null, "a camera without a stream URL makes no player");
        compare(first.posIP, "127.0.0.5", "the POS address comes from the gateway's settings");
        compare(first.posChannel, "11", "the POS channel is the stream id");

        var second = cameraOf(loaders[1]);
        compare(second.posIP, "127.0.0.1", "an empty address keeps the default");
        compare(second.posChannel, "12");

        var third = cameraOf(loaders[2]);
        compare(third.posChannel, "", "no gateway, no POS subscription");
    }

    function test_posLinesReachTheirCameraOnly() {
        createPage(layoutJson(1, 2, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 1", deviceId: "10", objectId: "11" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 2", deviceId: "10", objectId: "12" }
        ]));
        var loaders = cellLoaders();
        var first = cameraOf(loaders[0]);
        var second = cameraOf(loaders[1]);

        PosReceiver.posReceived("11", "TOTAL 3.50\nCASH 5.00\nCHANGE 1.50");
        compare(first.posLines.count, 3, "three lines, three labels");
        compare(second.posLines.count, 0, "another stream's lines are not shown");

        PosReceiver.posReceived("12", "ITEM");
        PosReceiver.posReceived("1", "prefix of 11 and 12");
        PosReceiver.posReceived("111", "11 is a prefix");
        compare(first.posLines.count, 3, "topics are compared exactly");
        compare(second.posLines.count, 1);
        compare(second.posLines.get(0).label, "ITEM");
    }

    function test_doubleClickFillsThePage() {
        createPage(layoutJson(2, 2, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 1", objectId: "11" },
            { row: 1, col: 1, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 2", objectId: "12" }
        ]));
        var loaders = cellLoaders();
        var holder = loaders[1].item;
        var camera = holder.view;
        var cellWidth = loaders[1].width;

        mouseDoubleClickSequence(camera);
        tryCompare(camera, "singleView", true);
        compare(camera.parent, page, "the camera leaves its cell for the page");
        tryCompare(camera, "z", 100, 2000, "above every other cell");
        tryCompare(camera, "width", page.width);
        tryCompare(camera, "height", page.height);
        tryCompare(camera, "x", 0);
        tryCompare(camera, "y", 0);

        mouseDoubleClickSequence(camera);
        tryCompare(camera, "singleView", false);
        compare(camera.parent, holder, "back in its cell");
        tryCompare(camera, "width", cellWidth);
        tryCompare(camera, "x", 0);
        tryCompare(camera, "z", 0);
    }

    function test_door_data() {
        return [
            { tag: "door with actuator and sensor", objectId: "40", actuator: true },
            { tag: "door without actuator", objectId: "30", actuator: false },
            { tag: "door without objects", objectId: "99", actuator: false }
        ];
    }

    function test_door(data) {
        createPage(layoutJson(1, 1, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "door", label: "Main door", objectId: data.objectId }
        ]));
        var door = cellLoaders()[0].item;
        verify(door !== null, "door cell has an item");
        compare(door.name, "Main door");
        var button = door.buttonOpenClose;
        compare(button.enabled, data.actuator, "the button is usable only with an actuator");
        var picture = findChild(door, "doorPicture");
        // Nothing reported yet (or no sensor at all): never shown as an open or a closed door.
        compare(String(picture.source), "qrc:/images/door-unknown.png");
        tryCompare(picture, "status", Image.Ready);
        var unknown = findChild(door, "doorStateUnknown");
        verify(unknown.visible, "the state is said to be unknown");
        compare(unknown.text, "State unknown");
    }

    function test_doorCommandAndReports() {
        createPage(layoutJson(1, 1, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "door", label: "Main door", objectId: "20" }
        ]));
        var door = cellLoaders()[0].item;
        var button = door.buttonOpenClose;
        var picture = findChild(door, "doorPicture");
        var sensor = App.vantorRepository.objectById("20");
        var actuator = App.vantorRepository.objectById("21");
        var unknown = findChild(door, "doorStateUnknown");
        TestStation.report(actuator, false);
        TestStation.report(sensor, false);
        compare(button.text, "Close", "the caption follows the actuator's value");
        compare(String(picture.source), "qrc:/images/door-opened.png", "a reported false sensor is an open door");
        verify(!unknown.visible, "a reported state is no longer unknown");

        mouseClick(button);
        compare(TestStation.writes.length, 1, "one actuator write");
        compare(TestStation.writes[0].id, "21");
        compare(TestStation.writes[0].value, true, "the opposite of the current value");
        compare(button.enabled, false, "the button waits for the report");
        compare(button.text, "Close", "nothing changes before the server reports");

        TestStation.report(actuator, true);
        compare(button.enabled, true, "a report releases the button");
        compare(button.text, "Open");
        compare(String(picture.source), "qrc:/images/door-opened.png", "the picture follows the sensor only");

        TestStation.report(sensor, true);
        compare(String(picture.source), "qrc:/images/door-closed.png");

        // An unchanged value reported again still releases the button.
        mouseClick(button);
        compare(button.enabled, false);
        TestStation.report(actuator, true);
        compare(button.enabled, true);
    }

    function test_doorButtonFollowsTheSignIn() {
        createPage(layoutJson(1, 1, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "door", label: "Main door", objectId: "20" }
        ]));
        var button = cellLoaders()[0].item.buttonOpenClose;
        compare(button.enabled, true, "signed in, the door can be commanded");

        TestStation.reportConnectionClosed();
        compare(App.signedIn, false, "a closed connection signs the client out");
        verify(App.reconnecting, "and the client reconnects by itself");
        compare(button.enabled, false, "signed out, the button is disabled");
        mouseClick(button);
        compare(TestStation.writes.length, 0, "a click while signed out sends nothing");

        TestStation.reportSignedIn();
        compare(button.enabled, true, "usable again once signed in");
        mouseClick(button);
        compare(TestStation.writes.length, 1);

        // A command in flight when the connection goes stays blocked after the sign-in returns,
        // until its report or the guard releases it.
        TestStation.reportConnectionClosed();
        TestStation.reportSignedIn();
        compare(button.enabled, false, "still waiting for the report of the first command");
        TestStation.report(App.vantorRepository.objectById("21"), true);
        compare(button.enabled, true);
    }

    function test_doorGuardReleasesWithoutReport() {
        createPage(layoutJson(1, 1, [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "door", label: "Main door", objectId: "20" }
        ]));
        compare(page.doorGuardInterval, 10000, "ten seconds by default");
        page.doorGuardInterval = 300;
        var door = cellLoaders()[0].item;
        var button = door.buttonOpenClose;
        mouseClick(button);
        compare(button.enabled, false);
        tryCompare(button, "enabled", true, 3000, "the button comes back without a report");
        compare(TestStation.writes.length, 1);
    }

}
