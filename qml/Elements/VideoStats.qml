import QtQuick 2.15
import Config 1.0
import Native 1.0

// A live tile's own figures, sampled from its video item once a second while shown: frames
// received and drawn per second, bitrate, stream and picture size, how it decodes (in hardware
// and with which decoder, or in software, and what it leaves out to keep up) and lag behind the
// live edge. A warning colour marks a tile that is far behind or has had no new frame for a while.
Rectangle {
    id: videoStats

    property var mpvObject: null
    property bool active: false
    // Which of the camera's streams the tile plays: "main" or "sub".
    property string stream: "main"
    // The sub-stream plays because the main stream could not keep up.
    property bool mainTooSlow: false
    // From the latest sample.
    property real receivedPerSecond: 0
    property real drawnPerSecond: 0
    property real megabitsPerSecond: 0
    property int videoWidth: 0
    property int videoHeight: 0
    property real lagSeconds: 0
    // The hardware decoder in use, empty for software; what the decoder leaves out (see
    // MpvObject.decodeLevel) and the deblocking it skips ("all", "nonref" or empty).
    property string decoder: ""
    property int decodeLevel: 0
    property string loopFilter: ""
    readonly property string decodingText: (decoder !== "" ? "hw " + decoder : "sw") + skipText() + I18n.localeNotify
    property bool alert: false
    readonly property alias text: label.text
    // The sample before the latest, for the rates.
    property var _last: null
    property double _shownSince: 0

    function skipText() {
        var what = "";
        if (decodeLevel === 1)
            what = qsTr("skip non-reference frames");
        else if (decodeLevel === 2)
            what = qsTr("no deblocking");
        else if (decodeLevel >= 3)
            what = qsTr("key frames only");
        else if (loopFilter === "all")
            what = qsTr("no deblocking");
        else if (loopFilter !== "")
            what = qsTr("less deblocking");
        return what !== "" ? ", " + what : "";
    }

    function sample() {
        if (!mpvObject)
            return;
        var now = Date.now();
        var figures = mpvObject.statistics();
        if (_last !== null && now > _last.time) {
            var seconds = (now - _last.time) / 1000;
            receivedPerSecond = Math.max(0, (figures.received - _last.received) / seconds);
            drawnPerSecond = Math.max(0, (figures.drawn - _last.drawn) / seconds);
        }
        _last = { time: now, received: figures.received, drawn: figures.drawn };
        megabitsPerSecond = figures.videoBitrate / 1e6;
        videoWidth = figures.width;
        videoHeight = figures.height;
        lagSeconds = figures.lag;
        decoder = figures.decoder;
        decodeLevel = figures.decodeLevel;
        loopFilter = figures.loopFilter;
        // Before its first frame, a tile counts as stalled from the moment the figures show.
        var sinceFrame = figures.msSinceFrame >= 0 ? figures.msSinceFrame : now - _shownSince;
        alert = lagSeconds > G.timings.videoStatsLagAlertSeconds || sinceFrame > G.timings.videoStatsStallAlertMs;
    }

    implicitWidth: label.implicitWidth + 2 * G.metrics.spacing
    height: label.height + G.metrics.spacing
    visible: active
    color: Qt.rgba(0, 0, 0, G.theme.statsBackgroundOpacity)
    onActiveChanged: {
        if (active) {
            _last = null;
            receivedPerSecond = 0;
            drawnPerSecond = 0;
            _shownSince = Date.now();
        }
    }

    Text {
        id: label

        objectName: "statsText"
        x: G.metrics.spacing
        anchors.verticalCenter: parent.verticalCenter
        width: Math.max(0, videoStats.width - 2 * G.metrics.spacing)
        // A small tile shows every figure on more lines rather than losing the last ones.
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        font.pixelSize: G.metrics.statsPixelSize
        color: videoStats.alert ? G.theme.statsAlertText : G.theme.statsText
        text: [qsTr("%1 received").arg(Math.round(videoStats.receivedPerSecond)),
               qsTr("%1 drawn").arg(Math.round(videoStats.drawnPerSecond)),
               qsTr("%1 Mbit/s").arg(videoStats.megabitsPerSecond.toFixed(1)),
               videoStats.stream + (videoStats.mainTooSlow ? " " + qsTr("(main too slow)") : "") + " "
               + videoStats.videoWidth + "×" + videoStats.videoHeight,
               videoStats.decodingText,
               qsTr("lag %1 s").arg(videoStats.lagSeconds.toFixed(1))].join(" · ") + I18n.localeNotify
    }

    Timer {
        objectName: "statsTimer"
        interval: G.timings.videoStatsIntervalMs
        repeat: true
        running: videoStats.active && videoStats.mpvObject !== null
        triggeredOnStart: true
        onTriggered: videoStats.sample()
    }
}
