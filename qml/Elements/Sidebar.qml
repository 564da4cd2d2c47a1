import QtQuick 2.15
import Native 1.0
import Config 1.0

Rectangle {
    id: sidebar

    property bool isOpen: false
    property string currentCode: "cameras"
    // The labels are marked for translation only; the menu shows its icons.
    readonly property var entries: [
        { label: QT_TR_NOOP("Layout"), code: "layout", image: "qrc:/images/layout.svg" },
        { label: QT_TR_NOOP("Recorded"), code: "recorded", image: "qrc:/images/rec.svg" },
        { label: QT_TR_NOOP("Exit"), code: "exit", image: "qrc:/images/sidebar/exit.svg" }
    ]

    signal layoutChanged(string layout, string json)
    signal clicked(string code)

    color: G.theme.sidebarBackground
    width: isOpen ? G.metrics.sidebar.openedWidth : G.metrics.sidebar.closedWidth

    Behavior on width {
        NumberAnimation {
            duration: G.timings.sidebarAnimationMs
            easing.type: Easing.OutExpo
        }
    }

    Column {
        id: menu

        Repeater {
            model: sidebar.entries

            delegate: EToolButton {
                objectName: "menu_" + modelData.code
                width: G.metrics.sidebar.iconSize
                height: G.metrics.sidebar.iconSize
                source: modelData.image
                accessibleName: qsTr(modelData.label) + I18n.localeNotify
                onClicked: {
                    sidebar.currentCode = modelData.code;
                    sidebar.clicked(modelData.code);
                }
            }
        }
    }

    ListView {
        id: layouts

        anchors.top: menu.bottom
        anchors.bottom: parent.bottom
        width: parent.width
        clip: true
        visible: sidebar.isOpen
        model: App.layoutsList

        delegate: Rectangle {
            width: ListView.view.width
            height: nameLabel.implicitHeight + 2 * G.metrics.spacing
            color: G.theme.sidebarBackground

            ELabel {
                id: nameLabel

                anchors.verticalCenter: parent.verticalCenter
                x: G.metrics.spacing
                width: parent.width - 2 * G.metrics.spacing
                elide: Text.ElideRight
                color: G.theme.sidebarText
                text: model.name
            }

            Accessible.role: Accessible.ListItem
            Accessible.name: model.name
            Accessible.onPressAction: sidebar.layoutChanged(model.name, model.json)

            MouseArea {
                anchors.fill: parent
                onClicked: sidebar.layoutChanged(model.name, model.json)
            }
        }
    }
}
