import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// A bookmark's title and note: a new one of the recorded page's playing moment (or marked span),
// a new one of a span given with its stream (a live tile's), or one to change. It closes once the
// server stored it; a refused write says why and keeps the text.
Popup {
    id: root

    // The recorded page's session: its bookmarks, and the span of its new ones.
    property RecordedSession session: null
    // Where the bookmarks are written.
    property BookmarkStore store: session ? session.bookmarks : null
    // The bookmark being changed; "" for a new one.
    property string bookmarkId: ""
    // A new bookmark of a given span (openNewOf); "" while the session chooses it.
    property string streamId: ""
    property real startMs: -1
    property real endMs: -1
    // What the new bookmark is of, shown under the heading (a camera's name).
    property string subject: ""
    property string errorText: ""

    function openNew() {
        streamId = "";
        subject = "";
        openBlank();
    }

    // The span is taken now, not when the bookmark is saved.
    function openNewOf(stream, fromMs, toMs, what) {
        streamId = stream;
        startMs = fromMs;
        endMs = toMs;
        subject = what;
        openBlank();
    }

    function openBlank() {
        bookmarkId = "";
        titleField.text = "";
        noteField.text = "";
        errorText = "";
        open();
        titleField.forceActiveFocus();
    }

    function openEdit(bookmark) {
        subject = "";
        bookmarkId = bookmark.bookmarkId;
        titleField.text = bookmark.title;
        noteField.text = bookmark.note;
        errorText = "";
        open();
        titleField.forceActiveFocus();
    }

    function save() {
        if (!root.store)
            return;
        var why = root.store.checkTexts(titleField.text, noteField.text);
        if (why !== "") {
            errorText = qsTr("Not saved: %1").arg(why) + I18n.localeNotify;
            return;
        }
        errorText = "";
        var sent;
        if (bookmarkId !== "")
            sent = root.store.edit(bookmarkId, titleField.text, noteField.text);
        else if (streamId !== "")
            sent = root.store.add(streamId, startMs, endMs, titleField.text, noteField.text);
        else
            sent = root.session !== null && root.session.addBookmark(titleField.text, noteField.text);
        if (!sent)
            errorText = qsTr("Not saved: nothing is playing") + I18n.localeNotify;
    }

    objectName: "bookmarkDialog"
    modal: true
    focus: true
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 40 : 400, 420)
    closePolicy: Popup.CloseOnEscape

    Connections {
        target: root.store

        function onSaved(id) {
            if (root.opened)
                root.close();
        }

        function onWriteFailed(id, message) {
            if (root.opened)
                root.errorText = qsTr("The server did not save it: %1").arg(message) + I18n.localeNotify;
        }
    }

    background: Rectangle {
        color: G.theme.pageBackground
        border.color: G.theme.foreColor
    }

    contentItem: ColumnLayout {
        spacing: G.metrics.spacing

        ELabel {
            color: G.theme.foreColor
            font.bold: true
            text: (root.bookmarkId === "" ? qsTr("New bookmark") : qsTr("Change bookmark")) + I18n.localeNotify
        }

        ELabel {
            objectName: "bookmarkSubject"
            Layout.fillWidth: true
            visible: root.subject !== ""
            elide: Text.ElideRight
            text: root.subject
        }

        ETextField {
            id: titleField

            objectName: "bookmarkTitle"
            Layout.fillWidth: true
            placeholderText: qsTr("Title") + I18n.localeNotify
            maximumLength: 200
            onAccepted: root.save()
        }

        TextArea {
            id: noteField

            objectName: "bookmarkNote"
            Layout.fillWidth: true
            Layout.preferredHeight: 80
            placeholderText: qsTr("Note (optional)") + I18n.localeNotify
            wrapMode: TextEdit.Wrap
            Accessible.role: Accessible.EditableText
            Accessible.name: qsTr("Note (optional)") + I18n.localeNotify
        }

        ELabel {
            objectName: "bookmarkError"
            Layout.fillWidth: true
            visible: root.errorText !== ""
            color: "tomato"
            wrapMode: Text.Wrap
            text: root.errorText
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight

            EButton {
                objectName: "bookmarkSave"
                enabled: root.store !== null && !root.store.busy
                text: qsTr("Save") + I18n.localeNotify
                onClicked: root.save()
            }

            EButton {
                objectName: "bookmarkCancel"
                text: qsTr("Cancel") + I18n.localeNotify
                onClicked: root.close()
            }
        }
    }
}
