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
