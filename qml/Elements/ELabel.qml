import QtQuick 2.15
import QtQuick.Controls 2.15
import Config 1.0

// Text from servers and publishers is shown as it is, never as markup.
Label {
    textFormat: Text.PlainText
    color: G.theme.foreColor
}
