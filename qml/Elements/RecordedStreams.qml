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
    // The recorded page, which plays the ticked streams in step.
    property var page: null

    spacing: G.metrics.spacing

    RowLayout {
        Layout.fillWidth: true
        spacing: G.metrics.spacing

        ELabel {
            objectName: "streamsHeading"
            font.bold: true
            Layout.fillWidth: true
            text: qsTr("Available streams") + I18n.localeNotify
        }

        EButton {
            objectName: "layoutInStepButton"
            visible: root.page !== null
            focusPolicy: Qt.NoFocus
            text: qsTr("All in step") + I18n.localeNotify
            Accessible.name: qsTr("Play the layout's cameras in step") + I18n.localeNotify
            onClicked: root.page.playLayoutInStep()
        }
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
                    highlighted: model.objectId === (root.page !== null ? root.page.activeSession.strmId
                                                                       : root.session.strmId)
                    onClicked: {
                        // In step, a click chooses the camera's tile; alone, the stream.
                        if (root.page !== null && root.page.inStep && root.page.isTicked(model.objectId))
                            root.page.chooseTile(model.objectId);
                        else
                            root.session.chooseStream(model.deviceId, model.objectId);
                    }
                    Accessible.role: Accessible.ListItem
                    Accessible.name: contentItem.text

                    background: Rectangle {
                        color: streamRow.highlighted ? G.theme.selectedRow : "transparent"
                    }

                    contentItem: RowLayout {
                        // The row's text, as a plain row's label gives it.
                        readonly property string text: streamName.text

                        spacing: G.metrics.spacing

                        // Ticked streams play together, in step.
                        CheckBox {
                            objectName: "streamTick"
                            visible: root.page !== null
                            focusPolicy: Qt.NoFocus
                            // The page says what is ticked; a click only asks it.
                            checkable: false
                            checked: root.page !== null && root.page.syncGrid.count >= 0
                                     && root.page.inStep && root.page.isTicked(model.objectId)
                            Accessible.role: Accessible.CheckBox
                            Accessible.name: qsTr("In step: %1").arg(streamName.text) + I18n.localeNotify
                            onClicked: root.page.setTicked(model.deviceId, model.objectId, !checked)
                        }

                        ELabel {
                            id: streamName

                            Layout.fillWidth: true
                            elide: Text.ElideRight
                            textFormat: Text.PlainText
                            text: streamRow.cellObject ? streamRow.cellObject.name : model.label
                        }
                    }
                }
            }
        }
    }
}
