import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.3
import QtQuick.Window 2.11
import Native 1.0

Window {
    id: root

    visible: true
    width: 640
    height: 480
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
            color: "black"
        }

        Page {
            id: signedOutPage

            background: Item {
            }

            Text {
                objectName: "loginHint"
                anchors.centerIn: parent
                color: "white"
                text: qsTr("Login to continue")
            }
        }

        Page {
            id: menuPage

            background: Item {
            }

            ColumnLayout {
                anchors.fill: parent

                Text {
                    color: "white"
                    font.bold: true
                    text: "Menu"
                }

                ComboBox {
                    id: pageBox

                    objectName: "pageBox"
                    Layout.fillWidth: true
                    clip: true
                    textRole: "label"
                    model: pageModel
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
                    color: "white"
                    font.bold: true
                    text: "Layouts"
                }

                ListView {
                    id: layoutView

                    objectName: "layoutView"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: LayoutList

                    ScrollBar.vertical: ScrollBar {
                        id: layoutScrollBar

                        policy: ScrollBar.AlwaysOn
                    }

                    delegate: ItemDelegate {
                        width: layoutView.width - layoutScrollBar.width
                        onClicked: QuickRpc.setLayout(model.name, model.json)

                        contentItem: Text {
                            color: "white"
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
