import QtQuick 2.15
import Config 1.0

// A mouse area whose single click waits for the double-click delay, so that a double click
// never also counts as a click.
Item {
    id: root

    readonly property alias containsMouse: area.containsMouse
    readonly property alias containsPress: area.pressed
    property alias cursorShape: area.cursorShape
    // Off by default, so that the areas of buttons and lists behave as they always did: with
    // drags on, a press that moves further than dragThreshold is a drag and no click; with the
    // wheel on, the area takes the wheel instead of whatever lies below.
    property bool dragEnabled: false
    property bool wheelEnabled: false
    property real dragThreshold: G.metrics.dragThreshold
    readonly property bool dragging: area.dragging

    signal entered()
    signal exited()
    signal pressed()
    signal released()
    signal clicked()
    signal doubleClicked()
    // Where a drag has moved to, once it is one; and the wheel, where it turned.
    signal dragMoved(real dx, real dy)
    signal wheelTurned(real x, real y, real angleDelta)

    MouseArea {
        id: area

        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        property bool dragging: false
        property point last

        onEntered: root.entered()
        onExited: root.exited()
        onPressed: {
            dragging = false;
            last = Qt.point(mouse.x, mouse.y);
            root.pressed();
        }
        onPositionChanged: {
            if (!pressed || !root.dragEnabled)
                return;
            if (!dragging && Math.abs(mouse.x - last.x) + Math.abs(mouse.y - last.y) < root.dragThreshold)
                return;
            dragging = true;
            root.dragMoved(mouse.x - last.x, mouse.y - last.y);
            last = Qt.point(mouse.x, mouse.y);
        }
        onReleased: root.released()
        onClicked: {
            if (!dragging)
                clickTimer.restart();
        }
        onWheel: {
            if (!root.wheelEnabled) {
                wheel.accepted = false;
                return;
            }
            root.wheelTurned(wheel.x, wheel.y, wheel.angleDelta.y);
        }
        onDoubleClicked: {
            clickTimer.stop();
            root.doubleClicked();
        }
    }

    Timer {
        id: clickTimer

        interval: G.timings.clickDelay
        repeat: false
        onTriggered: root.clicked()
    }
}
