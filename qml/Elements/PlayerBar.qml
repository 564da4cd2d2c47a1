import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The recorded player's controls: play and pause, steps, speed, the position and a snapshot.
RowLayout {
    id: root

    property var page: null

    objectName: "playerControls"
    spacing: G.settings.spacing
    enabled: page !== null && page.positionMs >= 0

    // The keys change the speed too, and a choice in the box ends the box's own binding.
    Connections {
        target: root.page

        function onSpeedChanged() {
            speedBox.currentIndex = root.page.speedIndex();
        }
    }

    EButton {
        objectName: "playPauseButton"
        // The player's keys stay with the page.
        focusPolicy: Qt.NoFocus
        text: (page.mpvObject.paused ? qsTr("Play") : qsTr("Pause")) + I18n.localeNotify
        onClicked: page.togglePause()
    }

    EButton {
        objectName: "backButton"
        focusPolicy: Qt.NoFocus
        text: qsTr("-5 s") + I18n.localeNotify
        onClicked: page.step(-G.settings.recordedStepMs)
    }

    EButton {
        objectName: "frameBackButton"
        focusPolicy: Qt.NoFocus
        text: qsTr("Frame back") + I18n.localeNotify
        onClicked: page.frameStep(false)
    }

    EButton {
        objectName: "frameForwardButton"
        focusPolicy: Qt.NoFocus
        text: qsTr("Frame forward") + I18n.localeNotify
        onClicked: page.frameStep(true)
    }

    EButton {
        objectName: "forwardButton"
        focusPolicy: Qt.NoFocus
        text: qsTr("+5 s") + I18n.localeNotify
        onClicked: page.step(G.settings.recordedStepMs)
    }

    ComboBox {
        id: speedBox

        objectName: "speedBox"
        focusPolicy: Qt.NoFocus
        model: G.settings.recordedSpeeds.map(function (speed) { return speed + "\u00D7"; })
        currentIndex: page.speedIndex()
        onActivated: function (index) {
            page.speed = G.settings.recordedSpeeds[index];
        }
    }

    Slider {
        id: positionSlider

        objectName: "positionSlider"
        focusPolicy: Qt.NoFocus
        Layout.fillWidth: true
        from: 0
        to: Math.max(0.001, page.mpvObject.duration)
        value: pressed ? value : page.mpvObject.position
        onMoved: page.mpvObject.command(["seek", String(value), "absolute", "exact"])
    }

    ELabel {
        objectName: "positionLabel"
        color: G.theme.foreColor
        text: page.positionMs >= 0
              ? Qt.formatDateTime(new Date(page.positionMs), G.settings.recordedTimeFormat)
              : ""
    }

    EButton {
        objectName: "recordedSnapshotButton"
        focusPolicy: Qt.NoFocus
        text: qsTr("Snapshot") + I18n.localeNotify
        onClicked: page.player.takeSnapshot()
    }
}
