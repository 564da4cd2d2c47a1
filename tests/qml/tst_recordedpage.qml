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
        compare(page.session.posQueryUrl("127.0.0.5"), "http://127.0.0.5:9554/pos-data?strmId=12&from=5000&to=6000");
        compare(page.session.mediaUrl("127.0.0.5"), "http://127.0.0.5:9554/12-5000-6000");
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
        compare(page.session.gatewayHost(data.device, data.addr), data.host);
    }

    function test_parsePOSFollowsThePicture() {
        createPage();
        var doc = { from: 1000, to: 5000, arr: [{ time: 3000, text: "first" }, { time: 4500, text: "second\nline" }] };
        verify(page.parsePOS(JSON.stringify(doc)), "a complete document is taken");
        compare(page.chunkPos.count, 2);
        // The lines are those of a moment of the video, each 500 ms before its time.
        compare(page.chunkPos.linesAt(2499), [], "nothing before the first line is due");
        compare(page.chunkPos.linesAt(2500), ["first"]);
        compare(page.chunkPos.linesAt(4000), ["first", "second", "line"]);
        compare(page.player.posLines.count, 0, "nothing shows while nothing plays");
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
        compare(page.chunkPos.times(), [1200, 4000, 4000],
                "incomplete entries are skipped, the others are kept in time order");
        compare([page.chunkPos.textOf(0), page.chunkPos.textOf(1), page.chunkPos.textOf(2)],
                ["early", "late", "same time"]);
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
        compare(page.chunkPos.count, 1);
        compare(page.parsePOS(data.text), false);
        compare(page.chunkPos.count, 0, "the previous chunk's lines are gone");
    }

    function test_dayRange() {
        createPage();
        var now = new Date();
        compare(page.session.dayStart, new Date(now.getFullYear(), now.getMonth(), now.getDate()).getTime(),
                "the page starts on today");
        var moment = new Date(2024, 4, 1, 10, 30).getTime();
        page.showDay(moment);
        compare(page.session.dayStart, new Date(2024, 4, 1).getTime(), "a day runs from its local midnight");
        compare(page.session.dayEnd, new Date(2024, 4, 2).getTime(), "to the next one");
        compare(page.timeline.dayStart, page.session.dayStart, "the time bar shows the chosen day");
        compare(page.timeline.viewStart, page.session.dayStart, "all of it");
        compare(page.timeline.viewEnd, page.session.dayEnd);
        compare(findChild(page, "dayField").text, "2024-05-01");
        mouseClick(findChild(page, "nextDayButton"));
        compare(page.session.dayStart, new Date(2024, 4, 2).getTime());
        mouseClick(findChild(page, "previousDayButton"));
        mouseClick(findChild(page, "previousDayButton"));
        compare(page.session.dayStart, new Date(2024, 3, 30).getTime(), "back over the month's end");
    }

    // Chunks of 10 s from 10:00 with a gap of a minute after the second.
    function chooseDayOfChunks() {
        var base = new Date(2024, 4, 1, 10, 0).getTime();
        page.showDay(base);
        mouseClick(visibleStreamRows()[0]);
        App.vantorClient.streamChunksReceived([chunk(11, base, base + 10000), chunk(11, base + 10000, base + 20000),
                                               chunk(11, base + 80000, base + 90000)]);
        compare(page.lstChunks.count, 3);
        compare(page.spans.count(), 3, "the time bar has the same chunks");
        return base;
    }

    function test_seekToFindsTheChunk() {
        createPage();
        var base = chooseDayOfChunks();
        page.seekTo(base + 12500);
        compare(page.startTime, String(base + 10000), "the chunk that holds the moment");
        compare(page.session.pendingSeekMs, base + 12500, "played from the moment, not from its start");
        page.seekTo(base + 40000);
        compare(page.startTime, String(base + 80000), "in a gap, the next recorded chunk");
        compare(page.session.pendingSeekMs, base + 80000, "from its start");
        var chunks = rows("chunkList", "chunkRow");
        tryVerify(function () { return rows("chunkList", "chunkRow").filter(function (row) {
            return row.highlighted; }).length === 1; }, 3000, "the list marks the chunk being played");
        page.seekTo(base + 100000);
        compare(page.startTime, String(base + 80000), "after the last chunk nothing else is chosen");
    }

    function test_searchFindsAndPlaysAReceipt() {
        createPage();
        var base = chooseDayOfChunks();
        verify(page.dayPos.load(JSON.stringify({ from: base, to: base + 90000, arr: [
            { time: base + 3000, text: "POS 1\n2 x Coffee 2.40" },
            { time: base + 86000, text: "POS 2\nVOID coffee" },
            { time: base + 87000, text: "POS 3\nTea" }] })));
        compare(page.timeline.posTimes.length, 3, "the receipts are marks on the time bar");
        var field = findChild(page, "posSearchField");
        field.text = "COFFEE";
        compare(page.session.searchResults.length, 2, "case does not matter");
        tryVerify(function () { return rows("posResults", "posResultRow").length === 2; }, 3000, "one row per line found");
        mouseClick(rows("posResults", "posResultRow")[1]);
        compare(page.markedLine, "VOID coffee", "the line found is picked out over the picture");
        compare(page.player.markedPosLine, "VOID coffee");
        compare(page.startTime, String(base + 80000), "played from 5 s before the receipt");
        compare(page.session.pendingSeekMs, base + 81000);
        field.text = "";
        verify(!findChild(page, "posResults").visible, "no list without a search");
    }

    function test_exportOfTheMarkedChunks() {
        createPage();
        var base = chooseDayOfChunks();
        // Nobody serves HTTP on port 1 of this machine: the export must say so and write nothing.
        page.gatewayPort = 1;
        page.session.streamHost = "127.0.0.1";
        page.markA = base + 15000;
        page.markB = base + 85000;
        var folder = findChild(page, "exportFolder");
        compare(folder.text, page.exporter.defaultFolder(), "the Videos folder unless the operator chooses");
        folder.text = TestStation.temporaryFolder();
        page.startTime = String(base + 10000);
        page.endTime = String(base + 20000);
        compare(findChild(page, "exportButton").text, "Export marked", "the button says what it exports");
        page.exportVideo();
        var status = findChild(page, "statusText");
        tryVerify(function () { return status.visible && !page.exporter.busy; }, 10000, "the export ends");
        verify(status.text.indexOf("Export failed: ") === 0, status.text);
        verify(status.text.indexOf("http://127.0.0.1:1/11-" + (base + 10000) + "-" + (base + 20000)) > 0,
               "the first marked chunk is the one named: " + status.text);
    }

    function test_exportBetweenMarksInAGap() {
        createPage();
        var base = chooseDayOfChunks();
        page.startTime = String(base);
        page.endTime = String(base + 10000);
        // Between the second chunk's end and the third one's start nothing was recorded.
        page.markA = base + 30000;
        page.markB = base + 40000;
        // The button lies beyond the right edge of a page this narrow: its signal stands in for a click.
        findChild(page, "exportButton").clicked();
        var status = findChild(page, "statusText");
        verify(status.visible, "the operator is told");
        compare(status.text, "Nothing recorded between the marks.");
        verify(!page.exporter.busy, "no export starts");
    }

    function test_keysChangeTheSpeed() {
        createPage();
        page.forceActiveFocus();
        compare(page.session.speed, 1);
        keyClick(Qt.Key_Plus);
        compare(page.session.speed, 2);
        tryCompare(page.mpvObject, "speed", 2, 3000, "the player takes the speed");
        keyClick(Qt.Key_Minus);
        keyClick(Qt.Key_Minus);
        compare(page.session.speed, 0.5, "keys pressed quickly each take a step");
        tryCompare(page.mpvObject, "speed", 0.5, 3000);
        compare(findChild(page, "speedBox").currentIndex, 1, "the box shows the speed the keys chose");
        for (var i = 0; i < 5; ++i)
            keyClick(Qt.Key_Minus);
        compare(page.session.speed, 0.25, "not below a quarter");
        for (var j = 0; j < 9; ++j)
            keyClick(Qt.Key_Plus);
        compare(page.session.speed, 16, "nor above sixteen times");
        tryCompare(page.mpvObject, "speed", 16, 3000);
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
        page.session.fetchChunk("127.0.0.1", "");
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
        compare(page.player.posLines.count, 0, "no POS lines for a chunk that is not there");
        compare(page.player.url, "", "nothing is given to the player");
    }
}
