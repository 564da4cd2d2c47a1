import QtQuick 2.15
import QtTest 1.15
import Config 1.0
import Native 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property Component windowComponent: Qt.createComponent("qrc:/qml/main.qml")

    name: "Window"
    when: windowShown

    function test_connectionBanner() {
        TestStation.storeLoginFields({});
        var window = createTemporaryObject(windowComponent, testCase);
        verify(window !== null, "main.qml gives a window");
        var banner = findChild(window.contentItem, "connectionBanner");
        var label = findChild(banner, "connectionBannerText");
        verify(banner !== null && label !== null, "the window has a connection banner");
        verify(!banner.visible, "no banner before any sign-in");

        TestStation.reportSignedIn();
        var stack = findChild(window.contentItem, "windowStack");
        tryVerify(function () { return stack.currentItem && stack.currentItem.objectName === "mainPage"; }, 3000);
        verify(!banner.visible, "no banner while signed in");

        TestStation.reportConnectionClosed();
        verify(banner.visible, "a lost connection shows at once");
        compare(banner.y, 0, "along the top of the window");
        tryCompare(banner, "width", window.width);
        verify(banner.height >= label.implicitHeight, "the text fits");
        compare(label.text, "Connection to the server lost. Next attempt in 1 s.");
        compare(stack.currentItem.objectName, "mainPage", "the page below stays");

        // The first attempt fails (no server here); the next one waits twice as long.
        tryCompare(label, "text", "Connection to the server lost. Next attempt in 2 s.", 5000);
        verify(banner.visible);

        TestStation.reportSignedIn();
        verify(!banner.visible, "gone once signed in again");
    }

    function test_loginThenMainPage() {
        // Nothing stored, so the login page waits and the test decides when sign-in succeeds.
        TestStation.storeLoginFields({});
        compare(windowComponent.status, Component.Ready, windowComponent.errorString());
        var window = createTemporaryObject(windowComponent, testCase);
        verify(window !== null, "main.qml gives a window");
        compare(window.title, "Client");
        compare(window.width, 640);
        compare(window.height, 480);
        verify(window.flags & Qt.FramelessWindowHint, "no frame outside debug mode");

        var stack = findChild(window.contentItem, "windowStack");
        compare(stack.currentItem.objectName, "loginPage", "the window starts on the login page");
        App.loggedIn();
        tryCompare(stack, "busy", false);
        tryVerify(function () { return stack.currentItem && stack.currentItem.objectName === "mainPage"; }, 3000,
                  "a sign-in replaces the login page with the main page");
        compare(stack.depth, 1, "there is no way back to the login page");
    }

    function test_statisticsKey() {
        TestStation.storeLoginFields({});
        var window = createTemporaryObject(windowComponent, testCase);
        verify(window !== null, "main.qml gives a window");
        window.requestActivate();
        tryVerify(function () { return window.active; }, 3000, "the window takes the keys");
        verify(!G.view.videoStatsVisible, "the tiles' figures start hidden");
        keyClick(Qt.Key_I, Qt.ControlModifier);
        verify(G.view.videoStatsVisible, "Ctrl+I shows them");
        keyClick(Qt.Key_I, Qt.ControlModifier);
        verify(!G.view.videoStatsVisible, "and hides them again");
    }
}
