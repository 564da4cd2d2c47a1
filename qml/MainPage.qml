import QtQuick 2.15
import QtQuick.Controls 2.15
import Native 1.0
import Config 1.0
import Elements 1.0
import Scripts 1.0

// Hosts the working page that the companion asks for, and the shared dialogs.
Page {
    id: mainPage

    function question(message, title, handler) {
        var dialog = questionComponent.createObject(mainPage, {
            title: Utils.isValid(title) ? String(title) : "",
            message: Utils.isValid(message) ? String(message) : ""
        });
        if (dialog === null) {
            console.warn("Could not create the question dialog");
            return null;
        }
        if (Utils.isfunction(handler)) {
            dialog.accepted.connect(function () { handler(true); });
            dialog.rejected.connect(function () { handler(false); });
        }
        dialog.open();
        return dialog;
    }

    function wait(message, title) {
        waitPopup.title = Utils.isValid(title) ? String(title) : "";
        waitPopup.message = Utils.isValid(message) ? String(message) : "";
        waitPopup.open();
    }

    function endWait() {
        waitPopup.close();
    }

    objectName: "mainPage"

    background: Rectangle {
        color: G.theme.background
    }

    Component.onCompleted: {
        G.dialogs._question = question;
        G.dialogs._wait = wait;
        G.dialogs._endWait = endWait;
    }
    Component.onDestruction: {
        if (G.dialogs._question === question)
            G.dialogs._question = null;
        if (G.dialogs._wait === wait)
            G.dialogs._wait = null;
        if (G.dialogs._endWait === endWait)
            G.dialogs._endWait = null;
    }

    Connections {
        target: App

        function onRequestedJumpPage(page) {
            if (page === "playback")
                pages.replace(null, layoutPageComponent);
            else if (page === "recorder")
                pages.replace(null, Qt.resolvedUrl("RecordedPage.qml"));
        }
    }

    StackView {
        id: pages

        objectName: "pages"
        anchors.fill: parent
        clip: true
        initialItem: layoutPageComponent
    }

    Component {
        id: layoutPageComponent

        LayoutPage {
            objectName: "layoutPage"
        }
    }

    Component {
        id: questionComponent

        Dialog {
            id: dialog

            property string message: ""

            objectName: "questionDialog"
            anchors.centerIn: parent
            modal: true
            standardButtons: Dialog.Yes | Dialog.No
            onClosed: dialog.destroy()

            ELabel {
                color: G.theme.dialogText
                wrapMode: Text.Wrap
                text: dialog.message
            }
        }
    }

    Popup {
        id: waitPopup

        property string title: ""
        property string message: ""

        objectName: "waitPopup"
        anchors.centerIn: parent
        modal: true
        closePolicy: Popup.NoAutoClose

        background: Rectangle {
            color: G.theme.darker2
        }

        contentItem: Column {
            spacing: G.metrics.spacing

            ELabel {
                visible: text !== ""
                font.bold: true
                text: waitPopup.title
            }

            ELabel {
                text: waitPopup.message
            }
        }
    }
}
