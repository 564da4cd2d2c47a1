import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import Config 1.0
import StationTest 1.0

// The language chosen in an earlier run comes back at start-up.
TestCase {
    id: testCase

    name: "LanguageStore"
    when: windowShown

    function initTestCase() {
        // Before anything reads the configuration singleton, which restores the choice once.
        TestStation.storeLoginFields({ language: "pt" });
    }

    function test_storedChoiceIsApplied() {
        compare(G.language.current, "pt");
        compare(I18n.locale, "pt", "the stored language is installed");
        compare(qsTranslate("main", "Client"), "Cliente");
    }
}
