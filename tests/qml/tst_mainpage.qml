import QtQuick 2.15
import QtTest 1.15
import QtQuick.Window 2.15
import Native 1.0
import Config 1.0
import Scripts 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property Component pageComponent: Qt.createComponent("qrc:/qml/MainPage.qml")
    property Component loginComponent: Qt.createComponent("qrc:/qml/LoginPage.qml")
    property int nextEventId: 1

    name: "MainPage"
    width: 640
    height: 480
    visible: true
    when: windowShown

    // The page with the alarm panel hidden, unless the test wants what the last page left stored.
    function createPage(keepStoredPanel) {
        compare(pageComponent.status, Component.Ready, pageComponent.errorString());
        var page = createTemporaryObject(pageComponent, testCase, { width: 640, height: 480 });
        verify(page !== null, "the main page loads");
        if (!keepStoredPanel)
            page.alarmPanelShown = false;
        return page;
    }

    function test_alarmPanelStaysAsLeft() {
        var page = createPage();
        page.toggleAlarmPanel();
        // Stored as the page goes, which destroy() leaves to the event loop.
        page.destroy();
        wait(0);
        var next = createPage(true);
        verify(next.alarmPanelShown, "the panel shown at the last close is shown at the next start");
        next.toggleAlarmPanel();
        next.destroy();
        wait(0);
        verify(!createPage(true).alarmPanelShown, "and hidden once hidden");
    }

    // What kind of control the operator uses an item as; "" for none. Duck-typed, as QML has no
    // instanceof for the Controls' types.
    function controlKind(item) {
        if (item.objectName === "alarmRow")
            return "alarm row";
        if (item.textRole !== undefined && item.popup !== undefined && item.currentIndex !== undefined)
            return "ComboBox";
        if (item.up !== undefined && item.down !== undefined && item.stepSize !== undefined)
            return "SpinBox";
        if (item.snapMode !== undefined && item.stepSize !== undefined && item.from !== undefined)
            return "Slider";
        if (item.placeholderText !== undefined && item.echoMode !== undefined)
            return "TextField";
        // Button, ToolButton, CheckBox, Switch and the list rows made of ItemDelegate.
        if (item.autoRepeat !== undefined && item.checkable !== undefined && item.pressed !== undefined)
            return "Button";
        if (item.acceptedButtons !== undefined && item.pressAndHoldInterval !== undefined)
            return item.enabled && item.acceptedButtons !== Qt.NoButton ? "MouseArea" : "";
        return "";
    }

    function accessibleName(item) {
        return item && item.Accessible ? String(item.Accessible.name) : "";
    }

    function describe(item) {
        var path = [];
        for (var at = item; at; at = at.parent)
            path.unshift(at.objectName !== "" ? at.objectName : String(at).replace(/\(.*$/, ""));
        return path.slice(-4).join("/");
    }

    // Every visible control under root without an accessible name. A mouse area is the button of
    // the item around it (an icon button, a row): a name there counts.
    function unnamedControls(root) {
        var found = [];
        var walk = function (item) {
            if (!item || !item.visible)
                return;
            var kind = controlKind(item);
            if (kind !== "") {
                var named = accessibleName(item) !== "";
                if (kind === "MouseArea")
                    named = named || accessibleName(item.parent) !== ""
                            || (item.parent && accessibleName(item.parent.parent) !== "");
                if (!named)
                    found.push(kind + " " + describe(item));
            }
            // A box's own field and buttons are the box.
            if (kind === "ComboBox" || kind === "SpinBox")
                return;
            for (var i = 0; i < item.children.length; ++i)
                walk(item.children[i]);
        };
        walk(root);
        return found;
    }

    function verifyAllNamed(root, what) {
        var controls = 0;
        var count = function (item) {
            if (!item || !item.visible)
                return;
            var kind = controlKind(item);
            if (kind !== "")
                ++controls;
            if (kind === "ComboBox" || kind === "SpinBox")
                return;
            for (var i = 0; i < item.children.length; ++i)
                count(item.children[i]);
        };
        count(root);
        verify(controls > 0, what + ": the walk finds the page's controls");
        var unnamed = unnamedControls(root);
        verify(unnamed.length === 0, what + ": controls without an accessible name: " + unnamed.join(", "));
    }

    // An event of the server, now; gives its moment.
    function raise(className, sourceId, priority) {
        var moment = Date.now();
        TestStation.raiseEvent({ className: className, eventId: nextEventId++, sourceId: sourceId,
                                 priority: priority, timestamp: moment, fields: { door: "Entrance" } });
        return moment;
    }

    function activateWindow() {
        var window = testCase.Window.window;
        window.requestActivate();
        tryVerify(function () { return window.active; }, 3000, "the test window takes the keys");
    }

    function initTestCase() {
        // The objects go into the application's repository, so the application must exist.
        verify(App.alarms !== null, "the application and its alarm center exist");
        TestStation.addObject({ id: "10", name: "Gateway", type: VantorObject.Device, cls: "device.GATEWAY" });
        TestStation.addObject({ id: "11", name: "Entrance camera", type: VantorObject.Stream, cls: "stream",
                                path: "Site,10,11", settings: { url: "" } });
        TestStation.addObject({ id: "31", name: "Entrance door", type: VantorObject.Sensor, cls: "sensor.DOOR",
                                settings: { cameras: "11", layout: "E" } });
        TestStation.addObject({ id: "32", name: "Entrance lock", type: VantorObject.Actuator, cls: "actuator.DOOR",
                                settings: { layout: "E" } });
        TestStation.announceObjects();
        App.layoutModel.fromJson(JSON.stringify({ numRows: 1, numCols: 3, elements: [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "Entrance", deviceId: "10", objectId: "11" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "door", label: "Entrance door", objectId: "31" },
            { row: 0, col: 2, rowSpan: 1, colSpan: 1, type: "alarm" }
        ] }));
    }

    function init() {
        App.alarms.model.alarmsOnly = true;
        App.alarms.acknowledgeShown();
    }

    function test_alarmCountAndPanelKey() {
        var page = createPage();
        activateWindow();
        var panel = findChild(page, "alarmPanel");
        var badge = findChild(page, "alarmBadge");
        var flash = findChild(page, "alarmFlash");
        verify(badge.visible, "the count shows with the panel hidden");
        compare(findChild(page, "alarmBadgeText").text, "0");

        raise("door.forcedOpen", 31, 90);
        compare(findChild(page, "alarmBadgeText").text, "1", "a new alarm counts at once");
        verify(flash.running, "and makes the count flash");
        raise("door.opened", 31, 10);
        compare(findChild(page, "alarmBadgeText").text, "1", "an event that is no alarm does not count");

        keyClick(Qt.Key_F9);
        verify(panel.visible, "F9 shows the panel");
        verify(findChild(panel, "alarmList").activeFocus, "with the keys in its list");
        keyClick(Qt.Key_F9);
        verify(!panel.visible, "and hides it again");
        verify(badge.visible, "the count stays");
        mouseClick(findChild(page, "alarmPanelButton"));
        verify(panel.visible, "the toolbar button shows it too");
    }

    function test_enterOpensTheRecordedPageAtTheMoment() {
        var page = createPage();
        activateWindow();
        var moment = raise("door.heldOpen", 31, 70);
        page.toggleAlarmPanel();
        var list = findChild(page.alarmPanel, "alarmList");
        list.currentIndex = 0;
        keyClick(Qt.Key_Return);
        var pages = findChild(page, "pages");
        tryVerify(function () { return pages.currentItem && pages.currentItem.objectName === "recordedPage"; }, 3000,
                  "Enter opens the recorded page");
        var recorded = pages.currentItem;
        compare(recorded.session.strmId, "11", "on the camera that sees the door");
        compare(recorded.session.devId, "10");
        compare(recorded.timeline.markedMoment, moment, "with the moment marked on the time bar");
        verify(recorded.session.dayStart <= moment && moment < recorded.session.dayEnd, "on the moment's day");

        var from = moment - App.alarms.preRollSeconds * 1000;
        App.vantorClient.streamChunksReceived([{ streamId: 11, start: from - 60000, end: from + 60000, size: 100 }]);
        compare(recorded.session.startTime, String(from - 60000), "the chunk that holds the moment less pre-roll");
        compare(recorded.session.pendingSeekMs, from, "played from there");

        recorded.chooseStream("10", "12");
        compare(recorded.timeline.markedMoment, -1, "another stream has no mark");
    }

    function test_everyControlHasAnAccessibleName() {
        TestStation.storeLoginFields({});
        compare(loginComponent.status, Component.Ready, loginComponent.errorString());
        var login = createTemporaryObject(loginComponent, testCase, { width: 640, height: 480 });
        verifyAllNamed(login, "login page");
        login.destroy();

        var page = createPage();
        raise("door.forcedOpen", 31, 90);
        raise("door.accessDenied", 31, 60);
        page.toggleAlarmPanel();
        var list = findChild(page.alarmPanel, "alarmList");
        tryVerify(function () { return list.itemAtIndex(0) !== null; }, 3000, "the panel has rows");
        var door = findChild(page, "doorView");
        verify(findChild(door, "doorAlarm").visible, "the door shows its alarm");
        verify(findChild(page, "alarmInfo").visible, "the alarm cell shows the alarm");
        verifyAllNamed(page, "main page with the layout and the alarm panel");

        App.requestedJumpPage("recorder");
        var pages = findChild(page, "pages");
        tryVerify(function () { return pages.currentItem && pages.currentItem.objectName === "recordedPage"; }, 3000);
        var recorded = pages.currentItem;
        recorded.chooseStream("10", "11");
        var now = Date.now();
        App.vantorClient.streamChunksReceived([{ streamId: 11, start: now - 120000, end: now - 60000, size: 100 }]);
        waitForRendering(recorded);
        verifyAllNamed(page, "main page with the recorded page");
    }

    function test_jumpRequests() {
        var page = createPage();
        var pages = findChild(page, "pages");
        var first = pages.currentItem;
        compare(first.objectName, "layoutPage", "the main page starts on the layout page");

        App.requestedJumpPage("playback");
        tryVerify(function () { return pages.currentItem !== first && pages.currentItem !== null; }, 3000,
                  "playback creates a fresh layout page");
        compare(pages.currentItem.objectName, "layoutPage");
        compare(pages.depth, 1, "the old page is replaced, not stacked");

        var second = pages.currentItem;
        App.requestedJumpPage("settings");
        App.requestedJumpPage("");
        compare(pages.currentItem, second, "other page names leave the current page");
    }

    function test_dialogs() {
        var page = createPage();
        verify(G.dialogs._wait !== null, "the main page installs its dialogs");
        var popup = findChild(page, "waitPopup");
        G.dialogs.wait("Working", "Signing in");
        tryCompare(popup, "opened", true);
        compare(popup.message, "Working");
        compare(popup.title, "Signing in");
        G.dialogs.wait("Again", undefined);
        compare(popup.title, "", "no title when none is given");
        G.dialogs.endWait();
        tryCompare(popup, "visible", false);

        var answers = [];
        var dialog = G.dialogs.question("Open the door?", "Door", function (yes) { answers.push(yes); });
        verify(dialog !== null, "the question is asked in a dialog");
        tryCompare(dialog, "opened", true);
        compare(dialog.title, "Door");
        compare(dialog.message, "Open the door?");
        verify(dialog.modal);
        dialog.accept();
        dialog = G.dialogs.question("Open the door?", "Door", function (yes) { answers.push(yes); });
        dialog.reject();
        compare(answers, [true, false]);
        G.dialogs.question("No handler", "", null);
    }

    function test_dialogsLeaveWithThePage() {
        var page = createPage();
        verify(Utils.isfunction(G.dialogs._question), "the question handler is installed");
        page.destroy();
        tryVerify(function () { return G.dialogs._question === null; }, 2000, "no handler of a destroyed page stays");
        G.dialogs.wait("nobody listens");
    }
}
