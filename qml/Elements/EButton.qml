import QtQuick 2.15
import QtQuick.Controls 2.15
import Config 1.0

Button {
    id: button

    // What assistive tools call the button: its text, unless that is only a sign (an arrow).
    property string accessibleName: text

    Accessible.role: Accessible.Button
    Accessible.name: accessibleName

    background: Rectangle {
        color: button.pressed ? G.theme.darker1 : G.theme.lighter2
        opacity: button.enabled ? 1 : G.theme.disabledOpacity
    }
}
