import QtQuick 2.15
import Native 1.0
import Config 1.0

// The recorded page's cameras in step, in a grid: the layout's geometry when they came from a
// layout, else as square as their number allows. One tile is chosen (the lists beside follow it);
// one may fill the whole grid, still in step.
Item {
    id: grid

    // Rows {deviceId, objectId, row, col, rowSpan, colSpan}.
    property alias model: repeater.model
    property int numRows: 1
    property int numCols: 1
    property CameraSync sync: null
    property int gatewayPort: 9554
    property int selectedIndex: 0
    // The tile that fills the grid; -1: all are shown.
    property int filledIndex: -1
    readonly property int count: repeater.count
    readonly property var selectedTile: repeater.count > 0 ? repeater.itemAt(Math.min(selectedIndex, repeater.count - 1))
                                                           : null
    readonly property RecordedSession selectedSession: selectedTile ? selectedTile.session : null

    function tileAt(index) {
        return repeater.itemAt(index);
    }

    function toggleFill(index) {
        filledIndex = filledIndex === index ? -1 : index;
    }

    objectName: "syncGrid"

    Repeater {
        id: repeater

        delegate: SyncTile {
            readonly property bool filled: grid.filledIndex === index
            readonly property real cellWidth: grid.width / Math.max(1, grid.numCols)
            readonly property real cellHeight: grid.height / Math.max(1, grid.numRows)

            x: filled ? 0 : model.col * cellWidth
            y: filled ? 0 : model.row * cellHeight
            width: filled ? grid.width : Math.max(1, model.colSpan) * cellWidth
            height: filled ? grid.height : Math.max(1, model.rowSpan) * cellHeight
            visible: grid.filledIndex < 0 || filled
            deviceId: model.deviceId
            objectId: model.objectId
            sync: grid.sync
            gatewayPort: grid.gatewayPort
            selected: index === grid.selectedIndex && grid.count > 1
            onChosen: grid.selectedIndex = index
            onFillRequested: {
                grid.selectedIndex = index;
                grid.toggleFill(index);
            }
        }
    }
}
