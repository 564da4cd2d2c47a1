import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// An export of several cameras as it goes: one row per camera (its name, its progress and what
// became of it) and one Cancel for them all.
ColumnLayout {
    id: root

    property MultiCameraExporter exporter: null
    property real maxListHeight: 240

    function stateText(state, error) {
        switch (state) {
        case ExportCameraModel.Waiting:
            return qsTr("Waiting") + I18n.localeNotify;
        case ExportCameraModel.Exporting:
            return qsTr("Exporting") + I18n.localeNotify;
        case ExportCameraModel.Done:
            return qsTr("Done") + I18n.localeNotify;
        case ExportCameraModel.Failed:
            return qsTr("Failed: %1").arg(error) + I18n.localeNotify;
        case ExportCameraModel.NoRecording:
            return qsTr("Nothing recorded") + I18n.localeNotify;
        case ExportCameraModel.Cancelled:
            return qsTr("Cancelled") + I18n.localeNotify;
        }
        return "";
    }

    objectName: "multiExportProgress"
    spacing: G.metrics.spacing
    visible: root.exporter !== null && root.exporter.cameras.count > 0

    ListView {
        id: list

        objectName: "multiExportList"
        Layout.fillWidth: true
        Layout.preferredHeight: Math.min(contentHeight, root.maxListHeight)
        clip: true
        model: root.exporter ? root.exporter.cameras : null
        Accessible.role: Accessible.List
        Accessible.name: qsTr("Export of the cameras") + I18n.localeNotify

        ScrollBar.vertical: ScrollBar {}

        delegate: RowLayout {
            id: row

            readonly property string stateLine: root.stateText(model.state, model.error)

            objectName: "multiExportRow"
            width: list.width
            spacing: G.metrics.spacing
            Accessible.role: Accessible.ListItem
            Accessible.name: model.camera + ": " + row.stateLine

            ELabel {
                objectName: "multiExportCamera"
                Layout.preferredWidth: list.width / 4
                elide: Text.ElideRight
                text: model.camera
            }

            ProgressBar {
                objectName: "multiExportCameraProgress"
                Layout.fillWidth: true
                value: model.progress
                Accessible.role: Accessible.ProgressBar
                Accessible.name: qsTr("Export progress of %1").arg(model.camera) + I18n.localeNotify
            }

            ELabel {
                objectName: "multiExportState"
                Layout.preferredWidth: list.width / 3
                elide: Text.ElideRight
                color: model.state === ExportCameraModel.Failed ? G.theme.alertText : G.theme.foreColor
                text: row.stateLine
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: G.metrics.spacing

        ProgressBar {
            objectName: "multiExportProgressAll"
            Layout.fillWidth: true
            value: root.exporter ? root.exporter.progress : 0
            Accessible.role: Accessible.ProgressBar
            Accessible.name: qsTr("Export progress") + I18n.localeNotify
        }

        EButton {
            objectName: "multiExportCancel"
            enabled: root.exporter !== null && root.exporter.busy
            text: qsTr("Cancel") + I18n.localeNotify
            accessibleName: qsTr("Cancel the export of every camera") + I18n.localeNotify
            onClicked: root.exporter.cancel()
        }
    }
}
