import QtQuick 2.15
import Native 1.0
import Config 1.0

// Two panes side by side; the handle is dragged freely and the left pane follows on release.
Item {
    id: spliter

    property alias leftContent: leftPane.data
    property alias rightContent: rightPane.data
    // Where the handle was last dropped; the left pane's width animates towards it.
    property real splitPosition: G.metrics.spliterStartSize
    property real paneSize: splitPosition

    Behavior on paneSize {
        NumberAnimation {
            duration: G.timings.spliterAnimationMs
            easing.type: Easing.OutExpo
        }
    }

    Item {
        id: leftPane

        objectName: "leftPane"
        width: spliter.paneSize
        height: spliter.height
        clip: true
    }

    Rectangle {
        id: handle

        objectName: "handle"
        x: spliter.splitPosition
        width: G.metrics.spliterHandleSize
        height: spliter.height
        color: G.theme.spliterHandle
        Accessible.role: Accessible.Separator
        Accessible.name: qsTr("Pane divider") + I18n.localeNotify

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.SplitHCursor
            drag.target: handle
            drag.axis: Drag.XAxis
            drag.minimumX: 0
            drag.maximumX: Math.max(0, spliter.width - handle.width)
            onReleased: spliter.splitPosition = handle.x
        }
    }

    Item {
        id: rightPane

        objectName: "rightPane"
        x: leftPane.width + handle.width
        width: Math.max(0, spliter.width - x)
        height: spliter.height
        clip: true
    }
}
