import QtQuick 2.15
import QtQuick.Controls 2.15
import Native 1.0
import Config 1.0

// Picks the interface language. Without a choice the source texts (English) show.
ComboBox {
    id: languageBox

    function currentChoice() {
        return Math.max(0, G.language.indexOf(G.language.current));
    }

    objectName: "languageBox"
    Accessible.role: Accessible.ComboBox
    Accessible.name: qsTr("Language") + I18n.localeNotify
    textRole: "name"
    model: G.language.choices
    currentIndex: currentChoice()
    onActivated: function (index) {
        G.language.choose(G.language.choices[index].code);
        // Picking breaks the binding; a refused language must not stay shown as chosen.
        languageBox.currentIndex = Qt.binding(languageBox.currentChoice);
    }
}
