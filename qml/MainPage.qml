import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Qt.labs.settings 1.0
import Native 1.0
import Config 1.0
import Elements 1.0
import Scripts 1.0

// Hosts the working page that the companion asks for, the alarm panel beside it, and the shared
// dialogs. The toolbar keeps the count of alarms not acknowledged in sight, panel shown or not.
Page {
    id: mainPage

    readonly property var alarms: App.alarms !== undefined ? App.alarms : null
    property bool alarmPanelShown: false
    readonly property alias alarmPanel: alarmPanel
    readonly property alias pages: pages

    function toggleAlarmPanel() {
        alarmPanelShown = !alarmPanelShown;
        // The keys go where the operator looks.
        if (alarmPanelShown)
            alarmPanel.list.forceActiveFocus();
        else if (pages.currentItem)
            pages.currentItem.forceActiveFocus();
    }

    // The recorded page on the event's camera, from a little before its moment, the moment marked.
    function openRecorded(video) {
        var page = pages.replace(null, Qt.resolvedUrl("RecordedPage.qml"), {}, StackView.Immediate);
        if (!page) {
            console.warn("Could not open the recorded page for stream", video.streamId);
            return null;
        }
        page.openAt(video.deviceId, video.streamId, video.from, video.moment);
        return page;
    }

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

    // An operator who works with the panel open finds it open at the next start.
    Settings {
        category: "Events"
        property alias panelShown: mainPage.alarmPanelShown
    }

    Shortcut {
        objectName: "alarmPanelShortcut"
        sequence: "F9"
        onActivated: mainPage.toggleAlarmPanel()
    }

    header: ToolBar {
        objectName: "mainToolbar"

        background: Rectangle {
            color: G.theme.darker2
        }

        RowLayout {
            anchors.fill: parent
            anchors.rightMargin: G.metrics.spacing
            spacing: G.metrics.spacing

            Item {
                Layout.fillWidth: true
            }

            ToolButton {
                id: alarmButton

                objectName: "alarmPanelButton"
                // Shows the panel's state; a click does not toggle it by itself.
                checked: mainPage.alarmPanelShown
                text: qsTr("Alarms") + I18n.localeNotify
                Accessible.role: Accessible.Button
                Accessible.name: qsTr("Alarm panel, %1 not acknowledged").arg(alarmBadge.count) + I18n.localeNotify
                onClicked: mainPage.toggleAlarmPanel()
            }

            Rectangle {
                id: alarmBadge

                readonly property int count: mainPage.alarms ? mainPage.alarms.unacknowledgedCount : 0
                property bool flashing: false

                objectName: "alarmBadge"
                Layout.preferredHeight: G.metrics.alarmBadgeSize
                Layout.preferredWidth: Math.max(G.metrics.alarmBadgeSize, badgeText.implicitWidth + 2 * G.metrics.spacing)
                radius: height / 2
                color: flashing ? G.theme.alarmBadgeFlash : count > 0 ? G.theme.alarmBadge : G.theme.alarmBadgeIdle

                ELabel {
                    id: badgeText

                    objectName: "alarmBadgeText"
                    anchors.centerIn: parent
                    font.bold: true
                    color: alarmBadge.flashing ? G.theme.dialogText : G.theme.alarmBadgeText
                    text: String(alarmBadge.count)
                }

                // A new alarm: the count blinks a few times.
                SequentialAnimation {
                    id: flash

                    objectName: "alarmFlash"
                    loops: G.timings.alarmFlashCount

                    PropertyAction {
                        target: alarmBadge
                        property: "flashing"
                        value: true
                    }
                    PauseAnimation {
                        duration: G.timings.alarmFlashMs
                    }
                    PropertyAction {
                        target: alarmBadge
                        property: "flashing"
                        value: false
                    }
                    PauseAnimation {
                        duration: G.timings.alarmFlashMs
                    }
                }

                Connections {
                    target: mainPage.alarms

                    function onAlarmRaised(localId) {
                        flash.restart();
                    }
                }
            }
        }
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
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.right: alarmPanel.visible ? alarmPanel.left : parent.right
        clip: true
        initialItem: layoutPageComponent
    }

    AlarmPanel {
        id: alarmPanel

        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: Math.min(G.metrics.alarmPanelWidth, mainPage.width / 2)
        visible: mainPage.alarmPanelShown
        onVideoRequested: function (video) {
            mainPage.openRecorded(video);
        }
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
