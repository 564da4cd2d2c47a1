import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// A door: its picture with the name on top, its newest alarm not yet acknowledged, and the
// open/close button below, with its last events on demand.
Item {
    id: doorView

    property string name: qsTr("Door") + I18n.localeNotify
    property bool isClosed: true
    // Until the server has reported the door's sensor, its state is not known: shown as such,
    // never as an open (or a closed) door.
    property bool stateKnown: true
    property bool toOpen: true
    property alias buttonOpenClose: button
    // The door's object (its sensor), whose events the tile shows; empty: none.
    property string objectId: ""
    property var alarms: App.alarms !== undefined ? App.alarms : null
    // The newest alarm of the door nobody has acknowledged (the model's roles); empty: none.
    property var openAlarm: ({})
    readonly property bool alarmShown: openAlarm.localId !== undefined
    property int recentCount: 10
    readonly property alias recentPopup: recentPopup

    function refreshAlarm() {
        openAlarm = alarms && objectId !== "" ? alarms.newestOpenAlarm(objectId) : {};
    }

    function showRecent() {
        recentList.model = alarms && objectId !== "" ? alarms.recentEvents(objectId, recentCount) : [];
        recentPopup.open();
    }

    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Door %1").arg(doorView.name) + I18n.localeNotify

    onObjectIdChanged: refreshAlarm()
    onAlarmsChanged: refreshAlarm()
    Component.onCompleted: refreshAlarm()

    Connections {
        target: doorView.alarms

        function onOpenAlarmsChanged() {
            doorView.refreshAlarm();
        }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: G.metrics.spacing

        Image {
            id: picture

            objectName: "doorPicture"
            Layout.fillWidth: true
            Layout.fillHeight: true
            fillMode: Image.PreserveAspectFit
            source: !doorView.stateKnown ? "qrc:/images/door-unknown.png"
                                         : doorView.isClosed ? "qrc:/images/door-closed.png"
                                                             : "qrc:/images/door-opened.png"

            Rectangle {
                anchors.centerIn: caption
                width: caption.width + 2 * G.metrics.spacing
                height: caption.height
                color: G.theme.captionBackground
                opacity: G.theme.captionOpacity
            }

            ELabel {
                id: caption

                objectName: "doorCaption"
                anchors.top: parent.top
                anchors.horizontalCenter: parent.horizontalCenter
                width: Math.min(implicitWidth, parent.width - 2 * G.metrics.spacing)
                elide: Text.ElideRight
                color: G.theme.captionText
                text: doorView.name
            }

            Rectangle {
                anchors.centerIn: unknownLabel
                visible: unknownLabel.visible
                width: unknownLabel.width + 2 * G.metrics.spacing
                height: unknownLabel.height
                color: G.theme.captionBackground
                opacity: G.theme.captionOpacity
            }

            ELabel {
                id: unknownLabel

                objectName: "doorStateUnknown"
                visible: !doorView.stateKnown
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                width: Math.min(implicitWidth, parent.width - 2 * G.metrics.spacing)
                elide: Text.ElideRight
                color: G.theme.captionText
                text: qsTr("State unknown") + I18n.localeNotify
            }
        }

        // Red over the picture's foot until someone acknowledges it.
        Rectangle {
            objectName: "doorAlarm"
            Layout.fillWidth: true
            Layout.preferredHeight: doorAlarmText.implicitHeight + G.metrics.spacing
            visible: doorView.alarmShown
            color: G.theme.alarmMark
            Accessible.role: Accessible.StaticText
            Accessible.name: doorAlarmText.text

            ELabel {
                id: doorAlarmText

                objectName: "doorAlarmText"
                anchors.fill: parent
                anchors.leftMargin: G.metrics.spacing
                anchors.rightMargin: G.metrics.spacing
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
                font.bold: true
                color: G.theme.alarmMarkText
                text: doorView.alarmShown ? doorView.openAlarm.timeText + "  " + doorView.openAlarm.title : ""
            }
        }

        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: G.metrics.spacing

            EButton {
                id: button

                objectName: "doorButton"
                flat: true
                accessibleName: (doorView.toOpen ? qsTr("Open %1") : qsTr("Close %1")).arg(doorView.name)
                                + I18n.localeNotify
                text: doorView.toOpen ? qsTr("Open") + I18n.localeNotify : qsTr("Close") + I18n.localeNotify
            }

            EButton {
                objectName: "doorEventsButton"
                flat: true
                visible: doorView.alarms !== null && doorView.objectId !== ""
                text: qsTr("Events") + I18n.localeNotify
                accessibleName: qsTr("Last events of %1").arg(doorView.name) + I18n.localeNotify
                onClicked: doorView.showRecent()
            }
        }
    }

    Popup {
        id: recentPopup

        objectName: "doorEventsPopup"
        x: G.metrics.spacing
        y: G.metrics.spacing
        width: Math.max(doorView.width - 2 * G.metrics.spacing, G.metrics.alarmPanelWidth / 2)
        height: Math.min(doorView.height - 2 * G.metrics.spacing, recentList.contentHeight + topPadding + bottomPadding)

        background: Rectangle {
            color: G.theme.alarmPanelBackground
        }

        ListView {
            id: recentList

            objectName: "doorEventsList"
            anchors.fill: parent
            clip: true
            Accessible.role: Accessible.List
            Accessible.name: qsTr("Last events of %1").arg(doorView.name) + I18n.localeNotify

            header: ELabel {
                visible: recentList.count === 0
                height: visible ? implicitHeight : 0
                text: qsTr("No events yet") + I18n.localeNotify
            }

            delegate: ELabel {
                objectName: "doorEventRow"
                width: recentList.width
                elide: Text.ElideRight
                textFormat: Text.PlainText
                text: modelData.timeText + "  " + modelData.title
                Accessible.role: Accessible.ListItem
                Accessible.name: text
            }
        }
    }
}
