import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import Elements 1.0
import StationTest 1.0

// The progress of an export of several cameras: a row per camera that says what became of it,
// and the one Cancel for all of them.
TestCase {
    id: testCase

    function itemsNamed(item, name) {
        var found = [];
        for (var i = 0; i < item.children.length; ++i) {
            var child = item.children[i];
            if (child.objectName === name)
                found.push(child);
            found = found.concat(itemsNamed(child, name));
        }
        return found;
    }

    function rowTexts() {
        var rows = itemsNamed(progress, "multiExportRow");
        rows.sort(function (a, b) { return a.y - b.y; });
        return rows.map(function (row) { return itemsNamed(row, "multiExportState")[0].text; });
    }

    function init() {
        failedSpy.clear();
    }

    function cleanup() {
        multiExporter.cancel();
    }

    function test_cancelForAll() {
        verify(!progress.visible, "nothing shown before an export");
        verify(stream.start(), stream.errorString);
        // The gateway holds the chunk: the export waits in its download.
        stream.stalled = true;
        var requests = stream.requests;
        verify(multiExporter.start([{ camera: "Gate", streamId: "1", urls: [stream.url] },
                               { camera: "Yard", streamId: "2", urls: [] }],
                              TestStation.temporaryFolder(), 0, 600000), multiExporter.lastError);
        var cancel = itemsNamed(progress, "multiExportCancel")[0];
        tryVerify(function () { return stream.requests > requests; }, 10000, "the chunk is asked for");
        verify(progress.visible, "the export shows");
        verify(cancel.enabled, "its Cancel can be pressed");
        compare(rowTexts(), ["Exporting", "Nothing recorded"]);
        compare(cancel.Accessible.name, "Cancel the export of every camera");
        waitForRendering(progress);
        mouseClick(cancel);
        compare(failedSpy.count, 1, "one click ends the export");
        compare(failedSpy.signalArguments[0][0], "Export cancelled");
        verify(!cancel.enabled, "nothing left to cancel");
        tryVerify(function () { return rowTexts()[0] === "Cancelled"; }, 2000, "the camera under way is cancelled");
        compare(rowTexts(), ["Cancelled", "Nothing recorded"]);
    }

    function test_rowsSayWhatBecameOfEachCamera() {
        verify(multiExporter.start([{ camera: "Gate", streamId: "1", urls: ["file:///nonexistent/gate.mp4"] },
                               { camera: "Yard", streamId: "2", urls: [] }],
                              TestStation.temporaryFolder(), 0, 600000), multiExporter.lastError);
        failedSpy.wait(10000);
        tryVerify(function () { return rowTexts().length === 2; }, 2000, "a row per camera");
        var texts = rowTexts();
        verify(texts[0].indexOf("Failed: ") === 0 && texts[0].indexOf("gate.mp4") > 0, texts[0]);
        compare(texts[1], "Nothing recorded");
        var rows = itemsNamed(progress, "multiExportRow");
        rows.sort(function (a, b) { return a.y - b.y; });
        compare(rows[0].Accessible.name, "Gate: " + texts[0], "a row names its camera and its state");
        compare(itemsNamed(rows[0], "multiExportCameraProgress")[0].value, 1, "a failed camera is through");
    }

    name: "MultiExportProgress"
    when: windowShown
    visible: true
    width: 600
    height: 400

    MultiCameraExporter {
        id: multiExporter
    }

    StallingStream {
        id: stream
    }

    SignalSpy {
        id: failedSpy

        target: multiExporter
        signalName: "failed"
    }

    MultiExportProgress {
        id: progress

        width: 600
        exporter: multiExporter
    }
}
