import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Qt.labs.settings 1.0
import Native 1.0
import Config 1.0
import Elements 1.0

Page {
    id: loginPage

    property bool busy: false
    property bool signedIn: false
    property string errorText: ""
    // When the next automatic sign-in starts (Date.now() scale), after one that found no server.
    property real retryAt: 0
    property int retrySeconds: 0

    signal requestNextStep()

    function canSignInAutomatically() {
        return txtHost.text !== "" && txtPort.text !== "" && txtUsername.text !== "" && txtPassword.text !== "";
    }

    function startLogin() {
        var host = txtHost.text;
        var port = parseInt(txtPort.text);
        var username = txtUsername.text;
        var password = txtPassword.text;
        App.passwords.store(password);
        errorText = "";
        busy = true;
        G.dialogs.wait(qsTr("Working") + I18n.localeNotify);
        // A port text that does not start with a number would reach the server client as NaN.
        App.login(username, password, host, isNaN(port) ? 0 : port);
    }

    objectName: "loginPage"

    background: Rectangle {
        color: G.theme.background
    }

    // The password comes from the keyring, which may answer after the page is complete; the
    // automatic sign-in waits for it.
    function restorePassword() {
        // What the operator typed meanwhile stays, and signs in only with the button.
        if (txtPassword.text !== "" || busy)
            return;
        txtPassword.text = App.passwords.password();
        if (canSignInAutomatically())
            startLogin();
    }

    Component.onCompleted: {
        if (App.passwords.ready)
            restorePassword();
    }

    Connections {
        target: App.passwords

        function onReadyChanged() {
            if (App.passwords.ready)
                loginPage.restorePassword();
        }
    }

    Connections {
        target: App

        function onLoggedIn() {
            // The window moves on once; a later sign-in of the same run changes nothing here.
            if (loginPage.signedIn)
                return;
            loginPage.signedIn = true;
            loginPage.requestNextStep();
        }

        function onLoginError(message) {
            loginPage.busy = false;
            loginPage.errorText = message;
            G.dialogs.endWait();
        }

        // The fields stay usable while the client waits: the operator may change them and press
        // Login at any time.
        function onSignInRetryScheduled(delayMs) {
            loginPage.retryAt = Date.now() + delayMs;
            loginPage.retrySeconds = Math.ceil(delayMs / 1000);
        }
    }

    Timer {
        objectName: "retryCountdown"
        interval: G.timings.countdownTickMs
        repeat: true
        running: App.signInRetrying
        onTriggered: loginPage.retrySeconds = Math.max(0, Math.ceil((loginPage.retryAt - Date.now()) / 1000))
    }

    // Restored before the page completes, so the automatic sign-in sees the stored values. The
    // password is not among them: App.passwords keeps it.
    Settings {
        id: settings

        property alias host: txtHost.text
        property alias port: txtPort.text
        property alias user: txtUsername.text
    }

    // Reachable before signing in; the window also switches language under a key.
    RowLayout {
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: G.metrics.spacing * 2
        spacing: G.metrics.spacing

        ELabel {
            objectName: "languageLabel"
            text: qsTr("Language") + I18n.localeNotify
        }

        LanguageBox {
        }
    }

    GridLayout {
        anchors.centerIn: parent
        columns: 2
        columnSpacing: G.metrics.spacing * 2
        rowSpacing: G.metrics.spacing

        ELabel {
            Layout.columnSpan: 2
            font.bold: true
            text: qsTr("server information") + I18n.localeNotify
        }

        ELabel {
            text: qsTr("Host") + I18n.localeNotify
        }

        ETextField {
            id: txtHost

            objectName: "txtHost"
            accessibleName: qsTr("Host") + I18n.localeNotify
            enabled: !loginPage.busy
        }

        ELabel {
            text: qsTr("Port") + I18n.localeNotify
        }

        ETextField {
            id: txtPort

            objectName: "txtPort"
            accessibleName: qsTr("Port") + I18n.localeNotify
            enabled: !loginPage.busy
        }

        ELabel {
            Layout.columnSpan: 2
            font.bold: true
            text: qsTr("login credentials") + I18n.localeNotify
        }

        ELabel {
            text: qsTr("Username") + I18n.localeNotify
        }

        ETextField {
            id: txtUsername

            objectName: "txtUsername"
            accessibleName: qsTr("Username") + I18n.localeNotify
            enabled: !loginPage.busy
        }

        ELabel {
            text: qsTr("Password") + I18n.localeNotify
        }

        ETextField {
            id: txtPassword

            objectName: "txtPassword"
            accessibleName: qsTr("Password") + I18n.localeNotify
            enabled: !loginPage.busy
            echoMode: TextInput.Password
        }

        EButton {
            id: btnLogin

            objectName: "btnLogin"
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignRight
            enabled: !loginPage.busy
            text: qsTr("Login") + I18n.localeNotify
            Accessible.name: text
            onClicked: loginPage.startLogin()
        }

        // Why the last attempt failed, as the server or the connection reported it.
        ELabel {
            objectName: "loginError"
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignRight
            Layout.maximumWidth: loginPage.width / 2
            visible: loginPage.errorText !== ""
            wrapMode: Text.Wrap
            color: G.theme.errorText
            text: loginPage.errorText
        }

        ELabel {
            objectName: "loginRetry"
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignRight
            visible: App.signInRetrying
            text: qsTr("Trying again in %1 s").arg(loginPage.retrySeconds) + I18n.localeNotify
        }
    }
}
