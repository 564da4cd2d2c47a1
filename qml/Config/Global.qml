pragma Singleton
import QtQuick 2.15
import Qt.labs.settings 1.0
import Native 1.0
import Scripts 1.0

// Theme values, sizes, timings and the other figures, the view state and the dialog entry
// points shared by every page.
Item {
    id: global

    // Sizes, paddings and pixel sizes.
    readonly property QtObject metrics: QtObject {
        id: metricsGroup

        readonly property int windowWidth: 640
        readonly property int windowHeight: 480
        readonly property int spacing: 5
        readonly property int toolbarIconSize: 32
        readonly property int toolButtonPadding: 5
        readonly property int treeIconSize: 16
        readonly property int spliterHandleSize: 5
        readonly property int spliterStartSize: 250
        readonly property int selectionFrameWidth: 2
        // A press that moves further than this is a drag, not a click.
        readonly property real dragThreshold: 6
        readonly property int posPixelSize: 15
        readonly property int statsPixelSize: 12
        readonly property int timelineHeight: 56
        readonly property int alarmPanelWidth: 420
        readonly property int alarmRowHeight: 40
        readonly property int alarmPriorityMarkWidth: 6
        readonly property int alarmBadgeSize: 20
        readonly property QtObject sidebar: QtObject {
            id: sidebarMetrics

            readonly property int openedWidth: 250
            readonly property int closedWidth: 50
            readonly property int iconSize: 50
        }
    }

    // Durations, delays, intervals and retry figures, in milliseconds unless the name says
    // otherwise.
    readonly property QtObject timings: QtObject {
        id: timingsGroup

        readonly property int clickDelay: 200
        // How often a countdown on screen ("next attempt in ... s") is brought up to date.
        readonly property int countdownTickMs: 250
        readonly property int sidebarAnimationMs: 500
        readonly property int spliterAnimationMs: 250
        readonly property int treeExpandAnimationMs: 100
        readonly property int snapshotMessageMs: 5000
        readonly property int posHoldMs: 3000
        readonly property int posTrimMs: 500
        readonly property int doorGuardMs: 10000
        readonly property int videoLoadDelayMs: 500
        readonly property int videoReloadDelayMs: 3000
        // A live tile without a new frame for this long shows "no signal" and reloads its
        // stream, first after the first delay, then after twice as long each time, up to the
        // last. Not read-only, so that tests can shorten them.
        property int videoNoSignalMs: 5000
        property int videoStallReloadFirstMs: 3000
        property int videoStallReloadMaxMs: 30000
        readonly property int videoStatsIntervalMs: 1000
        // The figures turn to a warning past this lag, or this long without a new frame.
        readonly property real videoStatsLagAlertSeconds: 1.0
        readonly property int videoStatsStallAlertMs: 2000
        // A gateway that never answers the POS query must not hold back the chunk itself.
        readonly property int posQueryTimeoutMs: 10000
        // How long a word of the alarm panel stays, and how a new alarm makes the count flash.
        readonly property int alarmNoticeMs: 5000
        readonly property int alarmFlashMs: 250
        readonly property int alarmFlashCount: 4
        // A bookmark made on a live tile starts this long before the moment it was asked for.
        readonly property int liveBookmarkPreRollMs: 10000
    }

    // What the operator switches while the client runs.
    readonly property QtObject view: QtObject {
        id: viewGroup

        // Each live tile's own figures over its picture, for every tile at once.
        property bool videoStatsVisible: false
    }

    // How much a view holds at most.
    readonly property QtObject limits: QtObject {
        id: limitsGroup

        readonly property int posVisibleLines: 20
        // A publisher that never pauses would otherwise grow the queue without end.
        readonly property int posMaxQueuedLines: 200
    }

    // Recorded video: the player's speeds, the step of the seek keys, how far before a POS search
    // result playing starts, how long before the chosen day a chunk that reaches into it may
    // begin, and how times and days are written.
    readonly property QtObject recorded: QtObject {
        id: recordedGroup

        readonly property var speeds: [0.25, 0.5, 1, 2, 4, 8, 16]
        readonly property int stepMs: 5000
        readonly property int posSearchLeadMs: 5000
        readonly property int posSearchLimit: 1000
        readonly property int chunkSearchMarginMs: 600000
        // Each recorded POS line shows this much before its own time.
        readonly property int posLeadMs: 500
        readonly property string timeFormat: "yyyy-MM-dd hh:mm:ss"
        readonly property string dayFormat: "yyyy-MM-dd"
        readonly property string chunkDateFormat: "yyyy-MM-dd hh:mm:ss"
        // In step, a tile opens its next chunk this long after it was fetched, plus its share of
        // the stagger (tiles apart by up to seven of them), both divided by the speed.
        readonly property int standbyLoadDelayMs: 1000
        readonly property int standbyLoadStaggerMs: 250
        // ... but no later than this long before the playing chunk ends.
        readonly property int standbyReadyBeforeMs: 1500
        // From a player's report of a frame to the frame on the screen, in step (the scene's next
        // frame and the compositor's): measured 25 to 33 ms at 9 tiles here.
        readonly property int displayLatencyMs: 30
        // ... and this much more per step of speed above 1x: at 4x the 9 tiles were 178 ms behind
        // the clock at the median with 30 ms alone (75 ms in all, times the speed).
        readonly property int displayLatencyGrowthMs: 15
    }


    readonly property QtObject theme: QtObject {
        readonly property color background: "darkGray"
        readonly property color darker1: Qt.darker(background, 1.1)
        readonly property color darker2: Qt.darker(background, 1.2)
        readonly property color lighter1: Qt.lighter(background, 1.1)
        readonly property color lighter2: Qt.lighter(background, 1.2)
        readonly property color foreColor: "white"

        readonly property color pageBackground: "black"
        readonly property color sidebarBackground: "black"
        readonly property color sidebarText: "white"
        readonly property color overlay: "black"
        readonly property real overlayHoverOpacity: 0.4
        readonly property real overlayPressedOpacity: 0.7
        readonly property color spliterHandle: "grey"
        readonly property color treeLine: "gray"
        readonly property color toolbar: "grey"
        readonly property real toolbarOpacity: 0.5
        readonly property color captionText: "black"
        readonly property color captionBackground: "white"
        readonly property real captionOpacity: 0.6
        // POS lines over video: white on a dark backing as wide as the text, outlined, so that
        // they read on a bright picture as on a dark one.
        readonly property color posText: "white"
        readonly property color posOutline: "black"
        readonly property color posBacking: "#a0000000"
        // The POS line a search result points at.
        readonly property color posMarkedBacking: "#c0a05a00"
        readonly property color timelineSpan: "steelblue"
        readonly property color timelineGap: "#202020"
        readonly property color timelinePos: "gold"
        readonly property color timelinePosition: "red"
        readonly property color timelineMark: "limegreen"
        // An event's moment, when the page was opened to look at it.
        readonly property color timelineMarkedMoment: "magenta"
        readonly property color timelineBookmark: "cyan"
        readonly property color timelineText: "white"
        readonly property color selectionFrame: "deepskyblue"
        readonly property color dialogText: "black"
        readonly property color errorText: "darkred"
        readonly property color selectedRow: "dimgray"
        // Readable on the black pages.
        readonly property color alertText: "orangered"
        readonly property real disabledOpacity: 0.5
        readonly property color noSignalBackground: "black"
        readonly property color statsText: "white"
        readonly property color statsAlertText: "red"
        readonly property color statsBackground: "black"
        readonly property real statsBackgroundOpacity: 0.6
        readonly property real noSignalOpacity: 0.6
        // The strip that says the server connection is lost.
        readonly property color connectionBanner: "darkred"
        readonly property color connectionBannerText: "white"
        readonly property color alarmPanelBackground: "#202020"
        // The count of alarms not acknowledged: red while there are any.
        readonly property color alarmBadge: "red"
        readonly property color alarmBadgeIdle: "dimgray"
        readonly property color alarmBadgeFlash: "yellow"
        readonly property color alarmBadgeText: "white"
        // An open alarm on a tile.
        readonly property color alarmMark: "red"
        readonly property color alarmMarkText: "white"
    }

    readonly property QtObject dialogs: QtObject {
        // Filled by the main page once it exists; until then the calls do nothing.
        property var _question: null
        property var _wait: null
        property var _endWait: null

        // Gives the dialog that asks, or null when no page asks questions yet.
        function question(message, title, handler) {
            if (Utils.isfunction(_question))
                return _question(message, title, handler)
            return null
        }

        function wait(message, title) {
            if (Utils.isfunction(_wait))
                _wait(message, title)
        }

        function endWait() {
            if (Utils.isfunction(_endWait))
                _endWait()
        }
    }

    // The interface languages. English is the source language; the choice is kept across runs.
    readonly property QtObject language: QtObject {
        // Each name is written in its own language, so that anyone finds theirs.
        readonly property var choices: [
            { code: "en", name: "English" },
            { code: "es", name: "Español" },
            { code: "pt", name: "Português" }
        ]
        // Code of the operator's last choice; empty when none was made (the source texts show).
        readonly property string current: languageStore.language

        function indexOf(code) {
            for (var i = 0; i < choices.length; ++i) {
                if (choices[i].code === code)
                    return i;
            }
            return -1;
        }

        // False when no translation matches; I18n has then logged why and nothing changes.
        function choose(code) {
            I18n.locale = code;
            if (I18n.locale !== code)
                return false;
            languageStore.language = code;
            return true;
        }

        function next() {
            var index = indexOf(current);
            return choose(choices[(index + 1) % choices.length].code);
        }
    }

    visible: false

    Component.onCompleted: {
        if (languageStore.language !== "" && !language.choose(languageStore.language))
            languageStore.language = "";
    }

    Settings {
        id: languageStore

        property string language: ""
    }
}
