import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// One camera of the recorded page's cameras in step: its own session, downloaders and player,
// kept at the shared clock's moment by the page's CameraSync. It says when its camera has no
// recording at that moment and why a chunk could not be fetched; taken out of step it shows
// controls of its own. A double click (or Enter on the page) fills the page with it.
Item {
    id: tile

    property string deviceId: ""
    property string objectId: ""
    property CameraSync sync: null
    property int gatewayPort: 9554
    property bool selected: false
    readonly property alias session: tileSession
    readonly property alias view: view
    readonly property bool inStep: sync !== null && stepRevision >= 0 && sync.inStep(tileSession)
    // Counts up when the cameras' step changes, for the binding above.
    property int stepRevision: 0
    // The next chunk, opened ahead by the player underneath and standing on its first frame.
    property string standbyFile: ""
    property bool standbyStarted: false
    readonly property bool standbyReady: standbyFile !== "" && standbyStarted && view.standbyObject !== null
                                         && view.standbyObject.path === standbyFile

    // The operator chose the tile (a press), or asked to see it alone (a double click).
    signal chosen()
    signal fillRequested()

    objectName: "syncTile"

    RecordedSession {
        id: tileSession

        client: App.vantorClient
        repository: App.vantorRepository
        downloader: downloader
        prefetcher: prefetcher
        gatewayPort: tile.gatewayPort
        // Apart from the page's own player's files and the other tiles'.
        fileStem: "recorder-step-" + tile.objectId
        playerPath: view.playerObject ? view.playerObject.path : ""
        playerPosition: view.playerObject ? view.playerObject.position : 0
        playerDuration: view.playerObject ? view.playerObject.duration : 0
        chunkSearchMarginMs: G.recorded.chunkSearchMarginMs
        posQueryTimeoutMs: G.timings.posQueryTimeoutMs
        searchLimit: G.recorded.posSearchLimit
        searchLeadMs: G.recorded.posSearchLeadMs
        speeds: G.recorded.speeds
        chunkPos.leadMs: G.recorded.posLeadMs
        chunkPos.maxLines: G.limits.posMaxQueuedLines
        chunkPos.holdMs: G.timings.posHoldMs
        chunkPos.trimMs: G.timings.posTrimMs
        onPlayRequested: function (file) {
            // The chunk the player underneath has opened: shown at once. It reported its load
            // before it was shown, so the session hears of it once it has taken the file.
            if (file !== "" && file === tile.standbyFile && tile.standbyReady) {
                tile.showStandby();
                Qt.callLater(tile.reportShownLoaded, file);
                return;
            }
            // Whatever the player underneath opened, or was about to, is not what plays next now.
            tile.dropStandby();
            // The view's address does not change when the chunk comes in the file it had before
            // (its player may have gone on into a queued one since): the player is told itself.
            if (file !== "" && view.url === file && view.playerObject) {
                view.playerObject.loadFile(file);
                return;
            }
            view.url = file;
        }
        // Sixteen players are moved at every tick: the page must not wait for one that is busy
        // opening or seeking a file.
        onPlayerCommand: function (args) {
            if (view.playerObject)
                view.playerObject.commandAsync(args);
        }
        // The next chunk follows the playing one: the player underneath opens it, paused, and
        // the tile shows it when the clock reaches it (or the playing one ends first), without
        // the pause of opening a file.
        // Opening a file takes the machine's cores for a moment: tiles whose chunks end together
        // open their next ones one after another, not all at once.
        onAppendRequested: function (file) {
            if (!view.standbyObject)
                return;
            tile.standbyFile = file;
            tile.standbyStarted = false;
            const rate = Math.max(1, tile.sync ? tile.sync.speed : 1);
            const staggered = (G.recorded.standbyLoadDelayMs
                               + (parseInt(tile.objectId) || 0) % 8 * G.recorded.standbyLoadStaggerMs) / rate;
            // Still in time for the end of the playing chunk.
            const left = tile.sync && tile.sync.positionMs >= 0
                         ? (Number(tileSession.endTime) - tile.sync.positionMs) / rate : staggered;
            standbyLoadTimer.interval = Math.max(0, Math.min(staggered, left - G.recorded.standbyReadyBeforeMs));
            standbyLoadTimer.restart();
        }
        onQueueDropped: tile.dropStandby()
        onPosLinesUpdated: function (lines) {
            view.showPosLines(lines);
        }
        // Out of step, the tile's own speed box drives its player.
        onSpeedChanged: {
            if (!tile.inStep && view.playerObject)
                view.playerObject.speed = speed;
        }
    }

    Downloader {
        id: downloader
    }

    // The next chunk, fetched while this one plays.
    Downloader {
        id: prefetcher
    }

    Connections {
        target: tile.sync

        function onCamerasChanged() {
            tile.stepRevision++;
        }
    }

    // The player underneath takes over at the speed and pause of the one shown so far, which
    // lets go of its file (a download may go to its name next).
    function showStandby() {
        const shown = view.playerObject;
        const next = view.standbyObject;
        next.commandAsync(["set", "speed", String(shown.speed)]);
        next.commandAsync(["set", "pause", shown.paused ? "yes" : "no"]);
        standbyLoadTimer.stop();
        standbyFile = "";
        standbyStarted = false;
        view.swapPlayers();
        shown.commandAsync(["stop"]);
    }

    function reportShownLoaded(file) {
        if (tileSession.playingFile === file && view.playerObject && view.playerObject.path === file)
            tileSession.handleFileLoaded();
    }

    function dropStandby() {
        if (standbyFile === "")
            return;
        standbyLoadTimer.stop();
        standbyFile = "";
        standbyStarted = false;
        if (view.standbyObject)
            view.standbyObject.commandAsync(["stop"]);
    }

    Timer {
        id: standbyLoadTimer

        repeat: false
        onTriggered: {
            const standby = view.standbyObject;
            if (!standby || tile.standbyFile === "")
                return;
            standby.commandAsync(["set", "pause", "yes"]);
            standby.commandAsync(["loadfile", tile.standbyFile, "replace"]);
        }
    }

    Component.onCompleted: {
        tileSession.chooseStream(deviceId, objectId);
        if (sync)
            sync.addCamera(tileSession);
    }

    Component.onDestruction: {
        if (sync)
            sync.removeCamera(tileSession);
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            CameraView {
                id: view

                objectName: "syncView"
                anchors.fill: parent
                cameraName: tileSession.cameraName
                snapshotMomentMs: tileSession.positionMs
                loadDelayMs: 0
                keepsPlayer: true
                keepsStandby: true
                // Several cameras keep the cores busy already: more threads per decoder would
                // only add a frame of delay each.
                decoderThreads: tile.sync && tile.sync.count > 1 ? 1 : 0
                visible: tileSession.downloadError === "" && !tileSession.noRecording
                onPressed: tile.chosen()
                onSingleViewChanged: {
                    if (singleView) {
                        singleView = false;
                        tile.fillRequested();
                    }
                }
            }

            Connections {
                target: view.playerObject

                function onFileEnded(reason) {
                    // In step the next chunk, opened underneath, goes on where this one ended.
                    if (reason === "eof" && tile.standbyReady && tile.inStep) {
                        tile.showStandby();
                        tileSession.handleFileLoaded();
                        return;
                    }
                    tileSession.handleFileEnded(reason);
                }

                function onFileLoaded() {
                    tileSession.handleFileLoaded();
                }
            }

            Connections {
                target: view.standbyObject

                function onPlaybackRestarted() {
                    if (tile.standbyFile !== "")
                        tile.standbyStarted = true;
                }
            }

            // Without a picture the tile still answers a press.
            MouseArea {
                anchors.fill: parent
                visible: !view.visible
                onPressed: tile.chosen()
                onDoubleClicked: tile.fillRequested()
            }

            ELabel {
                objectName: "noRecordingLabel"
                anchors.centerIn: parent
                visible: tileSession.noRecording
                color: G.theme.foreColor
                text: qsTr("No recording") + I18n.localeNotify
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            // Which camera this is, over the picture's foot: cameras put their own lines at the top.
            ELabel {
                id: cameraNameLabel

                objectName: "syncCameraName"
                anchors.left: parent.left
                anchors.bottom: parent.bottom
                anchors.margins: G.metrics.spacing
                color: G.theme.foreColor
                textFormat: Text.PlainText
                text: tileSession.cameraName

                background: Rectangle {
                    color: G.theme.pageBackground
                    opacity: G.theme.toolbarOpacity
                }
            }

            ChunkMessages {
                session: tileSession
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: stepButton.top
                anchors.margins: G.metrics.spacing
            }

            EButton {
                id: stepButton

                objectName: "stepButton"
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: G.metrics.spacing
                focusPolicy: Qt.NoFocus
                opacity: tile.selected || !tile.inStep || hovered ? 1 : 0.4
                text: (tile.inStep ? qsTr("Out of step") : qsTr("Back in step")) + I18n.localeNotify
                Accessible.name: text
                onClicked: tile.sync.setInStep(tileSession, !tile.inStep)
            }
        }

        // Out of step, the camera's own controls.
        PlayerBar {
            objectName: "tileControls"
            visible: !tile.inStep
            session: tileSession
            mpvObject: view.playerObject
            Layout.fillWidth: true
            onSnapshotRequested: view.takeSnapshot()
        }
    }

    Rectangle {
        anchors.fill: parent
        color: "transparent"
        border.width: tile.selected ? 2 : 0
        border.color: G.theme.selectedRow
    }
}
