import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3
import QtQuick.Window 2.11
import Native 1.0
import "theme"

Window {
    id: root

    visible: true
    width: Theme.windowWidth
    height: Theme.windowHeight
    title: qsTr("List")
    flags: debug ? Qt.Window : (Qt.Window | Qt.FramelessWindowHint)

    SwipeView {
        id: pages

        objectName: "pages"
        anchors.fill: parent
        // Only the sign-in state decides the page; a swipe must not break that binding.
        interactive: false
        currentIndex: QuickRpc.loggedIn ? 1 : 0

        background: Rectangle {
            color: Theme.background
        }

        Page {
            id: signedOutPage

            background: Item {
            }

            Text {
                objectName: "loginHint"
                anchors.centerIn: parent
                color: Theme.text
                text: qsTr("Login to continue")
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        Page {
            id: menuPage

            background: Item {
            }

            ColumnLayout {
                anchors.fill: parent

                // The menu's headings and page names read the same in every language.
                Text {
                    objectName: "menuHeading"
                    color: Theme.text
                    font.bold: true
                    text: "Menu"
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }

                ComboBox {
                    id: pageBox

                    objectName: "pageBox"
                    Layout.fillWidth: true
                    clip: true
                    textRole: "label"
                    model: pageModel
                    Accessible.role: Accessible.ComboBox
                    Accessible.name: qsTr("Page")
                    onCurrentIndexChanged: {
                        if (currentIndex >= 0 && currentIndex < pageModel.count)
                            QuickRpc.setPage(pageModel.get(currentIndex).page);
                    }

                    ListModel {
                        id: pageModel

                        ListElement {
                            label: "Playback"
                            page: "playback"
                        }
                        ListElement {
                            label: "Recorder"
                            page: "recorder"
                        }
                    }
                }

                Text {
                    objectName: "layoutsHeading"
                    color: Theme.text
                    font.bold: true
                    text: "Layouts"
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }

                ListView {
                    id: layoutView

                    objectName: "layoutView"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: LayoutList
                    Accessible.role: Accessible.List
                    Accessible.name: qsTr("Layouts")

                    ScrollBar.vertical: ScrollBar {
                        id: layoutScrollBar

                        policy: ScrollBar.AlwaysOn
                        Accessible.role: Accessible.ScrollBar
                        Accessible.name: qsTr("Scroll the layouts")
                    }

                    delegate: ItemDelegate {
                        width: layoutView.width - layoutScrollBar.width
                        Accessible.role: Accessible.ListItem
                        Accessible.name: model.name
                        onClicked: QuickRpc.setLayout(model.name, model.json)

                        contentItem: Text {
                            color: Theme.text
                            elide: Text.ElideRight
                            verticalAlignment: Text.AlignVCenter
                            // Layout names come from the server.
                            textFormat: Text.PlainText
                            text: model.name
                        }
                    }
                }
            }
        }
    }
}
