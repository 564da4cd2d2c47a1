import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0
import Elements 1.0

// Recorded video: a stream of the current layout, a day of its chunks on a time bar and in a list,
// the chunk that holds a chosen moment fetched from the stream's gateway and played with its POS
// lines in step with the picture, the next chunk fetched ahead and played on, POS search over the
// day, export and snapshots. What the page does is the session's (RecordedSession); the page
// shows it and wires the player and the downloaders to it.
Page {
    id: recordedPage

    readonly property alias session: session
    property alias devId: session.devId
    property alias strmId: session.strmId
    property alias startTime: session.startTime
    property alias endTime: session.endTime
    readonly property alias lstChunks: session.chunks
    readonly property alias spans: session.spans
    readonly property alias downloader: downloader
    readonly property alias prefetcher: prefetcher
    readonly property alias player: player
    readonly property alias chunkPos: session.chunkPos
    readonly property alias dayPos: session.dayPos
    readonly property alias exporter: session.exporter
    readonly property alias timeline: timeline
    // The player's own object, for its position, speed and pause.
    readonly property MpvObject mpvObject: player.playerObject
    // The gateways' HTTP port; tests point it at a simulator.
    property alias gatewayPort: session.gatewayPort
    readonly property alias positionMs: session.positionMs
    property alias markA: session.markA
    property alias markB: session.markB
    property alias markedLine: session.markedLine
    // The moment of the event the page was opened for (ms), marked on the time bar while its
    // stream is chosen; -1: none.
    property real markedMomentMs: -1
    property string markedStreamId: ""
    // Where to play from once the chosen stream's chunks are in; -1: nothing waits.
    property real pendingOpenMs: -1
    // What the last export or snapshot did, for the status line.
    property string statusText: ""
    property bool statusFailed: false

    // Cameras in step: several streams on one clock, in a grid, from the layout or ticked in the
    // list of streams. One stream is the page as it always was.
    readonly property alias cameraSync: cameraSync
    readonly property alias syncGrid: syncGrid
    readonly property bool inStep: syncModel.count > 1
    // Whether the cameras in step are the layout's, in its geometry.
    property bool inStepFromLayout: false
    // The session the lists, the search, the bookmarks and the export bar follow: the chosen
    // camera's in step, else the page's own.
    readonly property RecordedSession activeSession: inStep && syncGrid.selectedSession ? syncGrid.selectedSession
                                                                                          : session
    // The cameras' lanes on the time bar, read again when their days, POS text or bookmarks change.
    readonly property var lanes: {
        var result = [];
        if (!inStep)
            return result;
        for (var i = 0; i < syncGrid.count; ++i) {
            var tile = syncGrid.tileAt(i);
            if (!tile)
                continue;
            var tileSession = tile.session;
            result.push({
                "spans": tileSession.spans,
                "posTimes": tileSession.dayPos.count >= 0 ? tileSession.dayPos.times() : [],
                "bookmarkSpans": tileSession.bookmarks.revision >= 0 ? tileSession.bookmarkSpans() : [],
                "name": tileSession.cameraName
            });
        }
        return result;
    }

    // The layout's cameras, in step and in its geometry (at most as many as can be).
    function playLayoutInStep() {
        var cells = [];
        for (var i = 0; i < layoutCells.count; ++i) {
            var cell = layoutCells.itemAt(i);
            if (cell && cell.isVideo && cell.objectId !== "" && cells.length < cameraSync.maxCameras)
                cells.push({"deviceId": cell.deviceId, "objectId": cell.objectId, "row": cell.row, "col": cell.col,
                            "rowSpan": cell.rowSpan, "colSpan": cell.colSpan});
        }
        if (cells.length < 2) {
            showStatus(qsTr("The layout has fewer than two cameras.") + I18n.localeNotify, true);
            return;
        }
        var from = session.positionMs;
        syncModel.clear();
        inStepFromLayout = true;
        syncGrid.numRows = Math.max(1, App.layoutModel.numRows);
        syncGrid.numCols = Math.max(1, App.layoutModel.numCols);
        enterStep(cells, from);
    }

    function isTicked(objectId) {
        for (var i = 0; i < syncModel.count; ++i)
            if (syncModel.get(i).objectId === objectId)
                return true;
        return false;
    }

    // A stream ticked in the list joins the cameras in step; unticked, it leaves them.
    function setTicked(deviceId, objectId, ticked) {
        var cells = [];
        for (var i = 0; i < syncModel.count; ++i) {
            var row = syncModel.get(i);
            if (row.objectId !== objectId)
                cells.push({"deviceId": row.deviceId, "objectId": row.objectId});
        }
        if (syncModel.count === 0 && session.strmId !== "" && session.strmId !== objectId)
            cells.push({"deviceId": session.devId, "objectId": session.strmId});
        if (ticked) {
            if (cells.length >= cameraSync.maxCameras) {
                showStatus(qsTr("At most %1 cameras play in step.").arg(cameraSync.maxCameras) + I18n.localeNotify, true);
                return;
            }
            cells.push({"deviceId": deviceId, "objectId": objectId});
        }
        var from = inStep ? cameraSync.positionMs : session.positionMs;
        if (cells.length < 2) {
            // One camera left: the page's own player shows it, from the same moment.
            syncModel.clear();
            cameraSync.clear();
            inStepFromLayout = false;
            if (cells.length === 1 && cells[0].objectId !== session.strmId)
                openAt(cells[0].deviceId, cells[0].objectId, from >= 0 ? from : session.dayStart, -1);
            else if (from >= 0)
                session.seekTo(from);
            return;
        }
        // Square as their number allows, in the order they were ticked.
        var cols = Math.ceil(Math.sqrt(cells.length));
        syncGrid.numCols = cols;
        syncGrid.numRows = Math.ceil(cells.length / cols);
        for (var j = 0; j < cells.length; ++j) {
            cells[j].row = Math.floor(j / cols);
            cells[j].col = j % cols;
            cells[j].rowSpan = 1;
            cells[j].colSpan = 1;
        }
        inStepFromLayout = false;
        enterStep(cells, from);
    }

    function enterStep(cells, from) {
        // The page's own player rests while the cameras play in step.
        if (mpvObject)
            mpvObject.paused = true;
        if (syncModel.count === 0) {
            cameraSync.showDay(session.dayStart);
            cameraSync.startFrom(from >= 0 ? from : session.dayStart);
        }
        // Kept tiles keep their sessions; the others come and go.
        for (var i = syncModel.count - 1; i >= 0; --i) {
            var keep = false;
            for (var j = 0; j < cells.length; ++j)
                keep = keep || cells[j].objectId === syncModel.get(i).objectId;
            if (!keep)
                syncModel.remove(i);
        }
        for (var k = 0; k < cells.length; ++k) {
            var at = -1;
            for (var m = 0; m < syncModel.count; ++m)
                if (syncModel.get(m).objectId === cells[k].objectId)
                    at = m;
            if (at >= 0) {
                syncModel.set(at, cells[k]);
            } else {
                syncModel.append(cells[k]);
            }
        }
        syncGrid.filledIndex = -1;
        syncGrid.selectedIndex = Math.min(syncGrid.selectedIndex, syncModel.count - 1);
    }

    function chooseStream(deviceId, objectId) {
        session.chooseStream(deviceId, objectId);
    }

    function parsePOS(jsonText) {
        return session.parsePOS(jsonText);
    }

    function showDay(start) {
        session.showDay(start);
    }

    function seekTo(ms) {
        session.seekTo(ms);
    }

    // Shows a stream at a moment: its day, its chunks, and from `fromMs` once they are in, with
    // `momentMs` marked on the time bar.
    function openAt(deviceId, streamId, fromMs, momentMs) {
        session.showDay(fromMs);
        session.chooseStream(deviceId, streamId);
        // After the choice, which clears the mark of the stream before.
        markedStreamId = session.strmId;
        markedMomentMs = momentMs;
        pendingOpenMs = fromMs;
    }

    function chooseTile(objectId) {
        for (var i = 0; i < syncModel.count; ++i)
            if (syncModel.get(i).objectId === objectId)
                syncGrid.selectedIndex = i;
    }

    // A bookmark plays from its start: in the shown day a seek, else its day is shown first. In
    // step, every camera goes there with the bookmark's.
    function showBookmark(bookmark) {
        if (inStep) {
            chooseTile(bookmark.streamId);
            if (bookmark.start >= cameraSync.dayStart && bookmark.start < cameraSync.dayEnd) {
                cameraSync.seekTo(bookmark.start);
            } else {
                cameraSync.showDay(bookmark.start);
                cameraSync.startFrom(bookmark.start);
            }
            return;
        }
        if (bookmark.start >= session.dayStart && bookmark.start < session.dayEnd) {
            markedStreamId = session.strmId;
            markedMomentMs = bookmark.start;
            session.seekTo(bookmark.start);
        } else {
            openAt(session.devId, bookmark.streamId, bookmark.start, bookmark.start);
        }
    }

    function togglePause() {
        mpvObject.paused = !mpvObject.paused;
    }

    function showStatus(text, failed) {
        statusFailed = failed;
        statusText = text;
    }

    function exportVideo() {
        if (inStep) {
            // One file per camera in one folder, with one manifest.
            if (cameraSync.exportTo(multiExporter, activeSession.exportFolder))
                statusText = "";
            else
                showStatus(qsTr("Export not started: %1").arg(multiExporter.lastError) + I18n.localeNotify, true);
            return;
        }
        switch (session.exportVideo()) {
        case RecordedSession.NothingBetweenMarks:
            showStatus(qsTr("Nothing recorded between the marks.") + I18n.localeNotify, true);
            break;
        case RecordedSession.ExportRefused:
            showStatus(qsTr("Export not started: %1").arg(session.exporter.lastError) + I18n.localeNotify, true);
            break;
        case RecordedSession.ExportStarted:
            statusText = "";
            break;
        }
    }

    objectName: "recordedPage"
    // The player's keys work from the start.
    Component.onCompleted: forceActiveFocus()

    background: Rectangle {
        color: G.theme.pageBackground
    }

    // The player's keys, while the page itself has the focus (text fields keep theirs): space
    // plays and pauses, Left and Right step 5 s, comma and period a frame, minus and plus the
    // speed, 0 sets the picture back to its whole.
    Keys.onPressed: function (event) {
        if (event.modifiers & (Qt.ControlModifier | Qt.AltModifier))
            return;
        if (inStep && handleStepKey(event.key)) {
            event.accepted = true;
            return;
        }
        switch (event.key) {
        case Qt.Key_0:
            player.resetZoom();
            break;
        case Qt.Key_Space:
            togglePause();
            break;
        case Qt.Key_B:
            bookmarkDialog.openNew();
            break;
        case Qt.Key_L:
            playLayoutInStep();
            break;
        case Qt.Key_Left:
        case Qt.Key_Right:
            session.step(event.key === Qt.Key_Left ? -G.recorded.stepMs : G.recorded.stepMs);
            break;
        case Qt.Key_Comma:
        case Qt.Key_Period:
            session.frameStep(event.key === Qt.Key_Period);
            break;
        case Qt.Key_Minus:
            session.changeSpeed(-1);
            break;
        case Qt.Key_Plus:
        case Qt.Key_Equal:
            session.changeSpeed(1);
            break;
        default:
            return;
        }
        event.accepted = true;
    }

    // The keys of the cameras in step: the same as one camera's, for all of them, and Enter to
    // show the chosen one alone (and back).
    function handleStepKey(key) {
        switch (key) {
        case Qt.Key_0:
            if (syncGrid.selectedTile)
                syncGrid.selectedTile.view.resetZoom();
            return true;
        case Qt.Key_Space:
            cameraSync.togglePause();
            return true;
        case Qt.Key_B:
            bookmarkDialog.openNew();
            return true;
        case Qt.Key_L:
            playLayoutInStep();
            return true;
        case Qt.Key_Left:
        case Qt.Key_Right:
            cameraSync.step(key === Qt.Key_Left ? -G.recorded.stepMs : G.recorded.stepMs);
            return true;
        case Qt.Key_Comma:
        case Qt.Key_Period:
            cameraSync.frameStep(key === Qt.Key_Period);
            return true;
        case Qt.Key_Minus:
            cameraSync.changeSpeed(-1);
            return true;
        case Qt.Key_Plus:
        case Qt.Key_Equal:
            cameraSync.changeSpeed(1);
            return true;
        case Qt.Key_Return:
        case Qt.Key_Enter:
            syncGrid.toggleFill(syncGrid.selectedIndex);
            return true;
        case Qt.Key_Escape:
            if (syncGrid.filledIndex < 0)
                return false;
            syncGrid.filledIndex = -1;
            return true;
        }
        return false;
    }

    CameraSync {
        id: cameraSync

        timeline: recordedPage.inStep ? timeline : null
        speeds: G.recorded.speeds
        displayLatencyMs: G.recorded.displayLatencyMs
        displayLatencyGrowthMs: G.recorded.displayLatencyGrowthMs
    }

    ListModel {
        id: syncModel
    }

    MultiCameraExporter {
        id: multiExporter
    }

    Connections {
        target: multiExporter

        function onFinished(folder, failedCameras) {
            if (failedCameras.length === 0)
                recordedPage.showStatus(qsTr("Exported to %1").arg(folder) + I18n.localeNotify, false);
            else
                recordedPage.showStatus(qsTr("Exported to %1; not exported: %2").arg(folder).arg(failedCameras.join(", "))
                                        + I18n.localeNotify, true);
        }

        function onFailed(message) {
            recordedPage.showStatus(qsTr("Export failed: %1").arg(message) + I18n.localeNotify, true);
        }
    }

    // The layout's cells as the page reads them for "in step" (a list model has no get()).
    Repeater {
        id: layoutCells

        model: App.layoutModel

        delegate: Item {
            readonly property bool isVideo: model.type === LayoutModel.Video
            readonly property string deviceId: model.deviceId || ""
            readonly property string objectId: model.objectId || ""
            readonly property int row: model.row
            readonly property int col: model.col
            readonly property int rowSpan: model.rowSpan
            readonly property int colSpan: model.colSpan
        }
    }

    RecordedSession {
        id: session

        client: App.vantorClient
        repository: App.vantorRepository
        timeline: timeline
        downloader: downloader
        prefetcher: prefetcher
        playerPath: mpvObject ? mpvObject.path : ""
        playerPosition: mpvObject ? mpvObject.position : 0
        playerDuration: mpvObject ? mpvObject.duration : 0
        chunkSearchMarginMs: G.recorded.chunkSearchMarginMs
        posQueryTimeoutMs: G.timings.posQueryTimeoutMs
        searchLimit: G.recorded.posSearchLimit
        searchLeadMs: G.recorded.posSearchLeadMs
        speeds: G.recorded.speeds
        chunkPos.leadMs: G.recorded.posLeadMs
        chunkPos.maxLines: G.limits.posMaxQueuedLines
        chunkPos.holdMs: G.timings.posHoldMs
        chunkPos.trimMs: G.timings.posTrimMs
        // Cleared first, so that the same path loads again.
        onPlayRequested: function (file) {
            player.url = "";
            player.url = file;
        }
        onPlayerCommand: function (args) {
            mpvObject.command(args);
        }
        onPosLinesUpdated: function (lines) {
            player.showPosLines(lines);
        }
        onSpeedChanged: mpvObject.speed = speed
    }

    Downloader {
        id: downloader
    }

    Connections {
        target: session

        // Another stream chosen: the event's moment is not on its time bar.
        function onStreamChanged() {
            if (session.strmId !== recordedPage.markedStreamId) {
                recordedPage.markedMomentMs = -1;
                recordedPage.pendingOpenMs = -1;
            }
        }
    }

    Connections {
        target: session.spans

        function onChanged() {
            if (recordedPage.pendingOpenMs < 0 || session.spans.count() === 0)
                return;
            var from = recordedPage.pendingOpenMs;
            recordedPage.pendingOpenMs = -1;
            session.seekTo(from);
        }
    }

    // The next chunk, fetched while this one plays.
    Downloader {
        id: prefetcher
    }

    Connections {
        target: session.exporter

        function onFinished(path) {
            recordedPage.showStatus(qsTr("Exported to %1").arg(path) + I18n.localeNotify, false);
        }

        function onFailed(message) {
            recordedPage.showStatus(qsTr("Export failed: %1").arg(message) + I18n.localeNotify, true);
        }
    }

    HSpliter {
        id: spliter

        anchors.fill: parent

        leftContent: Rectangle {
            anchors.fill: parent
            color: G.theme.pageBackground

            ColumnLayout {
                id: column

                anchors.fill: parent
                anchors.margins: G.metrics.spacing
                spacing: G.metrics.spacing

                RecordedStreams {
                    session: session
                    page: recordedPage
                    Layout.fillWidth: true
                    maxListHeight: column.height / 4
                }

                // The day on the time bar and in the list.
                RecordedDay {
                    session: recordedPage.activeSession
                    Layout.fillWidth: true
                }

                PosSearch {
                    id: posSearch

                    session: recordedPage.activeSession
                    Layout.fillWidth: true
                    maxListHeight: column.height / 4
                }

                // Found by the same search field, by their title and note.
                BookmarkList {
                    session: recordedPage.activeSession
                    searchText: posSearch.text
                    Layout.fillWidth: true
                    maxListHeight: column.height / 5
                    onBookmarkChosen: function (bookmark) {
                        recordedPage.forceActiveFocus();
                        recordedPage.showBookmark(bookmark);
                    }
                    onEditRequested: function (bookmark) {
                        bookmarkDialog.openEdit(bookmark);
                    }
                }

                ChunkList {
                    session: recordedPage.activeSession
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                }

                RowLayout {
                    visible: debug

                    EButton {
                        objectName: "btnDeleteAll"
                        Accessible.name: text
                        text: "Delete all streams"
                        onClicked: session.walkChunks()
                    }
                }
            }
        }

        rightContent: Rectangle {
            anchors.fill: parent
            color: G.theme.pageBackground

            ColumnLayout {
                anchors.fill: parent
                spacing: G.metrics.spacing

                Item {
                    Layout.fillWidth: true
                    Layout.fillHeight: true

                    SyncGrid {
                        id: syncGrid

                        anchors.fill: parent
                        visible: recordedPage.inStep
                        model: syncModel
                        sync: cameraSync
                        gatewayPort: recordedPage.gatewayPort
                    }

                    CameraView {
                        id: player

                        objectName: "player"
                        anchors.fill: parent
                        cameraName: session.cameraName
                        snapshotMomentMs: session.positionMs
                        markedPosLine: session.markedLine
                        loadDelayMs: 0
                        keepsPlayer: true
                        onPressed: recordedPage.forceActiveFocus()
                        // The last frame of the previous chunk must not pass for the one that failed.
                        visible: session.downloadError === "" && !recordedPage.inStep
                        fpsVisible: true
                        // A recording is watched frame by frame: a frame late on screen is still shown.
                        Component.onCompleted: playerObject.setOption("framedrop", "no")
                    }

                    Connections {
                        target: player.playerObject

                        function onFileEnded(reason) {
                            session.handleFileEnded(reason);
                        }

                        function onFileLoaded() {
                            session.handleFileLoaded();
                        }
                    }

                    ChunkMessages {
                        session: session
                        visible: !recordedPage.inStep || recordedPage.statusText !== ""
                        statusText: recordedPage.statusText
                        statusFailed: recordedPage.statusFailed
                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.bottom: parent.bottom
                        anchors.margins: G.metrics.spacing
                    }
                }

                PlayerBar {
                    session: recordedPage.inStep ? recordedPage.activeSession : session
                    mpvObject: recordedPage.inStep && syncGrid.selectedTile ? syncGrid.selectedTile.view.playerObject
                                                                            : recordedPage.mpvObject
                    sync: recordedPage.inStep ? cameraSync : null
                    Layout.fillWidth: true
                    Layout.leftMargin: G.metrics.spacing
                    Layout.rightMargin: G.metrics.spacing
                    onSnapshotRequested: {
                        if (recordedPage.inStep && syncGrid.selectedTile)
                            syncGrid.selectedTile.view.takeSnapshot();
                        else
                            player.takeSnapshot();
                    }
                }

                TimelineBar {
                    id: timeline

                    objectName: "timeline"
                    Layout.fillWidth: true
                    // Taller with a lane per camera, so that each lane can carry its camera's name.
                    Layout.preferredHeight: recordedPage.inStep
                                            ? Math.min(3 * G.metrics.timelineHeight,
                                                       G.metrics.timelineHeight + 12 * recordedPage.lanes.length)
                                            : G.metrics.timelineHeight
                    spans: session.spans
                    posTimes: session.dayPos.count >= 0 ? session.dayPos.times() : []
                    lanes: recordedPage.lanes
                    position: recordedPage.inStep ? cameraSync.positionMs : session.positionMs
                    markA: recordedPage.inStep ? cameraSync.markA : session.markA
                    markB: recordedPage.inStep ? cameraSync.markB : session.markB
                    spanColor: G.theme.timelineSpan
                    gapColor: G.theme.timelineGap
                    posColor: G.theme.timelinePos
                    positionColor: G.theme.timelinePosition
                    markColor: G.theme.timelineMark
                    markedMoment: recordedPage.markedMomentMs
                    markedMomentColor: G.theme.timelineMarkedMoment
                    bookmarkSpans: session.bookmarks.revision >= 0 && session.strmId !== "" ? session.bookmarkSpans() : []
                    bookmarkColor: G.theme.timelineBookmark
                    textColor: G.theme.timelineText
                    onSeekRequested: function (ms) {
                        recordedPage.forceActiveFocus();
                        if (recordedPage.inStep)
                            cameraSync.seekTo(ms);
                        else
                            session.seekTo(ms);
                    }
                }

                // Export: the playing chunk, or what lies between two marks, into one file.
                // Each camera's progress while the cameras in step are exported.
                MultiExportProgress {
                    exporter: multiExporter
                    visible: multiExporter.busy
                    Layout.fillWidth: true
                    Layout.leftMargin: G.metrics.spacing
                    Layout.rightMargin: G.metrics.spacing
                    maxListHeight: 120
                }

                ExportBar {
                    session: recordedPage.activeSession
                    sync: recordedPage.inStep ? cameraSync : null
                    exporter: recordedPage.inStep ? multiExporter : recordedPage.activeSession.exporter
                    Layout.fillWidth: true
                    Layout.leftMargin: G.metrics.spacing
                    Layout.rightMargin: G.metrics.spacing
                    Layout.bottomMargin: G.metrics.spacing
                    onExportRequested: recordedPage.exportVideo()
                    onBookmarkRequested: bookmarkDialog.openNew()
                }
            }
        }
    }

    BookmarkDialog {
        id: bookmarkDialog

        session: recordedPage.activeSession
        onClosed: recordedPage.forceActiveFocus()
    }
}
