import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// Search over the chosen day's POS receipts: a field and the lines found, each by its time.
ColumnLayout {
    id: root

    property RecordedSession session: null
    // The results' height at most.
    property real maxListHeight: 200
    // What the operator looks for (the bookmarks beside it are found by the same text).
    readonly property alias text: searchField.text

    spacing: G.metrics.spacing

    ETextField {
        id: searchField

        objectName: "posSearchField"
        Layout.fillWidth: true
        placeholderText: qsTr("Search the day's POS text") + I18n.localeNotify
        onTextChanged: root.session.searchText = text
    }

    ListView {
        id: resultList

        objectName: "posResults"
        Layout.fillWidth: true
        Layout.preferredHeight: Math.min(contentHeight, root.maxListHeight)
        visible: searchField.text.trim() !== ""
        clip: true
        model: root.session.searchResults

        ScrollBar.vertical: ScrollBar {}

        header: ELabel {
            objectName: "posResultCount"
            color: G.theme.foreColor
            text: (resultList.count >= G.recorded.posSearchLimit
                   ? qsTr("More than %1 lines found").arg(G.recorded.posSearchLimit)
                   : qsTr("Lines found: %1").arg(resultList.count)) + I18n.localeNotify
        }

        delegate: ItemDelegate {
            id: resultRow

            objectName: "posResultRow"
            width: resultList.width
            highlighted: modelData.line === root.session.markedLine
            onClicked: root.session.showResult(modelData)
            Accessible.role: Accessible.ListItem
            Accessible.name: Qt.formatTime(new Date(modelData.time), "hh:mm:ss") + " " + modelData.line

            background: Rectangle {
                color: resultRow.highlighted ? G.theme.selectedRow : "transparent"
            }

            contentItem: ELabel {
                elide: Text.ElideRight
                textFormat: Text.PlainText
                text: Qt.formatTime(new Date(modelData.time), "hh:mm:ss") + "  " + modelData.line
            }
        }
    }
}
