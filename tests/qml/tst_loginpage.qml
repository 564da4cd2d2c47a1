import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property Component pageComponent: Qt.createComponent("qrc:/qml/LoginPage.qml")

    name: "LoginPage"
    width: 640
    height: 480
    visible: true
    when: windowShown

    function createPage() {
        compare(pageComponent.status, Component.Ready, pageComponent.errorString());
        var page = createTemporaryObject(pageComponent, testCase, { width: 640, height: 480 });
        verify(page !== null, "the login page loads");
        return page;
    }

    // Runs first: nothing has asked the server client for a connection yet.
    function test_a_incompleteFieldsWaitForTheButton() {
        TestStation.storeLoginFields({ host: "127.0.0.1", port: "1", user: "operator", pass: "" });
        var page = createPage();
        compare(findChild(page, "txtHost").text, "127.0.0.1", "the fields come back from the store");
        compare(findChild(page, "txtUsername").text, "operator");
        compare(findChild(page, "txtPassword").echoMode, TextInput.Password);
        compare(App.vantorClient.host, "", "no automatic sign-in without a password");
        verify(findChild(page, "btnLogin").enabled, "the form stays usable");
    }

    function test_b_storedFieldsSignInAndFailureIsShown() {
        TestStation.storeLoginFields({ host: "127.0.0.1", port: "1x", user: "operator", pass: "secret" });
        var page = createPage();
        compare(App.vantorClient.host, "127.0.0.1", "all four fields start the sign-in at once");
        compare(App.vantorClient.port, 1, "the port text is read as an integer");
        compare(App.vantorClient.username, "operator");
        compare(App.vantorClient.password, "secret");
        var button = findChild(page, "btnLogin");
        compare(button.enabled, false, "the form is locked while signing in");
        compare(findChild(page, "txtHost").enabled, false);

        var error = findChild(page, "loginError");
        tryCompare(button, "enabled", true, 20000, "a failed sign-in unlocks the form");
        verify(error.visible, "the reason is shown");
        compare(error.text, "Failed to connect");
        compare(error.textFormat, Text.PlainText);
        verify(findChild(page, "txtPassword").enabled);

        // No server there: with every field given, the page says when the next try comes.
        var retry = findChild(page, "loginRetry");
        verify(App.signInRetrying, "another try is scheduled");
        verify(retry.visible);
        verify(/^Trying again in [0-9]+ s$/.test(retry.text), retry.text);
    }

    function test_c_loggedInMovesOnOnce() {
        TestStation.storeLoginFields({});
        var page = createPage();
        nextStepSpy.target = page;
        nextStepSpy.clear();
        App.loggedIn();
        App.loggedIn();
        compare(nextStepSpy.count, 1, "the window moves on once");
    }

    SignalSpy {
        id: nextStepSpy

        signalName: "requestNextStep"
    }
}
