import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// Export of recorded video: marks on the time bar, the folder, and the export with its progress.
RowLayout {
    id: root

    property var page: null

    objectName: "exportControls"
    spacing: G.settings.spacing

    EButton {
        objectName: "markButton"
        focusPolicy: Qt.NoFocus
        enabled: page.positionMs >= 0
        text: (page.markA >= 0 && page.markB < 0 ? qsTr("Set end mark")
                                                                 : qsTr("Set start mark"))
              + I18n.localeNotify
        onClicked: page.setMark()
    }

    EButton {
        objectName: "clearMarksButton"
        focusPolicy: Qt.NoFocus
        enabled: page.markA >= 0
        text: qsTr("Clear marks") + I18n.localeNotify
        onClicked: {
            page.markA = -1;
            page.markB = -1;
        }
    }

    ELabel {
        color: G.theme.foreColor
        text: qsTr("Save to:") + I18n.localeNotify
    }

    ETextField {
        id: exportFolder

        objectName: "exportFolder"
        Layout.fillWidth: true
        text: page.exportFolder
        onTextChanged: page.exportFolder = text
    }

    EButton {
        objectName: "exportButton"
        enabled: !page.exporter.busy && page.startTime !== ""
        text: (page.markA >= 0 && page.markB >= 0 ? qsTr("Export marked")
                                                                  : qsTr("Export chunk"))
              + I18n.localeNotify
        onClicked: page.exportVideo()
    }

    EButton {
        objectName: "cancelExportButton"
        visible: page.exporter.busy
        text: qsTr("Cancel") + I18n.localeNotify
        onClicked: page.exporter.cancel()
    }

    ProgressBar {
        objectName: "exportProgress"
        visible: page.exporter.busy
        value: page.exporter.progress
    }
}
