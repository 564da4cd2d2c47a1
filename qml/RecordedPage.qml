import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0
import Elements 1.0
import Scripts 1.0

// Recorded video: a stream of the current layout, one of its chunks fetched from the stream's
// gateway, played with the chunk's POS lines at their times.
Page {
    id: recordedPage

    property string devId: ""
    property string strmId: ""
    property string startTime: ""
    property string endTime: ""
    readonly property alias lstChunks: chunkModel
    readonly property alias downloader: downloader
    readonly property alias player: player
    readonly property alias tmrPOS: tmrPOS
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


    // The key 0 sets the picture back to its whole, as the toolbar's button does; only while the
    // page itself has the focus, so that text fields keep their keys.
    Keys.onPressed: function (event) {
        if (event.key === Qt.Key_0 && !(event.modifiers & (Qt.ControlModifier | Qt.AltModifier))) {
            player.resetZoom();
            event.accepted = true;
        }
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
        if (strmId === "") {
            console.warn("No stream behind this cell");
            return;
        }
        App.vantorClient.searchChunks(strmId, VantorClient.START, 1, Date.now());
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
        lstChunks.clear();
        for (var j = 0; j < chunks.length; ++j) {
            if (Utils.isValid(chunks[j]))
                lstChunks.append(chunks[j]);
        }
    }

    function chooseChunk(start, end) {
        if (strmId === "")
            return;
        startTime = String(start);
        endTime = String(end);
        downloadError = "";
        playFailed = false;
        // The previous chunk's lines and transfer belong to the previous chunk.
        ++chunkRequest;
        abortPosRequest();
        tmrPOS.stop();
        tmrPOS.posData = [];
        player.posLines.clear();
        downloader.cancel();
        streamInfoPending = true;
        App.vantorClient.getStreamGatewayInfo(devId, strmId);
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
        downloadReceived = 0;
        downloadTotal = -1;
        downloading = true;
        downloader.download();
    }

    function parsePOS(jsonText) {
        var doc = {};
        try {
            doc = JSON.parse(jsonText);
        } catch (error) {
            console.log("Exception:", error);
        }
        if (doc === null || typeof doc !== "object")
            doc = {};
        // Whatever stops here leaves no lines: the previous chunk's must not play over this one.
        var fields = ["from", "to", "arr"];
        for (var f = 0; f < fields.length; ++f) {
            if (!(fields[f] in doc)) {
                console.log("no field `" + fields[f] + "`");
                tmrPOS.posData = [];
                return false;
            }
        }
        var from = Number(doc.from);
        if (!isFinite(from) || !Array.isArray(doc.arr)) {
            console.log("invalid field `from` or `arr`");
            tmrPOS.posData = [];
            return false;
        }

        var list = [];
        for (var i = 0; i < doc.arr.length; ++i) {
            var sub = doc.arr[i];
            if (sub === null || typeof sub !== "object" || !("time" in sub)) {
                console.log("sub don't have `time` field");
                continue;
            }
            if (!("text" in sub)) {
                console.log("sub don't have `text` field");
                continue;
            }
            var time = Number(sub.time);
            if (!isFinite(time)) {
                console.log("sub has an invalid `time` field:", sub.time);
                continue;
            }
            list.push({ time: time - G.settings.posLeadMs, text: String(sub.text), order: list.length });
        }
        // Shown by time even when the gateway lists them otherwise; equal times keep their order.
        list.sort(function (a, b) { return a.time - b.time || a.order - b.order; });
        var entries = list.map(function (entry) { return { time: entry.time, text: entry.text }; });

        console.log("POS size:", entries.length);
        tmrPOS.posData = entries;
        if (entries.length > 0)
            tmrPOS.interval = Math.max(1, entries[0].time - from);
        return true;
    }

    function walkChunks() {
        for (var i = 0; i < lstChunks.count; ++i) {
            var chunk = lstChunks.get(i);
            console.log("Chunk", i, ":", chunk.start, "-", chunk.end);
        }
    }

    objectName: "recordedPage"

    background: Rectangle {
        color: G.theme.pageBackground
    }

    Component.onDestruction: abortPosRequest()

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
            // One answer per chunk choice; a repeated or unasked one starts nothing.
            if (!recordedPage.streamInfoPending)
                return;
            recordedPage.streamInfoPending = false;
            var host = recordedPage.gatewayHost(deviceId, addr);
            console.log("Gateway addr:", host);
            recordedPage.queryPos(host);
        }
    }

    Downloader {
        id: downloader

        onFinished: {
            recordedPage.downloading = false;
            console.log("Playing:", filePath);
            // Cleared first, so that the same path loads again.
            player.url = "";
            player.url = filePath;
            if (tmrPOS.posData.length > 0)
                tmrPOS.restart();
        }
        onFailed: function (message) {
            recordedPage.downloading = false;
            recordedPage.downloadError = message;
            console.warn("Could not fetch the chunk:", message);
            tmrPOS.stop();
            player.url = "";
            // The previous chunk must not go on playing as if it were this one.
            player.backend.mpvObject.command(["stop"]);
        }
        onCancelled: recordedPage.downloading = false
        onProgress: function (received, total) {
            recordedPage.downloadReceived = received;
            recordedPage.downloadTotal = total;
        }
    }

    // Feeds the chunk's POS lines to the player, on wall-clock time from the end of the download.
    Timer {
        id: tmrPOS

        property var posData: []

        interval: G.settings.posFirstDelayMs
        repeat: false
        onTriggered: {
            if (posData.length === 0) {
                stop();
                return;
            }
            var entry = posData[0];
            var rest = posData.slice(1);
            posData = rest;
            player.appendPos(entry.text);
            if (rest.length === 0) {
                stop();
                return;
            }
            interval = Math.max(1, rest[0].time - entry.time);
            console.log("Scheduled show next pos in", interval, "ms");
            start();
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

    ListModel {
        id: chunkModel
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

                ELabel {
                    objectName: "streamsHeading"
                    font.bold: true
                    text: qsTr("Available streams") + I18n.localeNotify
                }

                // The layout's cells are few; a column keeps the rows of doors and alarms out.
                Flickable {
                    id: streamList

                    objectName: "streamList"
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(contentHeight, column.height / 2)
                    contentWidth: width
                    contentHeight: streamColumn.height
                    clip: true
                    boundsBehavior: Flickable.StopAtBounds

                    ScrollBar.vertical: ScrollBar {}

                    Column {
                        id: streamColumn

                        width: streamList.width

                        Repeater {
                            model: App.layoutModel

                            delegate: ItemDelegate {
                                id: streamRow

                                readonly property var cellObject: recordedPage.objectOf(model.objectId,
                                                                                        recordedPage.objectsGeneration)

                                objectName: "streamRow"
                                width: streamColumn.width
                                visible: model.type === LayoutModel.Video
                                highlighted: model.objectId === recordedPage.strmId
                                onClicked: recordedPage.chooseStream(model.deviceId, model.objectId)

                                background: Rectangle {
                                    color: streamRow.highlighted ? G.theme.selectedRow : "transparent"
                                }

                                contentItem: ELabel {
                                    elide: Text.ElideRight
                                    text: streamRow.cellObject ? streamRow.cellObject.name : model.label
                                }
                            }
                        }
                    }
                }

                ELabel {
                    objectName: "chunksHeading"
                    font.bold: true
                    text: qsTr("Recorded chunks") + I18n.localeNotify
                }

                ListView {
                    id: chunkList

                    objectName: "chunkList"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: chunkModel

                    ScrollBar.vertical: ScrollBar {}

                    delegate: ItemDelegate {
                        id: chunkRow

                        objectName: "chunkRow"
                        width: chunkList.width
                        highlighted: String(model.start) === recordedPage.startTime
                                     && String(model.end) === recordedPage.endTime
                        onClicked: recordedPage.chooseChunk(model.start, model.end)

                        background: Rectangle {
                            color: chunkRow.highlighted ? G.theme.selectedRow : "transparent"
                        }

                        contentItem: Column {
                            ELabel {
                                objectName: "chunkStart"
                                text: qsTr("start: %1").arg(Qt.formatDateTime(new Date(Number(model.start)),
                                                                              G.settings.chunkDateFormat))
                                      + I18n.localeNotify
                            }

                            ELabel {
                                objectName: "chunkEnd"
                                text: qsTr("end: %1").arg(Qt.formatDateTime(new Date(Number(model.end)),
                                                                            G.settings.chunkDateFormat))
                                      + I18n.localeNotify
                            }

                            ELabel {
                                text: "size: " + model.size
                            }
                        }
                    }
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

            CameraView {
                id: player

                objectName: "player"
                anchors.fill: parent
                onPressed: recordedPage.forceActiveFocus()
                // The last frame of the previous chunk must not pass for the one that failed.
                visible: recordedPage.downloadError === ""
                fpsVisible: true
                // A recording is watched frame by frame: a frame late on screen is still shown.
                Component.onCompleted: backend.mpvObject.setOption("framedrop", "no")
            }

            Connections {
                target: player.backend.mpvObject

                function onFileEnded(reason) {
                    if (reason === "error" && player.url !== "") {
                        console.warn("The chunk could not be played:", player.url);
                        recordedPage.playFailed = true;
                    }
                }

                function onFileLoaded() {
                    recordedPage.playFailed = false;
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
    }
}
