pragma Singleton
import QtQuick 2.11

// The companion's colours and sizes, in one place. The companion does not load the client's QML,
// so it keeps a theme of its own.
QtObject {
    readonly property int windowWidth: 640
    readonly property int windowHeight: 480
    readonly property color background: "black"
    readonly property color text: "white"
}
