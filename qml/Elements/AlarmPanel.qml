import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The station's alarms (or all its events), newest first, with their filters. The operator
// acknowledges them here and goes from one to its recorded video. Keys in the list: Up and Down
// move, Enter opens the video, A acknowledges.
Rectangle {
    id: panel

    // The events room of the application; null where there is none.
    property var alarms: App.alarms !== undefined ? App.alarms : null
    readonly property var model: alarms ? alarms.model : null
    readonly property alias list: list
    // The event classes the server and the station raise, by their titles in the events room.
    readonly property var knownClasses: [
        { value: "door.opened", title: QT_TRANSLATE_NOOP("EventClasses", "Door opened") },
        { value: "door.closed", title: QT_TRANSLATE_NOOP("EventClasses", "Door closed") },
        { value: "door.accessGranted", title: QT_TRANSLATE_NOOP("EventClasses", "Access granted") },
        { value: "door.accessDenied", title: QT_TRANSLATE_NOOP("EventClasses", "Access denied") },
        { value: "door.forcedOpen", title: QT_TRANSLATE_NOOP("EventClasses", "Door forced open") },
        { value: "door.heldOpen", title: QT_TRANSLATE_NOOP("EventClasses", "Door held open") },
        { value: "camera.motion", title: QT_TRANSLATE_NOOP("EventClasses", "Motion") },
        { value: "camera.tamper", title: QT_TRANSLATE_NOOP("EventClasses", "Camera tampered") },
        { value: "station.ack", title: QT_TRANSLATE_NOOP("EventClasses", "Alarm acknowledged") },
        { value: "station.doorCommand", title: QT_TRANSLATE_NOOP("EventClasses", "Door command") }
    ]
    readonly property var stateChoices: [
        { text: qsTr("All states") + I18n.localeNotify, value: "" },
        { text: qsTr("New") + I18n.localeNotify, value: "new" },
        { text: qsTr("Acknowledged") + I18n.localeNotify, value: "acknowledged" },
        { text: qsTr("Ended") + I18n.localeNotify, value: "ended" }
    ]
    // A short word to the operator (why nothing opened), shown for a while.
    property string noticeText: ""

    // The recorded video of an event: a map with "streamId", "deviceId", "from" and "moment".
    signal videoRequested(var video)

    function stateText(state, ackBy, ackTime) {
        var when = ackTime > 0 ? Qt.formatDateTime(new Date(ackTime), G.recorded.timeFormat) : "";
        var acknowledged = ackBy !== "" ? qsTr("acknowledged by %1, %2").arg(ackBy).arg(when)
                                        : qsTr("acknowledged, %1").arg(when);
        if (state === "new")
            return qsTr("New");
        if (state === "acknowledged")
            return acknowledged;
        if (state === "ended")
            return ackTime > 0 ? qsTr("Ended, %1").arg(acknowledged) : qsTr("Ended");
        return state;
    }

    function showNotice(text) {
        noticeText = text;
        noticeTimer.restart();
    }

    function openVideo(row) {
        if (!model || row < 0 || row >= model.count)
            return;
        var entry = model.get(row);
        var video = alarms.videoFor(entry.localId);
        if (!video || video.streamId === undefined || String(video.streamId) === "") {
            showNotice(qsTr("No camera sees this event's source") + I18n.localeNotify);
            return;
        }
        noticeText = "";
        videoRequested(video);
    }

    function acknowledgeRow(row) {
        if (!model || row < 0 || row >= model.count)
            return;
        alarms.acknowledge(model.get(row).localId);
    }

    // Asks first: many alarms may be shown, some not yet looked at.
    function askAcknowledgeShown() {
        confirmDialog.open();
    }

    objectName: "alarmPanel"
    color: G.theme.alarmPanelBackground

    Timer {
        id: noticeTimer

        interval: G.timings.alarmNoticeMs
        onTriggered: panel.noticeText = ""
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: G.metrics.spacing
        spacing: G.metrics.spacing

        RowLayout {
            Layout.fillWidth: true
            spacing: G.metrics.spacing

            ELabel {
                objectName: "alarmPanelHeading"
                Layout.fillWidth: true
                font.bold: true
                elide: Text.ElideRight
                text: (panel.model ? qsTr("Events shown: %1 of %2").arg(panel.model.count).arg(panel.model.totalCount)
                                   : "") + I18n.localeNotify
            }

            EButton {
                objectName: "muteButton"
                checkable: true
                checked: panel.alarms ? panel.alarms.muted : false
                text: (checked ? qsTr("Sound off") : qsTr("Sound on")) + I18n.localeNotify
                accessibleName: qsTr("Mute the alarm sound") + I18n.localeNotify
                onToggled: {
                    if (panel.alarms)
                        panel.alarms.muted = checked;
                }
            }
        }

        ETextField {
            objectName: "alarmTextFilter"
            Layout.fillWidth: true
            placeholderText: qsTr("Search the events") + I18n.localeNotify
            onTextChanged: {
                if (panel.model)
                    panel.model.textFilter = text;
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: G.metrics.spacing

            ComboBox {
                id: classBox

                objectName: "alarmClassFilter"
                Layout.fillWidth: true
                model: [qsTr("All classes") + I18n.localeNotify].concat(panel.knownClasses.map(function (known) {
                    return qsTranslate("EventClasses", known.title) + I18n.localeNotify;
                }))
                Accessible.role: Accessible.ComboBox
                Accessible.name: qsTr("Event class") + I18n.localeNotify
                onActivated: function (index) {
                    if (panel.model)
                        panel.model.classFilter = index > 0 ? panel.knownClasses[index - 1].value : "";
                }
            }

            ComboBox {
                objectName: "alarmStateFilter"
                Layout.fillWidth: true
                textRole: "text"
                model: panel.stateChoices
                Accessible.role: Accessible.ComboBox
                Accessible.name: qsTr("State") + I18n.localeNotify
                onActivated: function (index) {
                    if (panel.model)
                        panel.model.stateFilter = panel.stateChoices[index].value;
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: G.metrics.spacing

            ELabel {
                text: qsTr("Minimum priority") + I18n.localeNotify
            }

            SpinBox {
                objectName: "alarmMinPriority"
                from: 0
                to: 100
                stepSize: 10
                editable: true
                value: panel.model ? panel.model.minPriority : 0
                Accessible.role: Accessible.SpinBox
                Accessible.name: qsTr("Minimum priority") + I18n.localeNotify
                onValueModified: {
                    if (panel.model)
                        panel.model.minPriority = value;
                }
            }

        }

        RowLayout {
            Layout.fillWidth: true
            spacing: G.metrics.spacing

            Switch {
                objectName: "allEventsSwitch"
                // Readable on the panel's dark background.
                palette.windowText: G.theme.foreColor
                checked: panel.model ? !panel.model.alarmsOnly : false
                text: qsTr("All events") + I18n.localeNotify
                Accessible.role: Accessible.CheckBox
                Accessible.name: qsTr("All events") + I18n.localeNotify
                onToggled: {
                    if (panel.model)
                        panel.model.alarmsOnly = !checked;
                }
            }

            EButton {
                objectName: "acknowledgeShownButton"
                Layout.fillWidth: true
                enabled: panel.alarms !== null && panel.alarms.unacknowledgedCount > 0
                text: qsTr("Acknowledge all shown") + I18n.localeNotify
                onClicked: panel.askAcknowledgeShown()
            }
        }

        ELabel {
            objectName: "alarmNotice"
            Layout.fillWidth: true
            visible: panel.noticeText !== ""
            wrapMode: Text.Wrap
            color: G.theme.alertText
            text: panel.noticeText
        }

        ListView {
            id: list

            property bool listsRows: false

            objectName: "alarmList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            focus: true
            model: panel.model
            // Up to the journal's 200,000 rows: rows of one height, made once and reused.
            reuseItems: true
            boundsBehavior: Flickable.StopAtBounds
            highlightMoveDuration: 0
            Accessible.role: Accessible.List
            Accessible.name: qsTr("Events") + I18n.localeNotify

            ScrollBar.vertical: ScrollBar {}

            // The first rows of an empty list, in the log: what is listed can be followed there.
            onCountChanged: {
                if (count > 0 && !listsRows)
                    console.info("Alarm panel lists", count, panel.model.alarmsOnly ? "alarms" : "events");
                listsRows = count > 0;
            }

            Keys.onPressed: function (event) {
                if (event.modifiers & (Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier))
                    return;
                switch (event.key) {
                case Qt.Key_Return:
                case Qt.Key_Enter:
                    panel.openVideo(list.currentIndex);
                    break;
                case Qt.Key_A:
                    panel.acknowledgeRow(list.currentIndex);
                    break;
                default:
                    return;
                }
                event.accepted = true;
            }

            delegate: Rectangle {
                id: row

                readonly property string stateLine: panel.stateText(model.state, model.ackBy, model.ackTime)
                                                    + I18n.localeNotify

                objectName: "alarmRow"
                width: list.width
                height: G.metrics.alarmRowHeight
                color: ListView.isCurrentItem ? G.theme.selectedRow : G.theme.alarmPanelBackground
                Accessible.role: Accessible.ListItem
                Accessible.name: model.title + ", " + model.sourceName + ", " + model.timeText + ", " + row.stateLine
                Accessible.onPressAction: panel.openVideo(index)

                Rectangle {
                    objectName: "alarmPriorityMark"
                    width: G.metrics.alarmPriorityMarkWidth
                    height: parent.height - 2
                    anchors.verticalCenter: parent.verticalCenter
                    color: model.priorityColor
                }

                Text {
                    id: timeText

                    x: G.metrics.alarmPriorityMarkWidth + G.metrics.spacing
                    y: 2
                    color: G.theme.foreColor
                    textFormat: Text.PlainText
                    text: model.timeText
                }

                Text {
                    objectName: "alarmTitle"
                    anchors.left: timeText.right
                    anchors.leftMargin: G.metrics.spacing
                    anchors.right: parent.right
                    anchors.rightMargin: G.metrics.spacing
                    y: 2
                    elide: Text.ElideRight
                    font.bold: model.state === "new"
                    color: G.theme.foreColor
                    textFormat: Text.PlainText
                    text: model.title
                }

                Text {
                    objectName: "alarmSource"
                    x: timeText.x
                    width: parent.width / 2 - x
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: 2
                    elide: Text.ElideRight
                    color: G.theme.foreColor
                    textFormat: Text.PlainText
                    text: model.sourceName
                }

                Text {
                    objectName: "alarmState"
                    anchors.right: parent.right
                    anchors.rightMargin: G.metrics.spacing
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: 2
                    width: parent.width / 2 - G.metrics.spacing
                    horizontalAlignment: Text.AlignRight
                    elide: Text.ElideRight
                    color: model.state === "new" ? G.theme.alertText : G.theme.foreColor
                    textFormat: Text.PlainText
                    text: row.stateLine
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: {
                        list.currentIndex = index;
                        list.forceActiveFocus();
                    }
                    onDoubleClicked: panel.openVideo(index)
                }
            }
        }
    }

    Dialog {
        id: confirmDialog

        objectName: "acknowledgeShownDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        title: qsTr("Acknowledge alarms") + I18n.localeNotify
        standardButtons: Dialog.Yes | Dialog.No
        onAccepted: {
            if (panel.alarms)
                panel.alarms.acknowledgeShown();
            list.forceActiveFocus();
        }
        onRejected: list.forceActiveFocus()

        ELabel {
            color: G.theme.dialogText
            wrapMode: Text.Wrap
            text: qsTr("Acknowledge every unacknowledged alarm shown in the list?") + I18n.localeNotify
        }
    }
}
