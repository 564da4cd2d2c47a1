import QtQuick 2.15
import QtTest 1.15
import Native 1.0
import Config 1.0
import StationTest 1.0

// Switching the language while the program runs re-translates what is on screen.
TestCase {
    id: testCase

    property Component loginComponent: Qt.createComponent("qrc:/qml/LoginPage.qml")
    property Component recordedComponent: Qt.createComponent("qrc:/qml/RecordedPage.qml")
    property Component windowComponent: Qt.createComponent("qrc:/qml/main.qml")

    name: "Locale"
    width: 800
    height: 600
    visible: true
    when: windowShown

    function create(component) {
        compare(component.status, Component.Ready, component.errorString());
        var item = createTemporaryObject(component, testCase, { width: 800, height: 600 });
        verify(item !== null, "the page loads");
        return item;
    }

    function labelTexts(root) {
        var found = [];
        var queue = [root];
        while (queue.length > 0) {
            var item = queue.shift();
            if (item.text !== undefined && typeof item.text === "string" && item.visible)
                found.push(item.text);
            for (var i = 0; i < item.children.length; ++i)
                queue.push(item.children[i]);
        }
        return found;
    }

    function initTestCase() {
        // Nothing stored: the login page waits, and no language was chosen before.
        TestStation.storeLoginFields({});
        App.layoutModel.fromJson(JSON.stringify({ numRows: 1, numCols: 1, elements: [
            { row: 0, col: 0, rowSpan: 1, colSpan: 1, type: "video", label: "Cam", deviceId: "10", objectId: "11" }
        ] }));
    }

    function cleanup() {
        G.language.choose("en");
    }

    function test_pagesFollowTheLocale_data() {
        return [
            { tag: "Spanish", locale: "es", login: ["Idioma", "información del servidor", "Host", "Puerto",
                                                     "credenciales de acceso", "Usuario", "Contraseña",
                                                     "Iniciar sesión"],
              recorded: ["Flujos disponibles", "Fragmentos grabados"], start: "inicio: ", end: "fin: ",
              failure: "No se pudo descargar el fragmento: HTTP 404" },
            { tag: "Portuguese", locale: "pt_BR", login: ["Idioma", "informações do servidor", "Porta",
                                                          "credenciais de acesso", "Usuário", "Senha", "Entrar"],
              recorded: ["Fluxos disponíveis", "Trechos gravados"], start: "início: ", end: "fim: ",
              failure: "Não foi possível baixar o trecho: HTTP 404" }
        ];
    }

    function test_pagesFollowTheLocale(data) {
        var login = create(loginComponent);
        var recorded = create(recordedComponent);
        recorded.chooseStream("10", "11");
        App.vantorClient.streamChunksReceived([{ streamId: 11, start: 1714550400000, end: 1714550410000, size: 1 }]);
        recorded.downloader.failed("HTTP 404");
        var chunkList = findChild(recorded, "chunkList");
        tryVerify(function () { return findChild(chunkList, "chunkStart") !== null; }, 3000, "the chunk's row is shown");
        compare(findChild(recorded, "downloadError").text, "The chunk could not be fetched: HTTP 404");
        verify(labelTexts(login).indexOf("Username") >= 0, "English first");

        I18n.locale = data.locale;
        compare(I18n.locale, data.locale);
        var loginTexts = labelTexts(login);
        for (var i = 0; i < data.login.length; ++i)
            verify(loginTexts.indexOf(data.login[i]) >= 0, data.login[i] + " in " + JSON.stringify(loginTexts));
        compare(findChild(login, "btnLogin").text, data.login[data.login.length - 1]);
        var recordedTexts = labelTexts(recorded);
        for (var j = 0; j < data.recorded.length; ++j)
            verify(recordedTexts.indexOf(data.recorded[j]) >= 0, data.recorded[j] + " in " + JSON.stringify(recordedTexts));
        var row = findChild(chunkList, "chunkStart");
        verify(row.text.indexOf(data.start) === 0, row.text);
        verify(findChild(chunkList, "chunkEnd").text.indexOf(data.end) === 0, findChild(chunkList, "chunkEnd").text);
        compare(findChild(recorded, "downloadError").text, data.failure, "the failure keeps its reason");

        I18n.locale = "en";
        verify(labelTexts(login).indexOf("Username") >= 0, "back to English");
        verify(labelTexts(recorded).indexOf("Available streams") >= 0);
    }

    function test_languageBoxOnTheLoginPage() {
        var login = create(loginComponent);
        var box = findChild(login, "languageBox");
        verify(box !== null, "the login page offers the languages");
        compare(box.count, 3);
        compare(box.currentIndex, 0, "English while nothing was chosen");

        box.activated(2);
        compare(I18n.locale, "pt");
        compare(G.language.current, "pt", "the choice is kept");
        compare(findChild(login, "languageLabel").text, "Idioma");
        compare(box.currentText, "Português");

        box.activated(1);
        compare(I18n.locale, "es");
        compare(findChild(login, "btnLogin").text, "Iniciar sesión");
        compare(box.currentIndex, 1);
    }

    function test_refusedLanguageChangesNothing() {
        G.language.choose("es");
        ignoreWarning('Failed to apply locale: "fr"');
        compare(G.language.choose("fr"), false, "there is no French translation");
        compare(I18n.locale, "es");
        compare(G.language.current, "es");
    }

    function test_shortcutCyclesTheWindowLanguage() {
        G.language.choose("en");
        compare(windowComponent.status, Component.Ready, windowComponent.errorString());
        var window = createTemporaryObject(windowComponent, testCase);
        verify(window !== null);
        window.requestActivate();
        tryCompare(window, "active", true);
        compare(window.title, "Client");

        keyClick(Qt.Key_L, Qt.ControlModifier | Qt.ShiftModifier);
        compare(I18n.locale, "es");
        compare(window.title, "Cliente");
        keyClick(Qt.Key_L, Qt.ControlModifier | Qt.ShiftModifier);
        compare(I18n.locale, "pt");
        keyClick(Qt.Key_L, Qt.ControlModifier | Qt.ShiftModifier);
        compare(I18n.locale, "en");
        compare(window.title, "Client");
    }
}
