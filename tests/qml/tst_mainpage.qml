import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import Config 1.0
import Scripts 1.0

TestCase {
    id: testCase

    property Component pageComponent: Qt.createComponent("qrc:/qml/MainPage.qml")

    name: "MainPage"
    width: 640
    height: 480
    visible: true
    when: windowShown

    function createPage() {
        compare(pageComponent.status, Component.Ready, pageComponent.errorString());
        var page = createTemporaryObject(pageComponent, testCase, { width: 640, height: 480 });
        verify(page !== null, "the main page loads");
        return page;
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
            if (controlKind(item) !== "")
                ++controls;
            for (var i = 0; i < item.children.length; ++i)
                count(item.children[i]);
        };
        count(root);
        verify(controls > 0, what + ": the walk finds the page's controls");
        var unnamed = unnamedControls(root);
        verify(unnamed.length === 0, what + ": controls without an accessible name: " + unnamed.join(", "));
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
