import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The chosen stream's bookmarks, by start; with a search text, those whose title or note holds it.
ColumnLayout {
    id: root

    property RecordedSession session: null
    property string searchText: ""
    property real maxListHeight: 200

    // A bookmark was chosen: the page plays from its start.
    signal bookmarkChosen(var bookmark)
    signal editRequested(var bookmark)

    function shown() {
        var store = root.session.bookmarks;
        if (root.searchText.trim() !== "")
            return store.search(root.searchText);
        var all = [];
        for (var row = 0; row < store.count; ++row)
            all.push(store.get(row));
        return all;
    }

    spacing: G.metrics.spacing
    visible: root.session.bookmarks.count > 0

    ListView {
        id: list

        objectName: "bookmarkList"
        Layout.fillWidth: true
        Layout.preferredHeight: Math.min(contentHeight, root.maxListHeight)
        clip: true
        // Read again whenever the store changes.
        model: root.session.bookmarks.revision >= 0 ? root.shown() : []

        ScrollBar.vertical: ScrollBar {}

        header: ELabel {
            color: G.theme.foreColor
            font.bold: true
            text: qsTr("Bookmarks: %1").arg(list.count) + I18n.localeNotify
        }

        delegate: ItemDelegate {
            id: row

            objectName: "bookmarkRow"
            width: list.width
            onClicked: root.bookmarkChosen(modelData)
            Accessible.role: Accessible.ListItem
            Accessible.name: Qt.formatDateTime(new Date(modelData.start), "yyyy-MM-dd hh:mm:ss") + " " + modelData.title

            contentItem: RowLayout {
                ELabel {
                    Layout.fillWidth: true
                    elide: Text.ElideRight
                    textFormat: Text.PlainText
                    text: Qt.formatDateTime(new Date(modelData.start), "MM-dd hh:mm:ss") + "  " + modelData.title
                          + (modelData.author !== "" ? "  (" + modelData.author + ")" : "")
                }

                EButton {
                    objectName: "bookmarkEdit"
                    focusPolicy: Qt.NoFocus
                    text: qsTr("Change") + I18n.localeNotify
                    accessibleName: qsTr("Change bookmark") + I18n.localeNotify
                    onClicked: root.editRequested(modelData)
                }

                EButton {
                    objectName: "bookmarkDelete"
                    focusPolicy: Qt.NoFocus
                    text: qsTr("Delete") + I18n.localeNotify
                    accessibleName: qsTr("Delete bookmark") + I18n.localeNotify
                    onClicked: root.session.bookmarks.remove(modelData.bookmarkId)
                }
            }
        }
    }
}
