import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0
import Scripts 1.0

// One camera: the video, a fold-out toolbar and the point-of-sale lines over it.
Item {
    id: cameraView

    property string cameraName: ""
    property string url: ""
    property bool singleView: false
    readonly property alias backend: player
    property bool fpsVisible: false
    // Lines in arrival order, oldest first; each entry has one field, `label`.
    readonly property alias posLines: posModel
    readonly property int videoWidth: player.mpvObject.dwidth
    readonly property int videoHeight: player.mpvObject.dheight
    readonly property bool videoLoaded: player.mpvObject.playlistCount >= 1 && videoWidth > 0 && videoHeight > 0
    readonly property bool toolbarOpen: toolbar.open

    function appendPos(msg) {
        if (!Utils.isValid(msg))
            return;
        var pieces = String(msg).split("\n");
        for (var i = 0; i < pieces.length; ++i)
            posModel.append({ label: pieces[i] });
        var excess = posModel.count - G.settings.posMaxQueuedLines;
        if (excess > 0)
            posModel.remove(0, excess);
        trimTimer.interval = G.settings.posHoldMs;
        trimTimer.restart();
    }

    onUrlChanged: {
        if (url !== "")
            loadTimer.restart();
    }
    onVideoWidthChanged: console.log("videoWidth:", videoWidth)
    onVideoHeightChanged: console.log("videoHeight:", videoHeight)
    onVideoLoadedChanged: console.log("videoLoaded:", videoLoaded)

    MpvPlayer {
        id: player

        anchors.fill: parent
    }

    EMouseArea {
        id: mouseArea

        anchors.fill: parent
        onClicked: toolbar.open = !toolbar.open
        onDoubleClicked: cameraView.singleView = !cameraView.singleView
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
            spacing: G.settings.spacing

            ELabel {
                Layout.fillWidth: true
                Layout.leftMargin: G.settings.spacing
                elide: Text.ElideRight
                text: cameraView.cameraName
            }

            ELabel {
                visible: cameraView.fpsVisible
                text: qsTr("FPS:") + I18n.localeNotify
            }

            ComboBox {
                id: fpsBox

                Layout.preferredHeight: G.settings.toolbarIconSize
                visible: cameraView.fpsVisible
                flat: true
                model: [15, 20, 25]
                onCurrentTextChanged: {
                    if (visible) {
                        player.mpvObject.setOption("no-correct-pts", "");
                        player.mpvObject.setOption("fps", currentText);
                    }
                }
            }
        }
    }

    Column {
        objectName: "posOverlay"
        y: toolbarRow.height
        x: G.settings.spacing

        Repeater {
            model: posModel

            delegate: ELabel {
                objectName: "posLine"
                font.pixelSize: G.settings.posPixelSize
                visible: index < G.settings.posVisibleLines
                text: model.label
            }
        }
    }

    ListModel {
        id: posModel
    }

    Timer {
        id: loadTimer

        interval: G.settings.videoLoadDelayMs
        repeat: false
        onTriggered: {
            if (cameraView.url !== "")
                player.mpvObject.loadFile(cameraView.url);
        }
    }

    // Holds the lines for a while after the last message, then lets them go one by one.
    Timer {
        id: trimTimer

        interval: G.settings.posHoldMs
        repeat: false
        onTriggered: {
            if (posModel.count > 0) {
                posModel.remove(0);
                interval = G.settings.posTrimMs;
                restart();
            } else {
                stop();
            }
        }
    }
}
