import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0
import Elements 1.0
import Scripts 1.0

// Recorded video: a stream of the current layout, a day of its chunks on a time bar and in a list,
// the chunk that holds a chosen moment fetched from the stream's gateway and played with its POS
// lines in step with the picture, the next chunk fetched ahead and played on, POS search over the
// day, export and snapshots.
Page {
    id: recordedPage

    property string devId: ""
    property string strmId: ""
    property string startTime: ""
    property string endTime: ""
    readonly property alias lstChunks: chunkModel
    readonly property alias spans: spans
    readonly property alias downloader: downloader
    readonly property alias prefetcher: prefetcher
    readonly property alias player: player
    readonly property alias chunkPos: chunkPos
    readonly property alias dayPos: dayPos
    readonly property alias exporter: exporter
    readonly property alias timeline: timeline
    // The player's own object, for its position, speed and pause.
    readonly property MpvObject mpvObject: player.playerObject
    // The gateways' HTTP port; tests point it at a simulator.
    property int gatewayPort: G.settings.gatewayHttpPort
    // Why the last chunk could not be fetched; empty otherwise.
    property string downloadError: ""
    // Set when a fetched chunk would not play (damaged or not a video); cleared by the next chunk.
    property bool playFailed: false
    property bool downloading: false
    property real downloadReceived: 0
    property real downloadTotal: -1
    // Bumped whenever the server's objects are rebuilt, so that rows look their objects up again.
    property int objectsGeneration: 0
    // Answers to superseded requests must not start a download: each chunk choice counts up.
    property int chunkRequest: 0
    property bool streamInfoPending: false
    property var posRequest: null

    // The chosen day, from its local midnight to the next one (a day of 23 or 25 hours when the
    // clocks change).
    property real dayStart: startOfDay(new Date())
    readonly property real dayEnd: startOfDay(new Date(dayStart + 36 * 3600 * 1000))
    // The gateway of the chosen stream, once the server named it; the day's POS text and the chunks
    // played on come from it.
    property string streamHost: ""
    property bool dayInfoPending: false
    property var dayPosRequest: null
    // Where to go in the chunk being fetched once it plays (ms since the epoch); -1: its start.
    property real pendingSeekMs: -1
    // The moment the picture shows, ms since the epoch; -1 while nothing plays.
    readonly property real positionMs: startTime !== "" && playingFile !== "" && mpvObject.path === playingFile
                                       && mpvObject.duration > 0
                                       ? Number(startTime) + Math.round(mpvObject.position * 1000) : -1
    // The next chunk, fetched while this one plays: its times, its POS text and whether it is there.
    property string nextStart: ""
    property string nextEnd: ""
    property string nextPosText: ""
    property bool nextReady: false
    // The chunk ended before the next one was there: it plays as soon as it is.
    property bool advanceWhenReady: false
    // The file the player has; the next download goes to the other one.
    property string playingFile: ""
    // Export marks on the time bar, ms since the epoch; -1: not set.
    property real markA: -1
    property real markB: -1
    // The POS search's results, {time, line, receipt}, and the line being looked at.
    property var searchResults: []
    property string markedLine: ""
    // What the last export or snapshot did, for the status line.
    property string statusText: ""
    // The speed asked for; the player takes it over asynchronously and keeps it from chunk to chunk.
    property real speed: 1
    // What the POS search looks for, and where exports go.
    property string searchText: ""
    property string exportFolder: exporter.defaultFolder()

    // The chunk being played is at this index of the list: the list shows it.
    signal playingChunkShown(int index)
    property bool statusFailed: false
    readonly property string cameraName: {
        var stream = objectOf(strmId, objectsGeneration);
        return stream ? stream.name : "";
    }

    // The player's keys, while the page itself has the focus (text fields keep theirs): space
    // plays and pauses, Left and Right step 5 s, comma and period a frame, minus and plus the
    // speed, 0 sets the picture back to its whole.
    Keys.onPressed: function (event) {
        if (event.modifiers & (Qt.ControlModifier | Qt.AltModifier))
            return;
        switch (event.key) {
        case Qt.Key_0:
            player.resetZoom();
            break;
        case Qt.Key_Space:
            togglePause();
            break;
        case Qt.Key_Left:
            step(-G.settings.recordedStepMs);
            break;
        case Qt.Key_Right:
            step(G.settings.recordedStepMs);
            break;
        case Qt.Key_Comma:
            frameStep(false);
            break;
        case Qt.Key_Period:
            frameStep(true);
            break;
        case Qt.Key_Minus:
            changeSpeed(-1);
            break;
        case Qt.Key_Plus:
        case Qt.Key_Equal:
            changeSpeed(1);
            break;
        default:
            return;
        }
        event.accepted = true;
    }

    function startOfDay(date) {
        return new Date(date.getFullYear(), date.getMonth(), date.getDate()).getTime();
    }

    function objectOf(id, generation) {
        if (!Utils.isValid(id) || id === "" || !Utils.isValid(generation))
            return null;
        return App.vantorRepository.objectById(id);
    }

    function chooseStream(deviceId, objectId) {
        console.log("Clicked: dev(", deviceId, ") strmId(", objectId, ")");
        devId = Utils.isValid(deviceId) ? String(deviceId) : "";
        strmId = Utils.isValid(objectId) ? String(objectId) : "";
        lstChunks.clear();
        abortDayPosRequest();
        dayPos.clear();
        streamHost = "";
        searchResults = [];
        markA = -1;
        markB = -1;
        if (strmId === "") {
            console.warn("No stream behind this cell");
            return;
        }
        searchDay();
        // The day's POS text comes from the stream's gateway, which the server names.
        dayInfoPending = true;
        App.vantorClient.getStreamGatewayInfo(devId, strmId);
    }

    // The chosen stream's chunks of the chosen day: not from the beginning of time, which for a
    // stream of months of short chunks would be hundreds of thousands.
    function searchDay() {
        if (strmId === "")
            return;
        App.vantorClient.searchChunks(strmId, VantorClient.START, dayStart - G.settings.chunkSearchMarginMs,
                                      dayEnd - 1);
    }

    function showDay(start) {
        dayStart = startOfDay(new Date(start));
        timeline.showWholeDay();
        if (strmId === "")
            return;
        lstChunks.clear();
        searchDay();
        if (streamHost !== "")
            queryDayPos(streamHost);
    }

    function showChunks(chunks) {
        if (!Utils.isValid(chunks))
            return;
        // A late answer for the stream chosen before must not fill this stream's list.
        for (var i = 0; i < chunks.length; ++i) {
            if (Utils.isValid(chunks[i]) && Utils.isValid(chunks[i].streamId) && String(chunks[i].streamId) !== strmId) {
                console.log("Dropped the chunks of stream", chunks[i].streamId, "while", strmId, "is chosen");
                return;
            }
        }
        chunkModel.streamId = strmId;
        spans.setChunks(chunks);
        followPlayingChunk();
    }

    // Plays the chunk; `seekMs` is a moment inside it to start from (-1 or absent: its start).
    function chooseChunk(start, end, seekMs) {
        if (strmId === "")
            return;
        startTime = String(start);
        endTime = String(end);
        pendingSeekMs = Utils.isValid(seekMs) ? Number(seekMs) : -1;
        downloadError = "";
        playFailed = false;
        // The previous chunk's lines and transfer belong to the previous chunk.
        ++chunkRequest;
        abortPosRequest();
        chunkPos.clear();
        player.showPosLines([]);
        downloader.cancel();
        forgetNext();
        streamInfoPending = true;
        App.vantorClient.getStreamGatewayInfo(devId, strmId);
        followPlayingChunk();
    }

    // The gateway's own address setting first, then the server's answer, then this machine.
    function gatewayHost(deviceId, addr) {
        var host = "";
        var gateway = objectOf(deviceId, objectsGeneration);
        if (gateway && gateway.settings && gateway.settings.contains("address")) {
            host = usableHost(gateway.settings.prop("address"));
            console.log("GW address from LDAP");
        }
        if (host === "") {
            host = usableHost(addr);
            console.log("GW address from streamInfo result");
        }
        if (host === "") {
            host = "127.0.0.1";
            console.log("GW address from fallback");
        }
        return host;
    }

    // A host name or address for a URL, or "" for anything that would change the URL's meaning.
    function usableHost(text) {
        if (!Utils.isValid(text))
            return "";
        var host = String(text).trim();
        if (host === "" || /^[A-Za-z0-9.-]+$/.test(host) || /^\[[0-9A-Fa-f:.]+\]$/.test(host))
            return host;
        if (/^[0-9A-Fa-f:.]+$/.test(host) && host.indexOf(":") >= 0)
            return "[" + host + "]";
        console.warn("Invalid gateway address:", host);
        return "";
    }

    function gatewayBase(host) {
        return "http://" + host + ":" + gatewayPort;
    }

    function posQueryUrl(host) {
        return gatewayBase(host) + "/pos-data?strmId=" + encodeURIComponent(strmId) + "&from="
                + encodeURIComponent(startTime) + "&to=" + encodeURIComponent(endTime);
    }

    function mediaUrl(host) {
        return gatewayBase(host) + "/" + encodeURIComponent(strmId) + "-" + encodeURIComponent(startTime) + "-"
                + encodeURIComponent(endTime);
    }

    function abortPosRequest() {
        posTimeout.stop();
        var request = posRequest;
        posRequest = null;
        if (request !== null)
            request.abort();
    }

    function queryPos(host) {
        var url = posQueryUrl(host);
        console.log("Querying URL:", url);
        var ticket = chunkRequest;
        var request = new XMLHttpRequest();
        request.onreadystatechange = function () {
            if (request.readyState !== XMLHttpRequest.DONE || ticket !== recordedPage.chunkRequest
                    || request !== recordedPage.posRequest)
                return;
            recordedPage.posRequest = null;
            posTimeout.stop();
            if (request.status === 0)
                console.warn("POS query failed: no answer from", host, "- the chunk plays without POS lines");
            else if (request.status !== 200)
                console.warn("POS query failed: HTTP", request.status, request.statusText,
                             "- the chunk plays without POS lines");
            recordedPage.fetchChunk(host, request.responseText);
        };
        posRequest = request;
        posTimeout.host = host;
        posTimeout.restart();
        request.open("GET", url);
        request.send();
    }

    function fetchChunk(host, posText) {
        console.log("Parsing POS text");
        parsePOS(posText);
        var url = mediaUrl(host);
        console.log("Fetching:", url);
        downloader.cancel();
        downloader.url = url;
        downloader.fileName = freeFileName();
        downloadReceived = 0;
        downloadTotal = -1;
        downloading = true;
        downloader.download();
    }

    // The chunk's receipts; their lines follow the picture's own clock. Whatever is not a complete
    // answer leaves no lines: the previous chunk's must not play over this one.
    function parsePOS(jsonText) {
        var ok = chunkPos.load(Utils.isValid(jsonText) ? String(jsonText) : "");
        console.log("POS size:", chunkPos.count);
        updatePosLines();
        return ok;
    }

    function updatePosLines() {
        player.showPosLines(positionMs >= 0 ? chunkPos.linesAt(positionMs) : []);
    }

    // Two files in turn: the next chunk is fetched into the one the player does not have.
    function freeFileName() {
        return playingFile.slice(-2) === "-a" ? "recorder-b" : "recorder-a";
    }

    function play(file) {
        // Cleared first, so that the same path loads again.
        player.url = "";
        player.url = file;
        playingFile = file;
    }

    // The chunk list and the time bar show the playing chunk.
    function followPlayingChunk() {
        if (startTime === "")
            return;
        var index = spans.indexAt(Number(startTime));
        if (index >= 0)
            playingChunkShown(index);
        var moment = positionMs >= 0 ? positionMs : Number(startTime);
        if (moment < timeline.viewStart || moment >= timeline.viewEnd) {
            var width = timeline.viewEnd - timeline.viewStart;
            timeline.viewStart = moment - width / 2;
            timeline.viewEnd = moment + width / 2;
        }
    }

    // Plays from a moment of the day: in the playing chunk a seek, else the chunk that holds it,
    // else the next recorded one from its start.
    function seekTo(ms) {
        var index = spans.indexAt(ms);
        var chunk = index >= 0 ? spans.chunk(index) : spans.chunk(spans.nextIndex(ms));
        if (chunk.start === undefined) {
            console.log("Nothing recorded at or after", new Date(ms));
            return;
        }
        var target = index >= 0 ? ms : chunk.start;
        if (String(chunk.start) === startTime && String(chunk.end) === endTime && playingFile !== ""
                && !downloading && mpvObject.duration > 0) {
            mpvObject.command(["seek", String((target - chunk.start) / 1000), "absolute", "exact"]);
            return;
        }
        chooseChunk(chunk.start, chunk.end, target);
    }

    function togglePause() {
        mpvObject.paused = !mpvObject.paused;
    }

    function step(deltaMs) {
        if (positionMs < 0)
            return;
        var target = positionMs + deltaMs;
        // Within the chunk the player seeks itself; past its ends the neighbouring chunk plays.
        if (target >= Number(startTime) && target < Number(endTime))
            mpvObject.command(["seek", String(deltaMs / 1000), "relative", "exact"]);
        else
            seekTo(Math.max(dayStart, target));
    }

    function frameStep(forward) {
        mpvObject.command([forward ? "frame-step" : "frame-back-step"]);
    }

    function speedIndex() {
        var speeds = G.settings.recordedSpeeds;
        var best = 0;
        for (var i = 0; i < speeds.length; ++i) {
            if (Math.abs(speeds[i] - speed) < Math.abs(speeds[best] - speed))
                best = i;
        }
        return best;
    }

    function changeSpeed(direction) {
        var speeds = G.settings.recordedSpeeds;
        speed = speeds[Math.max(0, Math.min(speeds.length - 1, speedIndex() + direction))];
    }

    // The chunk after the playing one, fetched ahead with its POS text so that it follows at once.
    function prefetchNext() {
        forgetNext();
        if (startTime === "" || streamHost === "")
            return;
        var index = spans.nextIndex(Number(endTime));
        if (index < 0)
            return;
        var chunk = spans.chunk(index);
        nextStart = String(chunk.start);
        nextEnd = String(chunk.end);
        var ticket = chunkRequest;
        var host = streamHost;
        var url = gatewayBase(host) + "/pos-data?strmId=" + encodeURIComponent(strmId) + "&from="
                + encodeURIComponent(nextStart) + "&to=" + encodeURIComponent(nextEnd);
        var request = new XMLHttpRequest();
        request.onreadystatechange = function () {
            if (request.readyState !== XMLHttpRequest.DONE || ticket !== recordedPage.chunkRequest
                    || recordedPage.nextStart !== String(chunk.start))
                return;
            if (request.status !== 200)
                console.warn("POS query for the next chunk failed: HTTP", request.status,
                             "- it plays without POS lines");
            recordedPage.nextPosText = request.status === 200 ? request.responseText : "";
            prefetcher.cancel();
            prefetcher.url = gatewayBase(host) + "/" + encodeURIComponent(strmId) + "-"
                    + encodeURIComponent(recordedPage.nextStart) + "-" + encodeURIComponent(recordedPage.nextEnd);
            prefetcher.fileName = recordedPage.freeFileName();
            prefetcher.download();
        };
        request.open("GET", url);
        request.send();
    }

    function forgetNext() {
        prefetcher.cancel();
        nextStart = "";
        nextEnd = "";
        nextPosText = "";
        nextReady = false;
        advanceWhenReady = false;
    }

    // The next chunk takes over where the playing one ended.
    function advance() {
        if (!nextReady) {
            advanceWhenReady = nextStart !== "";
            return;
        }
        var file = prefetcher.filePath;
        var posText = nextPosText;
        startTime = nextStart;
        endTime = nextEnd;
        pendingSeekMs = -1;
        nextStart = "";
        nextReady = false;
        advanceWhenReady = false;
        ++chunkRequest;
        chunkPos.load(posText);
        play(file);
        followPlayingChunk();
    }

    function queryDayPos(host) {
        abortDayPosRequest();
        var url = gatewayBase(host) + "/pos-data?strmId=" + encodeURIComponent(strmId) + "&from="
                + encodeURIComponent(String(dayStart)) + "&to=" + encodeURIComponent(String(dayEnd - 1));
        console.log("Querying the day's POS text:", url);
        var stream = strmId;
        var day = dayStart;
        var request = new XMLHttpRequest();
        request.onreadystatechange = function () {
            if (request.readyState !== XMLHttpRequest.DONE || request !== recordedPage.dayPosRequest)
                return;
            recordedPage.dayPosRequest = null;
            if (stream !== recordedPage.strmId || day !== recordedPage.dayStart)
                return;
            if (request.status !== 200) {
                console.warn("The day's POS query failed:", request.status === 0 ? "no answer from " + host
                                                                                 : "HTTP " + request.status);
                recordedPage.dayPos.clear();
            } else {
                recordedPage.dayPos.load(request.responseText);
            }
            recordedPage.search(recordedPage.searchText);
        };
        dayPosRequest = request;
        request.open("GET", url);
        request.send();
    }

    function abortDayPosRequest() {
        var request = dayPosRequest;
        dayPosRequest = null;
        if (request !== null)
            request.abort();
    }

    function search(text) {
        searchResults = dayPos.search(text, G.settings.posSearchLimit);
    }

    // A search result plays from a little before its moment, with its line picked out.
    function showResult(result) {
        markedLine = result.line;
        seekTo(Math.max(dayStart, result.time - G.settings.posSearchLeadMs));
    }

    function setMark() {
        if (positionMs < 0)
            return;
        if (markA < 0 || markB >= 0) {
            markA = positionMs;
            markB = -1;
        } else {
            markB = positionMs;
        }
    }

    // The playing chunk, or every chunk between the two marks, as one file.
    function exportVideo() {
        if (streamHost === "" && startTime === "")
            return;
        var host = streamHost !== "" ? streamHost : "127.0.0.1";
        var urls = [];
        var from = Number(startTime);
        var to = Number(endTime);
        if (markA >= 0 && markB >= 0) {
            from = Math.min(markA, markB);
            to = Math.max(markA, markB);
            var index = spans.indexAt(from);
            if (index < 0)
                index = spans.nextIndex(from);
            for (; index >= 0 && index < spans.count(); ++index) {
                var chunk = spans.chunk(index);
                if (chunk.start >= to)
                    break;
                urls.push(gatewayBase(host) + "/" + encodeURIComponent(strmId) + "-" + chunk.start + "-" + chunk.end);
            }
        } else if (startTime !== "") {
            urls.push(mediaUrl(host));
        }
        if (urls.length === 0) {
            statusFailed = true;
            statusText = qsTr("Nothing recorded between the marks.") + I18n.localeNotify;
            return;
        }
        if (!exporter.start(urls, exportFolder, cameraName, from, to)) {
            statusFailed = true;
            statusText = qsTr("Export not started: %1").arg(exporter.lastError) + I18n.localeNotify;
        } else {
            statusText = "";
        }
    }

    function walkChunks() {
        for (var i = 0; i < lstChunks.count; ++i) {
            var chunk = lstChunks.get(i);
            console.log("Chunk", i, ":", chunk.start, "-", chunk.end);
        }
    }

    objectName: "recordedPage"
    onSpeedChanged: mpvObject.speed = speed
    onSearchTextChanged: search(searchText)
    onPositionMsChanged: {
        updatePosLines();
        if (positionMs >= 0 && (positionMs < timeline.viewStart || positionMs >= timeline.viewEnd))
            followPlayingChunk();
    }

    background: Rectangle {
        color: G.theme.pageBackground
    }

    Component.onDestruction: {
        abortPosRequest();
        abortDayPosRequest();
    }

    Connections {
        target: App.vantorRepository

        function onDataChanged() {
            recordedPage.objectsGeneration++;
        }
    }

    Connections {
        target: App.vantorClient

        function onStreamChunksReceived(chunks) {
            recordedPage.showChunks(chunks);
        }

        function onStreamInfoReceived(deviceId, streamId, token, addr) {
            var host = recordedPage.gatewayHost(deviceId, addr);
            if (recordedPage.dayInfoPending) {
                recordedPage.dayInfoPending = false;
                recordedPage.streamHost = host;
                recordedPage.queryDayPos(host);
            }
            // One answer per chunk choice; a repeated or unasked one starts nothing.
            if (!recordedPage.streamInfoPending)
                return;
            recordedPage.streamInfoPending = false;
            recordedPage.streamHost = host;
            console.log("Gateway addr:", host);
            recordedPage.queryPos(host);
        }
    }

    ChunkSpans {
        id: spans
    }

    ChunkListModel {
        id: chunkModel

        spans: spans
    }

    // The playing chunk's receipts, for the lines over the picture.
    PosTrack {
        id: chunkPos

        leadMs: G.settings.posLeadMs
        maxLines: G.settings.posMaxQueuedLines
        holdMs: G.settings.posHoldMs
        trimMs: G.settings.posTrimMs
    }

    // The whole day's receipts, for the marks on the time bar and the search.
    PosTrack {
        id: dayPos
    }

    Downloader {
        id: downloader

        onFinished: {
            recordedPage.downloading = false;
            console.log("Playing:", filePath);
            recordedPage.play(filePath);
        }
        onFailed: function (message) {
            recordedPage.downloading = false;
            recordedPage.downloadError = message;
            console.warn("Could not fetch the chunk:", message);
            player.url = "";
            recordedPage.playingFile = "";
            // The previous chunk must not go on playing as if it were this one.
            mpvObject.command(["stop"]);
        }
        onCancelled: recordedPage.downloading = false
        onProgress: function (received, total) {
            recordedPage.downloadReceived = received;
            recordedPage.downloadTotal = total;
        }
    }

    Downloader {
        id: prefetcher

        onFinished: {
            recordedPage.nextReady = true;
            if (recordedPage.advanceWhenReady)
                recordedPage.advance();
        }
        onFailed: function (message) {
            console.warn("Could not fetch the next chunk:", message);
            recordedPage.nextStart = "";
            recordedPage.advanceWhenReady = false;
        }
    }

    ChunkExporter {
        id: exporter

        onFinished: function (path) {
            recordedPage.statusFailed = false;
            recordedPage.statusText = qsTr("Exported to %1").arg(path) + I18n.localeNotify;
        }
        onFailed: function (message) {
            recordedPage.statusFailed = true;
            recordedPage.statusText = qsTr("Export failed: %1").arg(message) + I18n.localeNotify;
        }
    }

    Timer {
        id: posTimeout

        property string host: ""

        objectName: "posTimeout"
        interval: G.settings.posQueryTimeoutMs
        repeat: false
        onTriggered: {
            console.warn("POS query failed: no answer in", interval, "ms - the chunk plays without POS lines");
            var host = posTimeout.host;
            recordedPage.abortPosRequest();
            recordedPage.fetchChunk(host, "");
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
                anchors.margins: G.settings.spacing
                spacing: G.settings.spacing

                RecordedStreams {
                    page: recordedPage
                    Layout.fillWidth: true
                    maxListHeight: column.height / 4
                }

                // The day on the time bar and in the list.
                RecordedDay {
                    page: recordedPage
                    Layout.fillWidth: true
                }

                PosSearch {
                    page: recordedPage
                    Layout.fillWidth: true
                    maxListHeight: column.height / 4
                }

                ChunkList {
                    page: recordedPage
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                }

                RowLayout {
                    visible: debug

                    EButton {
                        objectName: "btnDeleteAll"
                        text: "Delete all streams"
                        onClicked: recordedPage.walkChunks()
                    }
                }
            }
        }

        rightContent: Rectangle {
            anchors.fill: parent
            color: G.theme.pageBackground

            ColumnLayout {
                anchors.fill: parent
                spacing: G.settings.spacing

                Item {
                    Layout.fillWidth: true
                    Layout.fillHeight: true

                    CameraView {
                        id: player

                        objectName: "player"
                        anchors.fill: parent
                        cameraName: recordedPage.cameraName
                        snapshotMomentMs: recordedPage.positionMs
                        markedPosLine: recordedPage.markedLine
                        loadDelayMs: 0
                        keepsPlayer: true
                        onPressed: recordedPage.forceActiveFocus()
                        // The last frame of the previous chunk must not pass for the one that failed.
                        visible: recordedPage.downloadError === ""
                        fpsVisible: true
                        // A recording is watched frame by frame: a frame late on screen is still shown.
                        Component.onCompleted: playerObject.setOption("framedrop", "no")
                    }

                    Connections {
                        id: mpvEvents

                        target: player.playerObject

                        function onFileEnded(reason) {
                            if (reason === "error" && player.url !== "") {
                                console.warn("The chunk could not be played:", player.url);
                                recordedPage.playFailed = true;
                            } else if (reason === "eof") {
                                recordedPage.advance();
                            }
                        }

                        function onFileLoaded() {
                            recordedPage.playFailed = false;
                            var seek = recordedPage.pendingSeekMs;
                            recordedPage.pendingSeekMs = -1;
                            if (seek > Number(recordedPage.startTime))
                                mpvObject.command(["seek", String((seek - Number(recordedPage.startTime)) / 1000),
                                                   "absolute", "exact"]);
                            recordedPage.updatePosLines();
                            recordedPage.prefetchNext();
                        }
                    }

                    Column {
                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.bottom: parent.bottom
                        anchors.margins: G.settings.spacing
                        spacing: G.settings.spacing

                        ProgressBar {
                            objectName: "downloadProgress"
                            width: parent.width
                            visible: recordedPage.downloading
                            indeterminate: recordedPage.downloadTotal <= 0
                            value: recordedPage.downloadTotal > 0 ? recordedPage.downloadReceived / recordedPage.downloadTotal : 0
                        }

                        ELabel {
                            objectName: "downloadError"
                            width: parent.width
                            visible: recordedPage.downloadError !== ""
                            wrapMode: Text.Wrap
                            color: G.theme.alertText
                            text: qsTr("The chunk could not be fetched: %1").arg(recordedPage.downloadError) + I18n.localeNotify

                            background: Rectangle {
                                color: G.theme.pageBackground
                                opacity: G.theme.toolbarOpacity
                            }
                        }

                        ELabel {
                            objectName: "statusText"
                            width: parent.width
                            visible: recordedPage.statusText !== ""
                            wrapMode: Text.Wrap
                            textFormat: Text.PlainText
                            color: recordedPage.statusFailed ? G.theme.alertText : G.theme.foreColor
                            text: recordedPage.statusText

                            background: Rectangle {
                                color: G.theme.pageBackground
                                opacity: G.theme.toolbarOpacity
                            }
                        }

                        ELabel {
                            objectName: "playError"
                            width: parent.width
                            visible: recordedPage.playFailed && recordedPage.downloadError === ""
                            wrapMode: Text.Wrap
                            color: G.theme.alertText
                            text: qsTr("The chunk could not be played: the file is damaged or not a video.") + I18n.localeNotify

                            background: Rectangle {
                                color: G.theme.pageBackground
                                opacity: G.theme.toolbarOpacity
                            }
                        }
                    }
                }

                PlayerBar {
                    page: recordedPage
                    Layout.fillWidth: true
                    Layout.leftMargin: G.settings.spacing
                    Layout.rightMargin: G.settings.spacing
                }

                TimelineBar {
                    id: timeline

                    objectName: "timeline"
                    Layout.fillWidth: true
                    Layout.preferredHeight: G.settings.timelineHeight
                    spans: spans
                    posTimes: dayPos.count >= 0 ? dayPos.times() : []
                    dayStart: recordedPage.dayStart
                    dayEnd: recordedPage.dayEnd
                    position: recordedPage.positionMs
                    markA: recordedPage.markA
                    markB: recordedPage.markB
                    spanColor: G.theme.timelineSpan
                    gapColor: G.theme.timelineGap
                    posColor: G.theme.timelinePos
                    positionColor: G.theme.timelinePosition
                    markColor: G.theme.timelineMark
                    textColor: G.theme.timelineText
                    onSeekRequested: function (ms) {
                        recordedPage.forceActiveFocus();
                        recordedPage.seekTo(ms);
                    }
                }

                // Export: the playing chunk, or what lies between two marks, into one file.
                ExportBar {
                    page: recordedPage
                    Layout.fillWidth: true
                    Layout.leftMargin: G.settings.spacing
                    Layout.rightMargin: G.settings.spacing
                    Layout.bottomMargin: G.settings.spacing
                }
            }
        }
    }
}
