import QtQuick 2.15
import Config 1.0

Item {
    id: toolButton

    property int padding: G.metrics.toolButtonPadding
    property url source: ""
    // An icon says nothing to assistive tools: every tool button is given a name.
    property string accessibleName: ""

    signal clicked()

    Accessible.role: Accessible.Button
    Accessible.name: accessibleName
    Accessible.focusable: true
    Accessible.onPressAction: toolButton.clicked()

    Image {
        x: toolButton.padding
        y: toolButton.padding
        width: Math.max(0, toolButton.width - 2 * toolButton.padding)
        height: Math.max(0, toolButton.height - 2 * toolButton.padding)
        sourceSize.width: width
        sourceSize.height: height
        source: toolButton.source
        fillMode: Image.PreserveAspectFit
    }

    Rectangle {
        id: overlay

        objectName: "overlay"
        anchors.fill: parent
        color: G.theme.overlay
        visible: mouseArea.containsMouse
        opacity: mouseArea.containsPress ? G.theme.overlayPressedOpacity : G.theme.overlayHoverOpacity
    }

    EMouseArea {
        id: mouseArea

        anchors.fill: parent
        onClicked: toolButton.clicked()
    }
}
