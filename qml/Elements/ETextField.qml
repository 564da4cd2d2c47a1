import QtQuick 2.15
import QtQuick.Controls 2.15

TextField {
    // What assistive tools call the field; its placeholder unless a label beside it says more.
    property string accessibleName: placeholderText

    Accessible.role: Accessible.EditableText
    Accessible.name: accessibleName
}
