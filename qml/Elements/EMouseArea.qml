import QtQuick 2.15
import Config 1.0

// A mouse area whose single click waits for the double-click delay, so that a double click
// never also counts as a click.
Item {
    id: root

    readonly property alias containsMouse: area.containsMouse
    readonly property alias containsPress: area.pressed
    property alias cursorShape: area.cursorShape

    signal entered()
    signal exited()
    signal pressed()
    signal released()
    signal clicked()
    signal doubleClicked()

    MouseArea {
        id: area

        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        onEntered: root.entered()
        onExited: root.exited()
        onPressed: root.pressed()
        onReleased: root.released()
        onClicked: clickTimer.restart()
        onDoubleClicked: {
            clickTimer.stop();
            root.doubleClicked();
        }
    }

    Timer {
        id: clickTimer

        interval: G.settings.clickDelay
        repeat: false
        onTriggered: root.clicked()
    }
}
