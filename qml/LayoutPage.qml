import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0
import Elements 1.0
import Scripts 1.0

// The live view: one tile per cell of the current layout grid.
Pane {
    id: layoutPage

    readonly property var layoutModel: App.layoutModel
    // A grid without rows or columns has no cells to place anything in.
    readonly property bool gridValid: layoutModel !== null && layoutModel.numRows > 0 && layoutModel.numCols > 0
    readonly property real cellWidth: gridValid ? designArea.width / layoutModel.numCols : 0
    readonly property real cellHeight: gridValid ? designArea.height / layoutModel.numRows : 0
    // Bumped whenever the server's objects are rebuilt, so that tiles look their objects up again.
    property int objectsGeneration: 0
    property var cellComponents: ({})
    property int doorGuardInterval: G.timings.doorGuardMs
    // The events room of the application; null where there is none.
    readonly property var alarms: App.alarms !== undefined ? App.alarms : null
    // The tile the keys act on (shown with a frame); -1: none.
    property int selectedIndex: -1
    readonly property var selectedCell: selectedIndex >= 0 ? cells.itemAt(selectedIndex) : null
    readonly property bool fullViewShown: {
        for (var i = 0; i < cells.count; ++i) {
            var view = cameraViewOf(cells.itemAt(i));
            if (view && view.singleView)
                return true;
        }
        return false;
    }

    // `generation` only ties the caller's binding to rebuilds of the objects.
    function objectOf(id, generation) {
        if (!Utils.isValid(id) || id === "" || !Utils.isValid(generation))
            return null;
        return App.vantorRepository.objectById(id);
    }

    function cameraViewOf(cell) {
        return cell && cell.item && cell.item.view ? cell.item.view : null;
    }

    function select(index) {
        selectedIndex = index >= 0 && index < cells.count ? index : -1;
        forceActiveFocus();
    }

    // The nearest tile in the direction (dx, dy) of the grid from the selected one: first the
    // one whose edge is closest that way, then the one best in line with it.
    function moveSelection(dx, dy) {
        if (cells.count === 0)
            return;
        var from = selectedCell;
        if (!from) {
            select(0);
            return;
        }
        var best = -1;
        var bestGap = 0;
        var bestOffset = 0;
        var centreRow = from.cellRow + from.cellRowSpan / 2;
        var centreCol = from.cellCol + from.cellColSpan / 2;
        for (var i = 0; i < cells.count; ++i) {
            var cell = cells.itemAt(i);
            if (!cell || i === selectedIndex)
                continue;
            var gap;
            var offset;
            if (dx > 0)
                gap = cell.cellCol - (from.cellCol + from.cellColSpan);
            else if (dx < 0)
                gap = from.cellCol - (cell.cellCol + cell.cellColSpan);
            else if (dy > 0)
                gap = cell.cellRow - (from.cellRow + from.cellRowSpan);
            else
                gap = from.cellRow - (cell.cellRow + cell.cellRowSpan);
            if (gap < 0)
                continue;
            if (dx !== 0)
                offset = Math.abs(cell.cellRow + cell.cellRowSpan / 2 - centreRow);
            else
                offset = Math.abs(cell.cellCol + cell.cellColSpan / 2 - centreCol);
            if (best < 0 || gap < bestGap || (gap === bestGap && offset < bestOffset)) {
                best = i;
                bestGap = gap;
                bestOffset = offset;
            }
        }
        if (best >= 0)
            selectedIndex = best;
    }

    // A bookmark of the tile's stream from a little before now to now, both taken at once: the
    // dialog only asks for its title and note.
    function bookmarkTile(view) {
        if (!view || !view.bookmarkable)
            return false;
        var now = Date.now();
        var from = now - G.timings.liveBookmarkPreRollMs;
        bookmarkDialog.openNewOf(view.tileStreamId, from, now, view.cameraName + "  "
                                 + Qt.formatDateTime(new Date(from), "yyyy-MM-dd hh:mm:ss") + " – "
                                 + Qt.formatDateTime(new Date(now), "hh:mm:ss"));
        return true;
    }

    function toggleFullView() {
        var view = cameraViewOf(selectedCell);
        if (view)
            view.singleView = !view.singleView;
    }

    function leaveFullView() {
        for (var i = 0; i < cells.count; ++i) {
            var view = cameraViewOf(cells.itemAt(i));
            if (view)
                view.singleView = false;
        }
    }

    background: Rectangle {
        color: G.theme.pageBackground
    }

    // Only while the page has the focus: a text field elsewhere keeps its keys.
    Keys.onPressed: function (event) {
        if (event.modifiers & (Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier))
            return;
        switch (event.key) {
        case Qt.Key_Left:
            moveSelection(-1, 0);
            break;
        case Qt.Key_Right:
            moveSelection(1, 0);
            break;
        case Qt.Key_Up:
            moveSelection(0, -1);
            break;
        case Qt.Key_Down:
            moveSelection(0, 1);
            break;
        case Qt.Key_Return:
        case Qt.Key_Enter:
            toggleFullView();
            break;
        case Qt.Key_Escape:
            if (!fullViewShown)
                return;
            leaveFullView();
            break;
        case Qt.Key_B:
            if (!bookmarkTile(cameraViewOf(selectedCell)))
                return;
            break;
        case Qt.Key_0: {
            var view = cameraViewOf(selectedCell);
            if (!view)
                return;
            view.resetZoom();
            break;
        }
        default:
            return;
        }
        event.accepted = true;
    }

    // A new grid has other cells: the selection does not carry over.
    Connections {
        target: layoutPage.layoutModel

        function onModelReset() {
            layoutPage.selectedIndex = -1;
        }
    }

    Component.onCompleted: {
        var components = {};
        components[LayoutModel.Video] = cameraComponent;
        components[LayoutModel.Door] = doorComponent;
        components[LayoutModel.Alarm] = alarmComponent;
        cellComponents = components;
        // The keys move the selection from the start, until a text field takes the focus.
        forceActiveFocus();
    }

    Connections {
        target: App.vantorRepository

        function onDataChanged() {
            layoutPage.objectsGeneration++;
        }
    }

    Item {
        id: designArea

        objectName: "designArea"
        anchors.fill: parent

        Repeater {
            id: cells

            objectName: "cells"
            model: layoutPage.gridValid ? layoutPage.layoutModel : null

            delegate: Loader {
                // What the tiles read, by name, from their loader.
                readonly property string itemLabel: model.label
                readonly property var videoUrl: model.url
                readonly property var subStreamUrl: model.subUrl
                readonly property var mainStreamSize: model.size
                readonly property var subStreamSize: model.subSize
                readonly property string gatewayId: model.deviceId
                readonly property string streamId: model.objectId
                readonly property var sens: layoutPage.objectOf(model.objectId, layoutPage.objectsGeneration)
                readonly property var actr: layoutPage.objectOf(model.actuatorId, layoutPage.objectsGeneration)
                readonly property int cellType: model.type
                readonly property int cellIndex: index
                readonly property int cellRow: model.row
                readonly property int cellCol: model.col
                readonly property int cellRowSpan: model.rowSpan
                readonly property int cellColSpan: model.colSpan

                objectName: "cell"
                x: model.col * layoutPage.cellWidth
                y: model.row * layoutPage.cellHeight
                width: model.colSpan * layoutPage.cellWidth
                height: model.rowSpan * layoutPage.cellHeight
                sourceComponent: layoutPage.cellComponents[model.type] || null
            }
        }

        Rectangle {
            objectName: "selectionFrame"
            visible: layoutPage.selectedCell !== null && !layoutPage.fullViewShown
            x: layoutPage.selectedCell ? layoutPage.selectedCell.x : 0
            y: layoutPage.selectedCell ? layoutPage.selectedCell.y : 0
            width: layoutPage.selectedCell ? layoutPage.selectedCell.width : 0
            height: layoutPage.selectedCell ? layoutPage.selectedCell.height : 0
            z: 50
            color: "transparent"
            border.width: G.metrics.selectionFrameWidth
            border.color: G.theme.selectionFrame
        }
    }

    Component {
        id: cameraComponent

        // The loader sizes this holder; the view itself can leave it for the full page.
        Item {
            id: cameraCell

            readonly property alias view: camera

            CameraView {
                id: camera

                property string posIP: ""
                property string posChannel: ""
                // The stream this tile plays, for its bookmarks.
                readonly property string tileStreamId: Utils.isValid(streamId) ? streamId : ""

                // The cell's place among the layout's cameras, and whether it plays at its size. An
                // alarm's camera plays whatever the cap: it is what the operator has to see.
                readonly property int cameraOrder: cellType === LayoutModel.Alarm
                                                   ? 0
                                                   : layoutPage.layoutModel ? layoutPage.layoutModel.cameraOrder(cellIndex)
                                                                            : -1
                readonly property int verdict: App.tileRules
                                               ? App.tileRules.verdict(url !== "", cameraOrder,
                                                                       width * Screen.devicePixelRatio,
                                                                       height * Screen.devicePixelRatio)
                                               : TileRules.Plays

                objectName: "cameraView"
                width: cameraCell.width
                height: cameraCell.height
                z: 0
                cameraName: itemLabel
                url: Utils.isValid(videoUrl) ? videoUrl : ""
                subUrl: Utils.isValid(subStreamUrl) ? subStreamUrl : ""
                mainSize: Utils.isValid(mainStreamSize) ? mainStreamSize : ""
                subSize: Utils.isValid(subStreamSize) ? subStreamSize : ""
                playAllowed: verdict === TileRules.Plays
                notPlayedReason: verdict === TileRules.OverCap
                                 ? qsTr("Not played: this layout has more than %1 cameras").arg(App.tileRules.maxTiles)
                                   + I18n.localeNotify
                                 : verdict === TileRules.TooSmall ? qsTr("Too small to play") + I18n.localeNotify : ""
                bookmarkable: tileStreamId !== ""
                onPressed: layoutPage.select(cellIndex)
                onBookmarkRequested: layoutPage.bookmarkTile(camera)

                function refreshAlarm() {
                    alarmMarked = layoutPage.alarms !== null && Utils.isValid(streamId) && streamId !== ""
                                  && layoutPage.alarms.hasOpenAlarm(streamId);
                }

                Connections {
                    target: layoutPage.alarms

                    function onOpenAlarmsChanged() {
                        camera.refreshAlarm();
                    }
                }

                Component.onCompleted: {
                    refreshAlarm();
                    setUpLive();
                    if (!Utils.isValid(streamId) || streamId === "" || !Utils.isValid(gatewayId) || gatewayId === "")
                        return;

                    // The gateway's own address and POS port, else this machine and the default port.
                    var endpoint = GatewayAddress.posEndpoint(App.vantorRepository.objectById(gatewayId));
                    console.log("IP:", endpoint.host);
                    console.log("Port:", endpoint.port);
                    posIP = endpoint.host;
                    posChannel = streamId;
                    PosReceiver.subscribe(endpoint.host, endpoint.port, streamId);
                }
                Component.onDestruction: {
                    // Kept from the subscription: the loader's names may be gone by now.
                    if (posChannel !== "")
                        PosReceiver.unsubscribe(posIP, posChannel);
                }

                Connections {
                    target: PosReceiver

                    function onPosReceived(topic, msg) {
                        if (camera.posChannel !== "" && topic === camera.posChannel)
                            camera.appendPos(msg);
                    }
                }

                states: State {
                    name: "single"
                    when: camera.singleView

                    ParentChange {
                        target: camera
                        parent: layoutPage
                        x: 0
                        y: 0
                    }
                    PropertyChanges {
                        target: camera
                        width: layoutPage.width
                        height: layoutPage.height
                        z: 100
                    }
                }

                transitions: Transition {
                    ParentAnimation {
                        NumberAnimation {
                            properties: "x,y,z,width,height"
                            easing.type: Easing.InOutQuad
                        }
                    }
                }
            }
        }
    }

    Component {
        id: doorComponent

        DoorView {
            id: door

            property bool working: false

            TapHandler {
                onTapped: layoutPage.select(cellIndex)
            }

            objectName: "doorView"
            name: itemLabel
            objectId: Utils.isValid(streamId) ? streamId : ""
            isClosed: sens ? sens.value : false
            stateKnown: sens ? sens.valueKnown : false
            toOpen: actr ? actr.value : false
            // Signed out, a command could not reach the server.
            buttonOpenClose.enabled: App.signedIn && actr !== null && actr !== undefined && !working

            Connections {
                target: door.buttonOpenClose

                function onClicked() {
                    if (!actr || !App.signedIn)
                        return;
                    actr.value = !actr.value;
                    door.working = true;
                    guardTimer.restart();
                }
            }

            // Every report of the actuator, even an unchanged value, ends the wait.
            Connections {
                target: actr === undefined ? null : actr

                function onValueChanged() {
                    guardTimer.stop();
                    door.working = false;
                }
            }

            // Without a report the button comes back after a while, without a message.
            Timer {
                id: guardTimer

                objectName: "doorGuard"
                interval: layoutPage.doorGuardInterval
                repeat: false
                onTriggered: door.working = false
            }
        }
    }

    // The newest alarm nobody has acknowledged, of the object the cell names or of any object:
    // the live video of the camera that sees its source, what it is, and its acknowledgement.
    // Without one the cell stays empty.
    Component {
        id: alarmComponent

        Item {
            id: alarmCell

            // The model's roles of the alarm; empty: none.
            property var alarm: ({})
            // The alarm's camera ("streamId", "deviceId", ...); empty: none sees its source.
            property var video: ({})
            readonly property bool hasAlarm: alarm.localId !== undefined
            readonly property bool hasVideo: hasAlarm && video.streamId !== undefined && String(video.streamId) !== ""
            // For the page's keys and full view, as a camera cell has it.
            readonly property var view: alarmVideo.item ? alarmVideo.item.view : null
            // The cell's own, from its loader, for the camera tile's loader that has a name alike.
            readonly property int ownIndex: cellIndex

            function refresh() {
                var found = layoutPage.alarms ? layoutPage.alarms.newestOpenAlarm(Utils.isValid(streamId) ? streamId : "")
                                              : {};
                // The same alarm keeps its tile, and its video plays on.
                if (found.localId !== undefined && found.localId === alarm.localId)
                    return;
                alarm = found;
                video = found.localId !== undefined ? layoutPage.alarms.videoFor(found.localId) : {};
            }

            objectName: "alarmView"
            Accessible.role: Accessible.Pane
            Accessible.name: hasAlarm ? qsTr("Alarm: %1").arg(alarm.title) + I18n.localeNotify
                                      : qsTr("No alarm") + I18n.localeNotify

            Component.onCompleted: refresh()

            Connections {
                target: layoutPage.alarms

                function onOpenAlarmsChanged() {
                    alarmCell.refresh();
                }
            }

            TapHandler {
                onTapped: layoutPage.select(cellIndex)
            }

            Rectangle {
                anchors.fill: parent
                visible: alarmCell.hasAlarm
                color: G.theme.pageBackground
                border.width: G.metrics.selectionFrameWidth
                border.color: G.theme.alarmMark
            }

            // The camera tile of the layout page, on the alarm's stream; it reads these names.
            Loader {
                id: alarmVideo

                readonly property string itemLabel: alarmCell.hasVideo
                                                    ? layoutPage.alarms.objectName(String(alarmCell.video.streamId)) : ""
                readonly property var stream: alarmCell.hasVideo && layoutPage.layoutModel
                                              ? layoutPage.layoutModel.streamOf(String(alarmCell.video.streamId)) : ({})
                readonly property var videoUrl: stream.url
                readonly property var subStreamUrl: stream.subUrl
                readonly property var mainStreamSize: stream.size
                readonly property var subStreamSize: stream.subSize
                readonly property string gatewayId: alarmCell.hasVideo ? String(alarmCell.video.deviceId) : ""
                readonly property string streamId: alarmCell.hasVideo ? String(alarmCell.video.streamId) : ""
                readonly property int cellType: LayoutModel.Alarm
                readonly property int cellIndex: alarmCell.ownIndex

                objectName: "alarmVideo"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.bottom: alarmInfo.top
                anchors.margins: G.metrics.selectionFrameWidth
                active: alarmCell.hasVideo
                sourceComponent: cameraComponent
                // A tile plays the stream it was made with: another alarm's camera gets a tile of
                // its own.
                onStreamIdChanged: {
                    sourceComponent = null;
                    sourceComponent = cameraComponent;
                }
            }

            Rectangle {
                id: alarmInfo

                objectName: "alarmInfo"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: alarmCell.hasAlarm ? alarmInfoColumn.implicitHeight + 2 * G.metrics.spacing : 0
                visible: alarmCell.hasAlarm
                color: G.theme.alarmMark

                // A cell may be narrow: the title, then its time and source, then the button.
                ColumnLayout {
                    id: alarmInfoColumn

                    anchors.fill: parent
                    anchors.margins: G.metrics.spacing
                    spacing: 0

                    ELabel {
                        objectName: "alarmCellTitle"
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        font.bold: true
                        color: G.theme.alarmMarkText
                        text: alarmCell.hasAlarm ? alarmCell.alarm.title : ""
                    }

                    ELabel {
                        objectName: "alarmCellText"
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        color: G.theme.alarmMarkText
                        text: alarmCell.hasAlarm ? alarmCell.alarm.timeText + "  " + alarmCell.alarm.sourceName : ""
                    }

                    EButton {
                        objectName: "alarmAcknowledgeButton"
                        Layout.alignment: Qt.AlignRight
                        Layout.topMargin: G.metrics.spacing
                        text: qsTr("Acknowledge") + I18n.localeNotify
                        accessibleName: qsTr("Acknowledge %1").arg(alarmCell.hasAlarm ? alarmCell.alarm.title : "")
                                        + I18n.localeNotify
                        onClicked: {
                            if (alarmCell.hasAlarm)
                                layoutPage.alarms.acknowledge(alarmCell.alarm.localId);
                        }
                    }
                }
            }
        }
    }

    // The live tiles' bookmarks: written only, by the signed-in operator.
    BookmarkStore {
        id: liveBookmarks

        client: App.vantorClient
        author: App.vantorClient ? App.vantorClient.username : ""
    }

    BookmarkDialog {
        id: bookmarkDialog

        store: liveBookmarks
        onClosed: layoutPage.forceActiveFocus()
    }
}
