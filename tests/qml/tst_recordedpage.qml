import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import StationTest 1.0

TestCase {
    id: testCase

    property var page: null
    property Component pageComponent: Qt.createComponent("qrc:/qml/RecordedPage.qml")

    name: "RecordedPage"
    width: 800
    height: 600
    visible: true
    when: windowShown

    function createPage() {
        compare(pageComponent.status, Component.Ready, pageComponent.errorString());
        page = createTemporaryObject(pageComponent, testCase, { width: 800, height: 600 });
        verify(page !== null, "the recorded page loads");
        // The rows have their places only once the layouts have run.
        waitForRendering(page);
        return page;
    }

    function itemsNamed(root, name) {
        var found = [];
        for (var i = 0; i < root.children.length; ++i) {
            var child = root.children[i];
            if (child.objectName === name)
                found.push(child);
            found = found.concat(itemsNamed(child, name));
        }
        return found;
    }

    function rows(listName, rowName) {
        var list = findChild(page, listName);
        verify(list !== null, listName + " exists");
        return itemsNamed(list.contentItem, rowName);
    }

    function visibleStreamRows() {
        return rows("streamList", "streamRow").filter(function (row) { return row.visible; });
    }

    function texts(entries) {
        return entries.map(function (entry) { return entry.text; });
    }

    function chunk(stream, start, end) {
        return { streamId: stream, start: start, end: end, size: 600 };
    }

    function initTestCase() {
        verify(App.layoutModel !== null, "the application and its layout grid exist");
        TestStation.addObject({ id: "10", name: "Gateway A", type: VantorObject.Device, cls: "device.GATEWAY",
                                settings: { address: " 127.0.0.5 " } });
        TestStation.addObject({ id: "13", name: "Gateway B", type: VantorObject.Device, cls: "device.GATEWAY",
                                settings: { address: "" } });
        TestStation.addObject({ id: "14", name: "Gateway C", type: VantorObject.Device, cls: "device.GATEWAY" });
        TestStation.addObject({ id: "15", name: "Gateway D", type: VantorObject.Device, cls: "device.GATEWAY",
                                settings: { address: "evil.example/x?" } });
        TestStation.addObject({ id: "11", name: "Entrance camera", type: VantorObject.Stream, cls: "stream" });
        TestStation.addObject({ id: "12", name: "Till camera", type: VantorObject.Stream, cls: "stream" });
        TestStation.announceObjects();
        App.layoutModel.fromJson(JSON.stringify({ numRows: 1, numCols: 3, elements: [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 1", deviceId: "10", objectId: "11" },
            { row: 0, col: 1, rowSpan: 1, colSpan: 1, type: "door", label: "Door", objectId: "20" },
            { row: 0, col: 2, rowSpan: 1, colSpan: 1, type: "video", label: "Cam 2", deviceId: "13", objectId: "12" }
        ] }));
    }

    function test_streamListAndChunkChoice() {
        createPage();
        var streams = visibleStreamRows();
        compare(streams.length, 2, "the layout's cameras are listed, the door is not");
        compare(streams[0].contentItem.text, "Entrance camera", "each row shows its stream object's name");
        compare(streams[1].contentItem.text, "Till camera");

        mouseClick(streams[0]);
        compare(page.devId, "10");
        compare(page.strmId, "11");
        App.vantorClient.streamChunksReceived([chunk(11, 1000, 2000), chunk(11, 2000, 3000)]);
        compare(page.lstChunks.count, 2, "the server's chunks are listed in its order");
        compare(page.lstChunks.get(1).start, 2000);
        tryVerify(function () { return rows("chunkList", "chunkRow").length === 2; }, 3000, "one row per chunk");
        var first = rows("chunkList", "chunkRow")[0];
        verify(findChild(first, "chunkStart").text.indexOf("start: ") === 0, findChild(first, "chunkStart").text);

        mouseClick(streams[1]);
        compare(page.lstChunks.count, 0, "choosing a stream empties the chunk list before the server answers");
        compare(page.strmId, "12");
        App.vantorClient.streamChunksReceived([chunk(11, 1000, 2000)]);
        compare(page.lstChunks.count, 0, "a late answer for the stream chosen before is dropped");
        App.vantorClient.streamChunksReceived([chunk(12, 5000, 6000)]);
        compare(page.lstChunks.count, 1);

        tryVerify(function () { return rows("chunkList", "chunkRow").length === 1; }, 3000);
        mouseClick(rows("chunkList", "chunkRow")[0]);
        compare(page.startTime, "5000", "the chunk's times are kept as texts");
        compare(page.endTime, "6000");
        compare(page.posQueryUrl("127.0.0.5"), "http://127.0.0.5:9554/pos-data?strmId=12&from=5000&to=6000");
        compare(page.mediaUrl("127.0.0.5"), "http://127.0.0.5:9554/12-5000-6000");
        compare(page.player.backend.shouldAutoplay, false, "a recorded chunk that ends is not reloaded");
        verify(page.player.fpsVisible, "the recorded player offers the frame rate");
        compare(findChild(page, "btnDeleteAll").visible, false, "the debug button is for debug mode only");
    }

    function test_gatewayHost_data() {
        return [
            { tag: "address setting of the gateway", device: "10", addr: "10.1.1.1", host: "127.0.0.5" },
            { tag: "empty address setting, server's address", device: "13", addr: "10.1.1.1", host: "10.1.1.1" },
            { tag: "no address setting, server's address", device: "14", addr: "gw.example", host: "gw.example" },
            { tag: "unknown gateway, no address", device: "99", addr: "", host: "127.0.0.1" },
            { tag: "nothing at all", device: "", addr: undefined, host: "127.0.0.1" },
            { tag: "address that would change the URL", device: "15", addr: "", host: "127.0.0.1" },
            { tag: "bare IPv6 address", device: "14", addr: "::1", host: "[::1]" }
        ];
    }

    function test_gatewayHost(data) {
        createPage();
        compare(page.gatewayHost(data.device, data.addr), data.host);
    }

    function test_parsePOSSchedulesFromTheEndOfTheDownload() {
        createPage();
        var doc = { from: 1000, to: 5000, arr: [{ time: 3000, text: "first" }, { time: 4500, text: "second\nline" }] };
        verify(page.parsePOS(JSON.stringify(doc)), "a complete document is taken");
        compare(page.tmrPOS.posData.length, 2);
        compare(page.tmrPOS.posData[0].time, 2500, "each line is due 500 ms before its time");
        compare(page.tmrPOS.interval, 1500, "the first line 1500 ms after the download");
        verify(!page.tmrPOS.running, "nothing runs before the chunk is there");

        // When each line enters the player's list, from the end of the download on.
        var lines = page.player.posLines;
        var started = Date.now();
        var shownAt = [];
        var record = function () { shownAt.push(Date.now() - started); };
        lines.countChanged.connect(record);
        page.downloader.finished();
        verify(page.tmrPOS.running, "the end of the download starts the schedule");
        tryCompare(lines, "count", 1, 5000, "the first line shows");
        compare(lines.get(0).label, "first");
        compare(page.tmrPOS.interval, 1500, "the second line 1500 ms after the first");
        tryCompare(lines, "count", 3, 5000, "the second entry shows as its two lines");
        lines.countChanged.disconnect(record);
        compare(lines.get(2).label, "line");
        verify(shownAt[0] >= 1300, "the first line not before its time: " + shownAt[0] + " ms");
        verify(shownAt[1] - shownAt[0] >= 1300, "the second not before its time: " + (shownAt[1] - shownAt[0]) + " ms");
        compare(page.tmrPOS.posData.length, 0);
        verify(!page.tmrPOS.running, "the schedule ends with the last line");
    }

    function test_parsePOSEntries() {
        createPage();
        var doc = { from: 1000, to: 9000, arr: [
            { time: 4000, text: "late" },
            { time: 2000 },
            { text: "no time" },
            null,
            { time: "soon", text: "bad time" },
            { time: 1200, text: "early" },
            { time: 4000, text: "same time" }
        ] };
        verify(page.parsePOS(JSON.stringify(doc)));
        compare(texts(page.tmrPOS.posData), ["early", "late", "same time"],
                "incomplete entries are skipped, the others are kept in time order");
        compare(page.tmrPOS.interval, 1, "a line due before the chunk starts shows at once");
    }

    function test_incompleteDocumentClearsTheLines_data() {
        return [
            { tag: "no from", text: JSON.stringify({ to: 2, arr: [] }) },
            { tag: "no to", text: JSON.stringify({ from: 1, arr: [] }) },
            { tag: "no arr", text: JSON.stringify({ from: 1, to: 2 }) },
            { tag: "arr not a list", text: JSON.stringify({ from: 1, to: 2, arr: { time: 1 } }) },
            { tag: "not JSON", text: "no chunk 1-2 of stream 11" },
            { tag: "empty answer", text: "" },
            { tag: "JSON array", text: "[1, 2]" }
        ];
    }

    function test_incompleteDocumentClearsTheLines(data) {
        createPage();
        verify(page.parsePOS(JSON.stringify({ from: 0, to: 9, arr: [{ time: 5000, text: "previous chunk" }] })));
        compare(page.tmrPOS.posData.length, 1);
        compare(page.parsePOS(data.text), false);
        compare(page.tmrPOS.posData.length, 0, "the previous chunk's lines are gone");
    }

    function test_failedDownloadPlaysNothing() {
        createPage();
        page.parsePOS(JSON.stringify({ from: 0, to: 9, arr: [{ time: 600, text: "never shown" }] }));
        page.player.url = "/some/earlier/chunk";
        // Nobody serves HTTP on port 1 of this machine.
        page.gatewayPort = 1;
        page.strmId = "11";
        page.startTime = "1000";
        page.endTime = "2000";
        page.fetchChunk("127.0.0.1", "");
        compare(page.downloader.url, "http://127.0.0.1:1/11-1000-2000");
        var progress = findChild(page, "downloadProgress");
        verify(progress.visible, "the progress shows while fetching");
        verify(progress.indeterminate, "the size is not known yet");
        page.downloader.progress(10, 100);
        compare(progress.value, 0.1);

        var error = findChild(page, "downloadError");
        tryCompare(error, "visible", true, 10000, "the failure is shown");
        var prefix = "The chunk could not be fetched: ";
        verify(error.text.indexOf(prefix) === 0 && error.text.length > prefix.length, "with its reason: " + error.text);
        verify(!progress.visible);
        verify(!page.tmrPOS.running, "no POS lines for a chunk that is not there");
        compare(page.player.url, "", "nothing is given to the player");
    }
}
