import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Native 1.0
import Config 1.0

// The recorded page's day: the day before, the date as YYYY-MM-DD, the day after, today.
RowLayout {
    id: root

    property RecordedSession session: null

    spacing: G.metrics.spacing

    EButton {
        objectName: "previousDayButton"
        text: "\u25C0"
        accessibleName: qsTr("Previous day") + I18n.localeNotify
        onClicked: root.session.showDay(root.session.dayStart - 12 * 3600 * 1000)
    }

    ETextField {
        id: dayField

        objectName: "dayField"
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        inputMask: "9999-99-99"
        accessibleName: qsTr("Day (YYYY-MM-DD)") + I18n.localeNotify
        text: Qt.formatDate(new Date(root.session.dayStart), G.recorded.dayFormat)
        onEditingFinished: {
            var day = Date.fromLocaleString(Qt.locale("C"), text, "yyyy-MM-dd");
            if (isNaN(day.getTime()))
                text = Qt.formatDate(new Date(root.session.dayStart), G.recorded.dayFormat);
            else
                root.session.showDay(day.getTime());
        }
    }

    EButton {
        objectName: "nextDayButton"
        text: "\u25B6"
        accessibleName: qsTr("Next day") + I18n.localeNotify
        onClicked: root.session.showDay(root.session.dayEnd + 12 * 3600 * 1000)
    }

    EButton {
        objectName: "todayButton"
        text: qsTr("Today") + I18n.localeNotify
        onClicked: root.session.showDay(Date.now())
    }
}
