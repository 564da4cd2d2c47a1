import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property Component windowComponent: Qt.createComponent("qrc:/qml/main.qml")

    name: "Window"
    when: windowShown

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
}
