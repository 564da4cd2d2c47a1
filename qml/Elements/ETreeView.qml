import QtQuick 2.15
import QtQuick.Controls 2.15
import Native 1.0
import Config 1.0

// A collapsible tree over a TreeModel: each level is a list, a node with children carries the
// model of the next level and shows it below itself when expanded.
Item {
    id: treeView

    property var model: null
    property int iconSize: G.metrics.treeIconSize
    property color lineColor: G.theme.treeLine

    ListView {
        id: list

        anchors.fill: parent
        clip: true
        model: treeView.model
        delegate: nodeDelegate

        ScrollBar.vertical: ScrollBar {}
    }

    Component {
        id: nodeDelegate

        Column {
            id: node

            readonly property var childModel: model.childItems
            readonly property bool hasChildren: childModel !== null && childModel !== undefined

            width: ListView.view ? ListView.view.width : implicitWidth

            Row {
                spacing: G.metrics.spacing

                Item {
                    width: model.level > 0 ? (expander.width + G.metrics.spacing) * model.level - G.metrics.spacing : 0
                    height: 1
                    visible: model.level > 0
                }

                Item {
                    id: expander

                    width: treeView.iconSize
                    height: treeView.iconSize

                    Image {
                        anchors.centerIn: parent
                        width: treeView.iconSize * 3 / 4
                        height: treeView.iconSize * 3 / 4
                        sourceSize.width: width
                        sourceSize.height: height
                        source: "qrc:/images/triangle.svg"
                        visible: node.hasChildren
                        rotation: model.expanded ? 90 : 0

                        Behavior on rotation {
                            NumberAnimation {
                                duration: G.timings.treeExpandAnimationMs
                                easing.type: Easing.OutQuint
                            }
                        }
                    }

                    MouseArea {
                        anchors.fill: parent
                        enabled: node.hasChildren
                        onClicked: model.expanded = !model.expanded
                    }
                }

                Image {
                    width: treeView.iconSize
                    height: treeView.iconSize
                    sourceSize.width: width
                    sourceSize.height: height
                    source: model.icon
                    visible: model.icon !== ""
                }

                ELabel {
                    text: qsTr(model.label) + I18n.localeNotify
                }
            }

            Loader {
                width: parent.width
                active: model.expanded && node.hasChildren
                sourceComponent: ListView {
                    width: parent ? parent.width : 0
                    height: contentHeight
                    interactive: false
                    model: node.childModel
                    delegate: nodeDelegate
                }
            }
        }
    }
}
