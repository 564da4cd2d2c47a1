import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// A door: its picture with the name on top, and the open/close button below.
Item {
    id: doorView

    property string name: qsTr("Door") + I18n.localeNotify
    property bool isClosed: true
    // Until the server has reported the door's sensor, its state is not known: shown as such,
    // never as an open (or a closed) door.
    property bool stateKnown: true
    property bool toOpen: true
    property alias buttonOpenClose: button

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

        EButton {
            id: button

            objectName: "doorButton"
            Layout.alignment: Qt.AlignHCenter
            flat: true
            text: doorView.toOpen ? qsTr("Open") + I18n.localeNotify : qsTr("Close") + I18n.localeNotify
        }
    }
}
