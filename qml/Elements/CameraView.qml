import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Window 2.15
// After QtQuick: its Binding, with restoreMode, is QtQml's of 2.15.
import QtQml 2.15
import Native 1.0
import Config 1.0
import Scripts 1.0

// One camera: the video, a fold-out toolbar and the point-of-sale lines over it.
Item {
    id: cameraView

    property string cameraName: ""
    // The camera's main stream; with a sub-stream and its size, the tile plays the smallest of the
    // two that fills it, and the main stream in full view.
    property string url: ""
    property string subUrl: ""
    property string mainSize: ""
    property string subSize: ""
    // What the player plays, and which of the two it is ("main" or "sub").
    readonly property string playUrl: chooser.url
    readonly property string stream: chooser.stream
    readonly property alias streamChooser: chooser
    property bool singleView: false
    // The player exists only while it has something to play: a tile without a stream, beyond
    // the layout's cap or too small to be seen makes no player core and no threads. The recorded
    // page keeps one for the chunks it is given later.
    property bool playAllowed: true
    property bool keepsPlayer: false
    // Why a tile with a stream plays nothing, shown over it with its name; empty: nothing to say.
    property string notPlayedReason: ""
    // What the tile says on hover when it plays nothing.
    readonly property string notPlayedHint: notPlayedReason !== "" ? cameraName + ": " + notPlayedReason : ""
    // A second player, underneath the one shown, for a recorded tile: it opens the next chunk
    // ahead and stands on its first frame, so that the tile goes on into that chunk without the
    // pause of opening it (swapPlayers). The shown one is the view's player.
    property bool keepsStandby: false
    // Decoding threads of each of its players (from the next file on); 0: as many as the player
    // chooses, -1: left as the player has it.
    property int decoderThreads: -1
    property int shownPlayer: 0
    readonly property var backend: shownPlayer === 0 ? playerLoader.item : standbyLoader.item
    readonly property var standbyObject: {
        const other = shownPlayer === 0 ? standbyLoader.item : playerLoader.item;
        return other ? other.mpvObject : null;
    }
    readonly property bool hasPlayer: backend !== null
    readonly property var playerObject: backend ? backend.mpvObject : null
    // Set up for a live camera (setUpLive): every player this view makes gets the same set-up.
    property bool liveMode: false
    property bool fpsVisible: false
    // Lines in arrival order, oldest first; each entry has one field, `label`.
    readonly property alias posLines: posModel
    readonly property int videoWidth: playerObject ? playerObject.dwidth : 0
    readonly property int videoHeight: playerObject ? playerObject.dheight : 0
    readonly property bool videoLoaded: playerObject !== null && playerObject.playlistCount >= 1 && videoWidth > 0
                                        && videoHeight > 0
    readonly property bool toolbarOpen: toolbar.open
    // Live tiles (the player reloads them after an end) are watched for streams that stall.
    readonly property bool watchesSignal: liveMode && hasPlayer && url !== ""
    // True while a watched stream has shown no new frame for G.timings.videoNoSignalMs.
    readonly property bool noSignal: watchesSignal && stallWatch.lost
    // The wait before the next reload of a stalled stream.
    readonly property alias stallReloadDelayMs: stallWatch.reloadDelayMs
    // Reloads of stalled streams so far.
    readonly property alias stallReloads: stallWatch.reloads
    // Live tiles show their own figures while the operator asks for them.
    readonly property bool statsShown: playerObject !== null && playerObject.live && G.view.videoStatsVisible
    // Digital zoom, 1 to maxZoom, and the pan of the zoomed picture: the player's own, so that the
    // picture stays sharp. The pan is in fractions of the zoomed picture's size, as the player's.
    property real zoom: 1.0
    property real panX: 0.0
    property real panY: 0.0
    readonly property real maxZoom: 8.0
    readonly property bool zoomed: zoom > 1.0001
    // Where snapshots go; empty: the user's Pictures folder.
    property string snapshotFolder: ""
    // What the last snapshot did, shown on the tile for a while.
    property string snapshotMessage: ""
    property bool snapshotFailed: false
    // The moment the picture shows (ms since the epoch) for recorded video; -1: live, now.
    property real snapshotMomentMs: -1
    // A POS line to pick out among the others (a search result being looked at).
    property string markedPosLine: ""
    // How long a new URL waits before it loads: live tiles let a layout settle first; recorded
    // video loads at once, so that the next chunk follows without a gap.
    property int loadDelayMs: G.timings.videoLoadDelayMs
    // What showPosLines last showed.
    property var shownPosLines: []
    // The camera's stream has an alarm that nobody has acknowledged yet.
    property bool alarmMarked: false
    // A live tile offers a bookmark of its stream's last moments (bookmarkRequested).
    property bool bookmarkable: false

    // The picture's size at zoom 1, fitted into the tile with its own aspect.
    function fittedVideoSize() {
        if (videoWidth <= 0 || videoHeight <= 0 || width <= 0 || height <= 0)
            return { w: Math.max(1, width), h: Math.max(1, height) };
        var scale = Math.min(width / videoWidth, height / videoHeight);
        return { w: videoWidth * scale, h: videoHeight * scale };
    }

    // Keeps the zoomed picture over the whole of its fitted place: no pan beyond its edges.
    function clampedPan(value, factor) {
        var limit = (factor - 1) / (2 * factor);
        return Math.max(-limit, Math.min(limit, value));
    }

    // Zooms to `factor` keeping the point of the picture under (x, y) in place.
    function zoomAt(x, y, factor) {
        var target = Math.max(1, Math.min(maxZoom, factor));
        var fitted = fittedVideoSize();
        var dx = x - width / 2;
        var dy = y - height / 2;
        // The point under (x, y), as a fraction of the zoomed picture from its centre.
        var ux = dx / (fitted.w * zoom) - panX;
        var uy = dy / (fitted.h * zoom) - panY;
        zoom = target;
        panX = clampedPan(dx / (fitted.w * target) - ux, target);
        panY = clampedPan(dy / (fitted.h * target) - uy, target);
    }

    function panBy(dx, dy) {
        if (!zoomed)
            return;
        var fitted = fittedVideoSize();
        panX = clampedPan(panX + dx / (fitted.w * zoom), zoom);
        panY = clampedPan(panY + dy / (fitted.h * zoom), zoom);
    }

    function resetZoom() {
        zoom = 1.0;
        panX = 0.0;
        panY = 0.0;
    }

    function takeSnapshot() {
        if (!playerObject) {
            snapshotFailed = true;
            snapshotMessage = qsTr("Snapshot not saved: %1").arg(qsTr("no picture yet"));
            snapshotMessageTimer.restart();
            return;
        }
        playerObject.saveSnapshot(cameraName !== "" ? cameraName : qsTr("camera"), snapshotFolder,
                                      snapshotMomentMs);
    }

    // Shows exactly these lines, oldest first, for recorded video whose lines follow its own clock.
    // Lines that stay are kept (the new lines are mostly the old ones less some at the front and
    // plus some at the end), so that only what changed is drawn again.
    function showPosLines(lines) {
        trimTimer.stop();
        var old = shownPosLines;
        if (old.length !== posModel.count) {
            posModel.clear();
            old = [];
        }
        var dropped = 0;
        for (; dropped < old.length; ++dropped) {
            var rest = old.length - dropped;
            if (rest > lines.length)
                continue;
            var fits = true;
            for (var i = 0; i < rest && fits; ++i)
                fits = old[dropped + i] === lines[i];
            if (fits)
                break;
        }
        if (dropped === old.length && old.length === lines.length && dropped === 0)
            return;
        if (dropped > 0)
            posModel.remove(0, dropped);
        for (var j = old.length - dropped; j < lines.length; ++j)
            posModel.append({ label: lines[j] });
        shownPosLines = lines.slice();
    }

    // Sets the player up for a live camera: reloaded after an end, and played live (the player
    // item's own set-up: low latency, no cache, no audio, late frames dropped).
    function setUpLive() {
        liveMode = true;
        applyLive();
    }

    function applyLive() {
        if (!backend)
            return;
        backend.shouldAutoplay = true;
        backend.mpvObject.live = true;
    }

    // A press anywhere on the tile (a click selects it, wherever it is shown).
    signal pressed()
    // The toolbar's bookmark button, pressed now.
    signal bookmarkRequested()

    function appendPos(msg) {
        if (!Utils.isValid(msg))
            return;
        shownPosLines = [];
        var pieces = String(msg).split("\n");
        for (var i = 0; i < pieces.length; ++i)
            posModel.append({ label: pieces[i] });
        var excess = posModel.count - G.limits.posMaxQueuedLines;
        if (excess > 0)
            posModel.remove(0, excess);
        trimTimer.interval = G.timings.posHoldMs;
        trimTimer.restart();
    }

    onPlayUrlChanged: {
        if (playUrl === "" || !hasPlayer)
            return;
        if (!videoLoaded && !pictureHold.running) {
            loadTimer.restart();
            return;
        }
        // A tile that shows a picture changes streams (main and sub-stream) at once, also while it
        // still holds the picture of the stream before: the load delay spares tiles that are only
        // being made, not a picture the operator watches. The picture stays until the new
        // stream's first frame replaces it.
        playerObject.holdPicture = true;
        pictureHold.fileLoaded = false;
        pictureHold.restart();
        loadTimer.stop();
        loadPlayUrl();
    }

    function loadPlayUrl() {
        if (playUrl === "" || !playerObject)
            return;
        // What the site says of the stream's size: the decoder is set up for the tile before the
        // first frame.
        playerObject.expectedVideoSize = stream === "sub" ? subSize : mainSize;
        playerObject.loadFile(playUrl);
        // A new stream gets its full time to show a first frame.
        stallWatch.restart();
    }
    onVideoWidthChanged: console.log("videoWidth:", videoWidth)
    onVideoHeightChanged: console.log("videoHeight:", videoHeight)
    onVideoLoadedChanged: console.log("videoLoaded:", videoLoaded)
    // log2: the player's zoom of 1 is twice the size.
    onZoomChanged: applyZoom()
    onPanXChanged: applyZoom()
    onPanYChanged: applyZoom()

    function applyZoom() {
        for (const player of [playerObject, standbyObject]) {
            if (!player)
                continue;
            player.setProperty("video-zoom", Math.log(zoom) / Math.LN2);
            player.setProperty("video-pan-x", panX);
            player.setProperty("video-pan-y", panY);
        }
    }

    onDecoderThreadsChanged: applyDecoderThreads()

    function applyDecoderThreads() {
        if (decoderThreads < 0)
            return;
        for (const player of [playerObject, standbyObject]) {
            if (player)
                player.setOption("vd-lavc-threads", decoderThreads);
        }
    }

    // The player underneath is shown, and becomes the view's player; the one shown until now is
    // underneath, for the next chunk.
    function swapPlayers() {
        if (!keepsStandby || !standbyObject)
            return;
        shownPlayer = 1 - shownPlayer;
    }

    Loader {
        id: playerLoader

        anchors.fill: parent
        active: cameraView.keepsPlayer || (cameraView.url !== "" && cameraView.playAllowed)
        onLoaded: {
            cameraView.applyDecoderThreads();
            if (cameraView.liveMode)
                cameraView.applyLive();
            if (cameraView.zoomed)
                cameraView.applyZoom();
            if (cameraView.playUrl !== "")
                loadTimer.restart();
        }

        z: cameraView.shownPlayer === 0 ? 0 : -1
        sourceComponent: MpvPlayer {}
    }

    Loader {
        id: standbyLoader

        anchors.fill: parent
        active: cameraView.keepsStandby
        z: cameraView.shownPlayer === 1 ? 0 : -1
        onLoaded: {
            cameraView.applyDecoderThreads();
            if (cameraView.zoomed)
                cameraView.applyZoom();
        }

        sourceComponent: MpvPlayer {}
    }

    // A camera that plays nothing says so, with its name.
    ELabel {
        objectName: "notPlayedText"
        anchors.centerIn: parent
        width: Math.min(implicitWidth, parent.width - 2 * G.metrics.spacing)
        visible: cameraView.url !== "" && !cameraView.hasPlayer && cameraView.notPlayedReason !== ""
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        elide: Text.ElideRight
        maximumLineCount: Math.max(1, Math.floor(cameraView.height / Math.max(1, font.pixelSize * 1.4)))
        color: G.theme.posText
        textFormat: Text.PlainText
        text: cameraView.cameraName + "\n" + cameraView.notPlayedReason
    }

    Rectangle {
        objectName: "noSignalOverlay"
        anchors.fill: parent
        visible: cameraView.noSignal
        color: G.theme.noSignalBackground
        opacity: G.theme.noSignalOpacity
    }

    ELabel {
        objectName: "noSignalText"
        anchors.centerIn: parent
        width: Math.min(implicitWidth, parent.width - 2 * G.metrics.spacing)
        elide: Text.ElideRight
        visible: cameraView.noSignal
        font.bold: true
        color: G.theme.alertText
        text: qsTr("No signal") + I18n.localeNotify
    }

    // A tile too small to read says why on hover.
    MouseArea {
        id: hoverArea

        objectName: "notPlayedHover"
        anchors.fill: parent
        enabled: cameraView.url !== "" && !cameraView.hasPlayer && cameraView.notPlayedReason !== ""
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
        ToolTip.visible: enabled && containsMouse
        ToolTip.text: cameraView.notPlayedHint
    }

    // Tells a stalled stream (no new frame for a while, no end either) and reloads it, waiting
    // twice as long after each attempt, until frames flow.
    StallWatch {
        id: stallWatch

        objectName: "stallWatch"
        watching: cameraView.watchesSignal
        frames: cameraView.playerObject ? cameraView.playerObject.presentedFrames : 0
        // A stream waiting for its turn to open owes no frame yet; its wait starts with the turn.
        // One whose media keeps coming in while the decoder is behind is not lost either: loading
        // it again would only add an opening to a machine that cannot keep up.
        paused: cameraView.playerObject ? cameraView.playerObject.paused || cameraView.playerObject.waitingToOpen
                                          || cameraView.playerObject.backlogged
                                        : false
        // A stream that ended is reloaded by the player itself; loading it here as well would
        // only cut that attempt short.
        reloadHeld: cameraView.backend ? cameraView.backend.reloadPending : false
        source: cameraView.playUrl
        noSignalMs: G.timings.videoNoSignalMs
        reloadFirstMs: G.timings.videoStallReloadFirstMs
        reloadMaxMs: G.timings.videoStallReloadMaxMs
        onReloadRequested: {
            if (cameraView.playerObject)
                cameraView.playerObject.loadFile(cameraView.playUrl);
        }
    }

    // Ends the hold of the old picture: at the new stream's first frame, when it fails, or at the
    // latest when a stream would count as lost.
    Timer {
        id: pictureHold

        property bool fileLoaded: false

        function release() {
            stop();
            if (cameraView.playerObject)
                cameraView.playerObject.holdPicture = false;
        }

        objectName: "pictureHold"
        interval: G.timings.videoNoSignalMs
        repeat: false
        onTriggered: release()
    }

    Connections {
        target: cameraView.playerObject

        function onFileLoaded() {
            pictureHold.fileLoaded = true;
        }

        // The new stream's first frame is out once its playback starts, paused or not. Its
        // position comes earlier, with the file, before there is a frame to draw.
        function onPlaybackRestarted() {
            if (pictureHold.running && pictureHold.fileLoaded)
                pictureHold.release();
        }

        function onFileEnded(reason) {
            if (pictureHold.running && reason === "error")
                pictureHold.release();
        }

        // A main stream that cannot keep up even with its decoder at its last resort gives way to
        // the camera's sub-stream for a while (the chooser says when to try it again).
        function onDecodeLevelChanged() {
            if (cameraView.playerObject.cannotKeepUp && cameraView.stream === "main")
                chooser.reportMainTooSlow();
        }
    }

    // Full view is decoded in full detail, however small the picture is shown.
    Binding {
        target: cameraView.playerObject
        property: "fullView"
        value: cameraView.singleView
        when: cameraView.playerObject !== null
        restoreMode: Binding.RestoreNone
    }

    // The tile itself: a click folds the toolbar out, a double click shows it alone.
    Accessible.role: Accessible.Button
    Accessible.name: qsTr("Camera %1").arg(cameraView.cameraName) + I18n.localeNotify
    Accessible.description: qsTr("Press to show the camera's toolbar") + I18n.localeNotify
    Accessible.onPressAction: toolbar.open = !toolbar.open

    EMouseArea {
        id: mouseArea

        anchors.fill: parent
        dragEnabled: true
        wheelEnabled: true
        onPressed: cameraView.pressed()
        onClicked: toolbar.open = !toolbar.open
        onDoubleClicked: cameraView.singleView = !cameraView.singleView
        // A notch of the wheel zooms by a quarter, around the pointer.
        onWheelTurned: function (x, y, angleDelta) {
            if (angleDelta !== 0)
                cameraView.zoomAt(x, y, cameraView.zoom * Math.pow(1.25, angleDelta / 120));
        }
        onDragMoved: function (dx, dy) {
            cameraView.panBy(dx, dy);
        }
        cursorShape: cameraView.zoomed ? (dragging ? Qt.ClosedHandCursor : Qt.OpenHandCursor) : Qt.ArrowCursor
    }

    Connections {
        target: cameraView.playerObject

        function onSnapshotSaved(path) {
            cameraView.snapshotFailed = false;
            cameraView.snapshotMessage = qsTr("Snapshot saved to %1").arg(path);
            snapshotMessageTimer.restart();
        }

        function onSnapshotFailed(path, reason) {
            cameraView.snapshotFailed = true;
            cameraView.snapshotMessage = qsTr("Snapshot not saved: %1").arg(reason);
            snapshotMessageTimer.restart();
        }
    }

    Timer {
        id: snapshotMessageTimer

        interval: G.timings.snapshotMessageMs
        onTriggered: cameraView.snapshotMessage = ""
    }

    // How far the picture is zoomed in, while it is.
    ELabel {
        objectName: "zoomMark"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: G.metrics.spacing
        visible: cameraView.zoomed
        color: G.theme.posText
        style: Text.Outline
        styleColor: G.theme.posOutline
        leftPadding: 3
        rightPadding: 3
        background: Rectangle {
            color: G.theme.posBacking
        }
        text: cameraView.zoom.toFixed(1) + "×"
    }

    ELabel {
        objectName: "snapshotMessage"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: G.metrics.spacing * 4
        width: Math.min(implicitWidth, parent.width - 2 * G.metrics.spacing)
        elide: Text.ElideMiddle
        visible: cameraView.snapshotMessage !== ""
        color: cameraView.snapshotFailed ? G.theme.alertText : G.theme.posText
        leftPadding: 3
        rightPadding: 3
        background: Rectangle {
            color: G.theme.posBacking
        }
        text: cameraView.snapshotMessage
    }

    // An open alarm: a red frame and a word in the corner, under the toolbar.
    Rectangle {
        objectName: "cameraAlarmMark"
        anchors.fill: parent
        visible: cameraView.alarmMarked
        color: "transparent"
        border.width: G.metrics.selectionFrameWidth * 2
        border.color: G.theme.alarmMark

        ELabel {
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.rightMargin: G.metrics.spacing * 2
            anchors.topMargin: toolbar.height + G.metrics.spacing * 2
            leftPadding: 3
            rightPadding: 3
            font.bold: true
            color: G.theme.alarmMarkText
            text: qsTr("Alarm") + I18n.localeNotify
            background: Rectangle {
                color: G.theme.alarmMark
            }
        }
    }

    Item {
        id: toolbar

        property bool open: false

        objectName: "toolbar"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: open ? toolbarRow.height : 0
        clip: true

        Behavior on height {
            NumberAnimation {
                duration: 500
                easing.type: Easing.OutQuint
            }
        }

        Rectangle {
            anchors.fill: parent
            color: G.theme.toolbar
            opacity: G.theme.toolbarOpacity
        }

        RowLayout {
            id: toolbarRow

            width: parent.width
            spacing: G.metrics.spacing

            ELabel {
                Layout.fillWidth: true
                Layout.leftMargin: G.metrics.spacing
                elide: Text.ElideRight
                text: cameraView.cameraName
            }

            EToolButton {
                objectName: "zoomResetButton"
                Layout.preferredWidth: G.metrics.toolbarIconSize
                Layout.preferredHeight: G.metrics.toolbarIconSize
                visible: cameraView.zoomed
                source: "qrc:/images/zoom-reset.svg"
                accessibleName: qsTr("Show the whole picture") + I18n.localeNotify
                onClicked: cameraView.resetZoom()
            }

            EToolButton {
                objectName: "snapshotButton"
                Layout.preferredWidth: G.metrics.toolbarIconSize
                Layout.preferredHeight: G.metrics.toolbarIconSize
                visible: cameraView.videoLoaded
                source: "qrc:/images/capture.svg"
                accessibleName: qsTr("Save a snapshot") + I18n.localeNotify
                onClicked: cameraView.takeSnapshot()
            }

            EToolButton {
                objectName: "liveBookmarkButton"
                Layout.preferredWidth: G.metrics.toolbarIconSize
                Layout.preferredHeight: G.metrics.toolbarIconSize
                visible: cameraView.bookmarkable
                source: "qrc:/images/bookmark.svg"
                accessibleName: qsTr("Bookmark the last moments") + I18n.localeNotify
                onClicked: cameraView.bookmarkRequested()
            }

            EToolButton {
                objectName: "statsButton"
                Layout.preferredWidth: G.metrics.toolbarIconSize
                Layout.preferredHeight: G.metrics.toolbarIconSize
                visible: cameraView.playerObject !== null && cameraView.playerObject.live
                source: "qrc:/images/info.svg"
                accessibleName: qsTr("Show the video figures") + I18n.localeNotify
                onClicked: G.view.videoStatsVisible = !G.view.videoStatsVisible
            }

            ELabel {
                visible: cameraView.fpsVisible
                text: qsTr("FPS:") + I18n.localeNotify
            }

            ComboBox {
                id: fpsBox

                Layout.preferredHeight: G.metrics.toolbarIconSize
                visible: cameraView.fpsVisible
                flat: true
                model: [15, 20, 25]
                Accessible.role: Accessible.ComboBox
                Accessible.name: qsTr("Frames per second") + I18n.localeNotify
                onCurrentTextChanged: {
                    if (visible && cameraView.playerObject) {
                        cameraView.playerObject.setOption("correct-pts", "no");
                        cameraView.playerObject.setOption("fps", currentText);
                    }
                }
            }
        }
    }

    Column {
        objectName: "posOverlay"
        y: toolbarRow.height
        x: G.metrics.spacing

        Repeater {
            model: posModel

            delegate: ELabel {
                objectName: "posLine"
                font.pixelSize: G.metrics.posPixelSize
                visible: index < G.limits.posVisibleLines
                text: model.label
                color: G.theme.posText
                style: Text.Outline
                styleColor: G.theme.posOutline
                leftPadding: 3
                rightPadding: 3
                background: Rectangle {
                    objectName: "posBacking"
                    color: cameraView.markedPosLine !== "" && model.label === cameraView.markedPosLine
                           ? G.theme.posMarkedBacking : G.theme.posBacking
                }
            }
        }
    }

    ListModel {
        id: posModel
    }

    StreamChooser {
        id: chooser

        mainUrl: cameraView.url
        subUrl: cameraView.subUrl
        mainSize: cameraView.mainSize
        subSize: cameraView.subSize
        tileWidth: cameraView.width * Screen.devicePixelRatio
        tileHeight: cameraView.height * Screen.devicePixelRatio
        fullView: cameraView.singleView
    }

    VideoStats {
        objectName: "statsOverlay"
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        anchors.margins: G.metrics.spacing
        width: Math.min(implicitWidth, parent.width - 2 * G.metrics.spacing)
        mpvObject: cameraView.playerObject
        active: cameraView.statsShown
        stream: cameraView.stream
        mainTooSlow: chooser.mainTooSlow
    }

    Timer {
        id: loadTimer

        interval: cameraView.loadDelayMs
        repeat: false
        onTriggered: cameraView.loadPlayUrl()
    }

    // Holds the lines for a while after the last message, then lets them go one by one.
    Timer {
        id: trimTimer

        interval: G.timings.posHoldMs
        repeat: false
        onTriggered: {
            if (posModel.count > 0) {
                posModel.remove(0);
                interval = G.timings.posTrimMs;
                restart();
            } else {
                stop();
            }
        }
    }
}
