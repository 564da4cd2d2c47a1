import QtQuick 2.11
import QtQuick.Window 2.11

Window {
    id: root

    visible: true
    width: 640
    height: 480
    title: qsTr("Client")
    flags: debug ? Qt.Window : (Qt.Window | Qt.FramelessWindowHint)
    color: "darkGray"
}
