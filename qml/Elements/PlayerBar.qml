import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The recorded player's controls: play and pause, steps, speed, the position and a snapshot.
RowLayout {
    id: root

    property RecordedSession session: null
    // The recorded player's own object.
    property MpvObject mpvObject: null
    // Cameras in step: the controls drive them all through their clock.
    property CameraSync sync: null
    readonly property bool synced: sync !== null

    // The picture of the moment shown.
    signal snapshotRequested()

    objectName: "playerControls"
    spacing: G.metrics.spacing
    enabled: synced ? sync.positionMs >= 0 : session !== null && mpvObject !== null && session.positionMs >= 0

    // The keys change the speed too, and a choice in the box ends the box's own binding.
    Connections {
        target: root.synced ? root.sync : root.session

        function onSpeedChanged() {
            speedBox.currentIndex = root.synced ? root.sync.speedIndex() : root.session.speedIndex();
        }
    }

    EButton {
        objectName: "playPauseButton"
        Accessible.name: text
        // The player's keys stay with the page.
        focusPolicy: Qt.NoFocus
        text: ((root.synced ? root.sync.paused : root.mpvObject && root.mpvObject.paused) ? qsTr("Play") : qsTr("Pause"))
              + I18n.localeNotify
        onClicked: {
            if (root.synced)
                root.sync.togglePause();
            else
                root.mpvObject.paused = !root.mpvObject.paused;
        }
    }

    EButton {
        objectName: "backButton"
        focusPolicy: Qt.NoFocus
        accessibleName: qsTr("Back 5 seconds") + I18n.localeNotify
        text: qsTr("-5 s") + I18n.localeNotify
        onClicked: root.synced ? root.sync.step(-G.recorded.stepMs) : root.session.step(-G.recorded.stepMs)
    }

    EButton {
        objectName: "frameBackButton"
        Accessible.name: text
        focusPolicy: Qt.NoFocus
        text: qsTr("Frame back") + I18n.localeNotify
        onClicked: root.synced ? root.sync.frameStep(false) : root.session.frameStep(false)
    }

    EButton {
        objectName: "frameForwardButton"
        Accessible.name: text
        focusPolicy: Qt.NoFocus
        text: qsTr("Frame forward") + I18n.localeNotify
        onClicked: root.synced ? root.sync.frameStep(true) : root.session.frameStep(true)
    }

    EButton {
        objectName: "forwardButton"
        focusPolicy: Qt.NoFocus
        accessibleName: qsTr("Forward 5 seconds") + I18n.localeNotify
        text: qsTr("+5 s") + I18n.localeNotify
        onClicked: root.synced ? root.sync.step(G.recorded.stepMs) : root.session.step(G.recorded.stepMs)
    }

    ComboBox {
        id: speedBox

        objectName: "speedBox"
        focusPolicy: Qt.NoFocus
        Accessible.role: Accessible.ComboBox
        Accessible.name: qsTr("Speed") + I18n.localeNotify
        model: G.recorded.speeds.map(function (speed) { return speed + "\u00D7"; })
        currentIndex: root.synced ? root.sync.speedIndex() : root.session ? root.session.speedIndex() : 0
        onActivated: function (index) {
            if (root.synced)
                root.sync.speed = G.recorded.speeds[index];
            else
                root.session.speed = G.recorded.speeds[index];
        }
    }

    Slider {
        id: positionSlider

        objectName: "positionSlider"
        focusPolicy: Qt.NoFocus
        Accessible.role: Accessible.Slider
        Accessible.name: qsTr("Position in the chunk") + I18n.localeNotify
        Layout.fillWidth: true
        // In step there is one time bar for every camera, and no chunk of its own.
        visible: !root.synced
        from: 0
        to: Math.max(0.001, root.mpvObject ? root.mpvObject.duration : 0)
        value: pressed ? value : (root.mpvObject ? root.mpvObject.position : 0)
        onMoved: root.mpvObject.command(["seek", String(value), "absolute", "exact"])
    }

    ELabel {
        objectName: "positionLabel"
        color: G.theme.foreColor
        Layout.fillWidth: root.synced
        text: root.synced ? (root.sync.positionMs >= 0 ? Qt.formatDateTime(new Date(root.sync.positionMs),
                                                                           G.recorded.timeFormat) : "")
              : root.session && root.session.positionMs >= 0
              ? Qt.formatDateTime(new Date(root.session.positionMs), G.recorded.timeFormat)
              : ""
    }

    EButton {
        objectName: "recordedSnapshotButton"
        Accessible.name: text
        focusPolicy: Qt.NoFocus
        text: qsTr("Snapshot") + I18n.localeNotify
        onClicked: root.snapshotRequested()
    }
}
