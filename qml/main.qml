import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import Native 1.0
import Config 1.0
import Elements 1.0

Window {
    id: root

    objectName: "mainWindow"
    visible: true
    width: G.metrics.windowWidth
    height: G.metrics.windowHeight
    title: qsTr("Client") + I18n.localeNotify
    flags: debug ? Qt.Window : (Qt.Window | Qt.FramelessWindowHint)
    color: G.theme.background

    // What the window was before F11 made it cover the screen.
    property int visibilityBeforeFullScreen: Window.Windowed

    function toggleFullScreen() {
        if (visibility === Window.FullScreen) {
            visibility = visibilityBeforeFullScreen;
        } else {
            visibilityBeforeFullScreen = visibility;
            visibility = Window.FullScreen;
        }
    }

    // Every live tile's own figures, on and off.
    Shortcut {
        objectName: "statsShortcut"
        sequence: "Ctrl+I"
        context: Qt.ApplicationShortcut
        onActivated: G.view.videoStatsVisible = !G.view.videoStatsVisible
    }

    Shortcut {
        objectName: "fullScreenShortcut"
        sequence: "F11"
        context: Qt.ApplicationShortcut
        onActivated: root.toggleFullScreen()
    }

    // The only way to change the language once the login page is gone.
    Shortcut {
        objectName: "languageShortcut"
        sequence: "Ctrl+Shift+L"
        context: Qt.ApplicationShortcut
        onActivated: G.language.next()
    }

    StackView {
        id: stack

        objectName: "windowStack"
        anchors.fill: parent
        initialItem: loginPageComponent
    }

    // Along the top while the client signs in again by itself after losing the server; the page
    // below stays as it is, live tiles included.
    Rectangle {
        id: connectionBanner

        // When the next attempt starts (Date.now() time); zero before the first loss.
        property double nextAttemptAt: 0
        property int secondsLeft: 0

        function updateSecondsLeft() {
            secondsLeft = Math.max(0, Math.ceil((nextAttemptAt - Date.now()) / 1000));
        }

        objectName: "connectionBanner"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: bannerText.implicitHeight + 2 * G.metrics.spacing
        visible: App.reconnecting && !App.signedIn
        color: G.theme.connectionBanner

        ELabel {
            id: bannerText

            objectName: "connectionBannerText"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            anchors.margins: G.metrics.spacing
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            font.bold: true
            color: G.theme.connectionBannerText
            text: (connectionBanner.secondsLeft > 0
                   ? qsTr("Connection to the server lost. Next attempt in %1 s.").arg(connectionBanner.secondsLeft)
                   : qsTr("Connection to the server lost. Reconnecting…")) + I18n.localeNotify
        }

        Connections {
            target: App

            function onConnectionLost(delayMs) {
                connectionBanner.nextAttemptAt = Date.now() + delayMs;
                connectionBanner.updateSecondsLeft();
            }
        }

        Timer {
            interval: G.timings.countdownTickMs
            repeat: true
            running: connectionBanner.visible
            onTriggered: connectionBanner.updateSecondsLeft()
        }
    }

    Component {
        id: loginPageComponent

        LoginPage {
            onRequestNextStep: stack.replace(null, mainPageComponent)
        }
    }

    Component {
        id: mainPageComponent

        MainPage {}
    }
}
