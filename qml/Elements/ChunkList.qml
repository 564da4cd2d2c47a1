import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The recorded page's chunks of the day, as a list that follows the chunk being played.
ColumnLayout {
    id: root

    property RecordedSession session: null

    spacing: G.metrics.spacing

    Connections {
        target: root.session

        function onPlayingChunkShown(index) {
            chunkList.positionViewAtIndex(index, ListView.Contain);
        }
    }

    ELabel {
        objectName: "chunksHeading"
        font.bold: true
        text: qsTr("Recorded chunks") + I18n.localeNotify
    }

    ListView {
        id: chunkList

        objectName: "chunkList"
        Layout.fillWidth: true
        Layout.fillHeight: true
        clip: true
        model: root.session.chunks
        // Rows of one height: a day of short chunks scrolls without measuring each.
        reuseItems: true

        ScrollBar.vertical: ScrollBar {}

        delegate: ItemDelegate {
            id: chunkRow

            objectName: "chunkRow"
            width: chunkList.width
            highlighted: String(model.start) === root.session.startTime
                         && String(model.end) === root.session.endTime
            onClicked: root.session.chooseChunk(model.start, model.end)
            Accessible.role: Accessible.ListItem
            Accessible.name: qsTr("Chunk from %1 to %2").arg(Qt.formatDateTime(new Date(Number(model.start)),
                                                                            G.recorded.chunkDateFormat))
                             .arg(Qt.formatDateTime(new Date(Number(model.end)), G.recorded.chunkDateFormat))
                             + I18n.localeNotify

            background: Rectangle {
                color: chunkRow.highlighted ? G.theme.selectedRow : "transparent"
            }

            contentItem: Column {
                ELabel {
                    objectName: "chunkStart"
                    text: qsTr("start: %1").arg(Qt.formatDateTime(new Date(Number(model.start)),
                                                                  G.recorded.chunkDateFormat))
                          + I18n.localeNotify
                }

                ELabel {
                    objectName: "chunkEnd"
                    text: qsTr("end: %1").arg(Qt.formatDateTime(new Date(Number(model.end)),
                                                                G.recorded.chunkDateFormat))
                          + I18n.localeNotify
                }

                ELabel {
                    text: "size: " + model.size
                }
            }
        }
    }
}
