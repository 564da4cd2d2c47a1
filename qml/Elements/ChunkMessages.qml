import QtQuick 2.15
import QtQuick.Controls 2.15
import Native 1.0
import Config 1.0

// Over the recorded player's picture, at its foot: the chunk's download, why a chunk could not be
// fetched or played, and what the last export did.
Column {
    id: root

    property RecordedSession session: null
    // What the last export did, and whether that was a failure.
    property string statusText: ""
    property bool statusFailed: false

    spacing: G.metrics.spacing

    ProgressBar {
        objectName: "downloadProgress"
        width: parent.width
        visible: root.session.downloading
        indeterminate: root.session.downloadTotal <= 0
        value: root.session.downloadTotal > 0 ? root.session.downloadReceived / root.session.downloadTotal : 0
    }

    ELabel {
        objectName: "downloadError"
        width: parent.width
        visible: root.session.downloadError !== ""
        wrapMode: Text.Wrap
        color: G.theme.alertText
        text: qsTr("The chunk could not be fetched: %1").arg(root.session.downloadError) + I18n.localeNotify

        background: Rectangle {
            color: G.theme.pageBackground
            opacity: G.theme.toolbarOpacity
        }
    }

    ELabel {
        objectName: "statusText"
        width: parent.width
        visible: root.statusText !== ""
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        color: root.statusFailed ? G.theme.alertText : G.theme.foreColor
        text: root.statusText

        background: Rectangle {
            color: G.theme.pageBackground
            opacity: G.theme.toolbarOpacity
        }
    }

    ELabel {
        objectName: "playError"
        width: parent.width
        visible: root.session.playFailed && root.session.downloadError === ""
        wrapMode: Text.Wrap
        color: G.theme.alertText
        text: qsTr("The chunk could not be played: the file is damaged or not a video.") + I18n.localeNotify

        background: Rectangle {
            color: G.theme.pageBackground
            opacity: G.theme.toolbarOpacity
        }
    }
}
