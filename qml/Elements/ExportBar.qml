import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// Export of recorded video: marks on the time bar, the folder, and the export with its progress.
RowLayout {
    id: root

    property RecordedSession session: null
    // Cameras in step: their shared marks, and an export of them all.
    property CameraSync sync: null
    // What exports: the session's exporter, or the one of the cameras in step.
    property QtObject exporter: session ? session.exporter : null
    readonly property QtObject marker: sync !== null ? sync : session
    readonly property bool canExport: sync !== null ? sync.positionMs >= 0 : session.startTime !== ""

    // The export button was pressed: the page starts the export and says how it went.
    signal exportRequested()
    // A bookmark of the playing moment or the marked span (B).
    signal bookmarkRequested()

    objectName: "exportControls"
    spacing: G.metrics.spacing

    EButton {
        objectName: "markButton"
        focusPolicy: Qt.NoFocus
        enabled: root.marker.positionMs >= 0
        text: (root.marker.markA >= 0 && root.marker.markB < 0 ? qsTr("Set end mark") : qsTr("Set start mark"))
              + I18n.localeNotify
        Accessible.name: text
        onClicked: root.marker.setMark()
    }

    EButton {
        objectName: "clearMarksButton"
        focusPolicy: Qt.NoFocus
        enabled: root.marker.markA >= 0
        text: qsTr("Clear marks") + I18n.localeNotify
        Accessible.name: text
        onClicked: root.marker.clearMarks()
    }

    EButton {
        objectName: "bookmarkButton"
        focusPolicy: Qt.NoFocus
        enabled: root.session.positionMs >= 0
        text: qsTr("Bookmark") + I18n.localeNotify
        Accessible.name: text
        onClicked: root.bookmarkRequested()
    }

    ELabel {
        color: G.theme.foreColor
        text: qsTr("Save to:") + I18n.localeNotify
    }

    ETextField {
        id: exportFolder

        objectName: "exportFolder"
        accessibleName: qsTr("Export folder") + I18n.localeNotify
        Layout.fillWidth: true
        text: root.session.exportFolder
        onTextChanged: root.session.exportFolder = text
    }

    EButton {
        objectName: "exportButton"
        enabled: !root.exporter.busy && root.canExport
        text: (root.marker.markA >= 0 && root.marker.markB >= 0 ? qsTr("Export marked") : qsTr("Export chunk"))
              + I18n.localeNotify
        onClicked: root.exportRequested()
    }

    EButton {
        objectName: "cancelExportButton"
        visible: root.exporter.busy
        text: qsTr("Cancel") + I18n.localeNotify
        onClicked: root.exporter.cancel()
    }

    ProgressBar {
        objectName: "exportProgress"
        Accessible.role: Accessible.ProgressBar
        Accessible.name: qsTr("Export progress") + I18n.localeNotify
        visible: root.exporter.busy
        value: root.exporter.progress
    }
}
