import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The recorded page's streams: the current layout's cameras, by their stream objects' names.
ColumnLayout {
    id: root

    // The recorded page's session, whose stream this list chooses.
    property RecordedSession session: null
    // The list's height at most; it grows with its rows up to it.
    property real maxListHeight: 200

    spacing: G.metrics.spacing

    ELabel {
        objectName: "streamsHeading"
        font.bold: true
        text: qsTr("Available streams") + I18n.localeNotify
    }

    // The layout's cells are few; a column keeps the rows of doors and alarms out.
    Flickable {
        id: streamList

        objectName: "streamList"
        Layout.fillWidth: true
        Layout.preferredHeight: Math.min(contentHeight, root.maxListHeight)
        contentWidth: width
        contentHeight: streamColumn.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        ScrollBar.vertical: ScrollBar {}

        Column {
            id: streamColumn

            width: streamList.width

            Repeater {
                model: App.layoutModel

                delegate: ItemDelegate {
                    id: streamRow

                    // Looked up again whenever the server's objects are rebuilt.
                    readonly property var cellObject: root.session.objectsGeneration >= 0
                                                      ? root.session.objectOf(model.objectId) : null

                    objectName: "streamRow"
                    width: streamColumn.width
                    visible: model.type === LayoutModel.Video
                    highlighted: model.objectId === root.session.strmId
                    onClicked: root.session.chooseStream(model.deviceId, model.objectId)
                    Accessible.role: Accessible.ListItem
                    Accessible.name: contentItem.text

                    background: Rectangle {
                        color: streamRow.highlighted ? G.theme.selectedRow : "transparent"
                    }

                    contentItem: ELabel {
                        elide: Text.ElideRight
                        textFormat: Text.PlainText
                        text: streamRow.cellObject ? streamRow.cellObject.name : model.label
                    }
                }
            }
        }
    }
}
