import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import Native 1.0
import Config 1.0

Window {
    id: root

    objectName: "mainWindow"
    visible: true
    width: 640
    height: 480
    title: qsTr("Client") + I18n.localeNotify
    flags: debug ? Qt.Window : (Qt.Window | Qt.FramelessWindowHint)
    color: G.theme.background

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
