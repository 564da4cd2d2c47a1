import QtQuick 2.15
import Native 1.0
import Config 1.0

// Two panes one above the other; the handle is dragged freely and the top pane follows on release.
Item {
    id: spliter

    property alias topContent: topPane.data
    property alias bottomContent: bottomPane.data
    // Where the handle was last dropped; the top pane's height animates towards it.
    property real splitPosition: G.metrics.spliterStartSize
    property real paneSize: splitPosition

    Behavior on paneSize {
        NumberAnimation {
            duration: G.timings.spliterAnimationMs
            easing.type: Easing.OutExpo
        }
    }

    Item {
        id: topPane

        objectName: "topPane"
        width: spliter.width
        height: spliter.paneSize
        clip: true
    }

    Rectangle {
        id: handle

        objectName: "handle"
        y: spliter.splitPosition
        width: spliter.width
        height: G.metrics.spliterHandleSize
        color: G.theme.spliterHandle
        Accessible.role: Accessible.Separator
        Accessible.name: qsTr("Pane divider") + I18n.localeNotify

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.SplitVCursor
            drag.target: handle
            drag.axis: Drag.YAxis
            drag.minimumY: 0
            drag.maximumY: Math.max(0, spliter.height - handle.height)
            onReleased: spliter.splitPosition = handle.y
        }
    }

    Item {
        id: bottomPane

        objectName: "bottomPane"
        y: topPane.height + handle.height
        width: spliter.width
        height: Math.max(0, spliter.height - y)
        clip: true
    }
}
