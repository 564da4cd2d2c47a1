#include <QMetaProperty>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include "logcapture.h"
#include "objectstypes.h"
#include "servertypes.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

// The client without a server: its QML face, its properties, failed connects, and the failure line
// of every request (a client that never connected fails each one as not connected).
class TestClientOffline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerServerTypes();
        registerObjectsTypes();
    }

    void qmlTypes();
    void settersNotifyOnChange();
    void connectFails_data();
    void connectFails();
    void onlyTheLatestConnectCounts();
    void requestFailures_data();
    void requestFailures();
    void clientGoneBeforeCallbacks();
};

void TestClientOffline::qmlTypes()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.15\nimport Native 1.0\nQtObject {\n"
                      "    property VantorClient client: VantorClient {}\n"
                      "    property VantorObjectsRepository repo: VantorObjectsRepository {}\n"
                      "    property VantorObject object: VantorObject {}\n"
                      "    property VantorSetting setting: VantorSetting {}\n"
                      "    property var enums: [VantorClient.END, VantorClient.ProxyStorage, VantorClient.Closing,\n"
                      "                         VantorClient.AttrLayout, VantorObject.Actuator]\n"
                      "}\n",
                      QUrl());
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    for (const char* name : {"client", "repo", "object", "setting"})
        QVERIFY2(root->property(name).value<QObject*>(), name);
    QCOMPARE(root->property("enums").toList(), QVariantList({1, 3, 3, 1, 9}));
}

void TestClientOffline::settersNotifyOnChange()
{
    VantorClient client;
    VantorObjectsRepository repo;
    const QList<QPair<const char*, QVariant>> values{
        {"host", "127.0.0.1"},  {"port", 20101},          {"username", "operator"},
        {"password", "s3cret"}, {"status", "Signing in"}, {"repository", QVariant::fromValue(&repo)}};
    for (const auto& [name, value] : values) {
        const QMetaProperty meta = client.metaObject()->property(client.metaObject()->indexOfProperty(name));
        QSignalSpy notified(&client, meta.notifySignal());
        QVERIFY(meta.write(&client, value));
        QVERIFY(meta.write(&client, value));
        QVERIFY2(notified.count() == 1, name);
    }
    QCOMPARE(client.repository(), &repo);
}

void TestClientOffline::connectFails_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("code");

    QTest::newRow("no port") << "127.0.0.1" << 0 << "Code: 13";
    QTest::newRow("no host") << "" << 20101 << "Code: 2";
    QTcpServer free;
    free.listen(QHostAddress::LocalHost, 0);
    // Nobody answers there: the handshake times out.
    QTest::newRow("no answer") << "127.0.0.1" << int(free.serverPort()) << "Code: 1";
}

void TestClientOffline::connectFails()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, code);

    VantorClient client;
    QSignalSpy connected(&client, &VantorClient::connected);
    QSignalSpy failed(&client, &VantorClient::connectError);
    client.setHost(host);
    client.setPort(port);
    client.connectToVantor();
    QVERIFY(failed.wait(10000));
    const QStringList lines = failed.first().first().toString().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY(!lines.first().isEmpty());
    QCOMPARE(lines.last(), code);
    QCOMPARE(connected.count(), 0);
}

void TestClientOffline::onlyTheLatestConnectCounts()
{
    VantorClient client;
    QSignalSpy states(&client, &VantorClient::connectionStateChanged);
    QSignalSpy failed(&client, &VantorClient::connectError);
    client.setHost("no-such-host.invalid");
    client.setPort(20101);
    // Reconnect while the first attempt fails; whatever it still reports must stay silent.
    connect(&client, &VantorClient::connectionStateChanged, this, [&] {
        if (states.count() == 1) {
            client.setHost("127.0.0.1");
            client.setPort(0);
            client.connectToVantor();
        }
    });
    client.connectToVantor();
    QVERIFY(failed.wait(5000));
    // The superseded attempt's failure would follow within moments of the first report.
    const int supersededFailureWouldCome = 500;
    QVERIFY(!failed.wait(supersededFailureWouldCome));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString().section('\n', -1), QString("Code: 13"));
    QCOMPARE(states.count(), 1);
}

void TestClientOffline::requestFailures_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("line");

    const QString err = QStringLiteral(" \"Not connected\\nCode: 5\"");
    QTest::newRow("sendCtrlEvent") << "sendCtrlEvent"
                                   << "Event sending error: " + err;
    QTest::newRow("createAttr") << "createAttr"
                                << "DynAttr creation failed:" + err;
    QTest::newRow("getAttr") << "getAttr"
                             << "DynAttr getting failed: " + err;
    QTest::newRow("setAttr") << "setAttr"
                             << "DynAttr setting failed:" + err;
    QTest::newRow("removeAttr") << "removeAttr"
                                << "Attribute remove failed:" + err;
    QTest::newRow("bindStream") << "bindStream"
                                << "bindStream => Error: " + err;
    QTest::newRow("unbindStream") << "unbindStream"
                                  << "unbindStream => Error: " + err;
    QTest::newRow("searchChunks") << "searchChunks"
                                  << "searchChunks => Error: " + err;
    QTest::newRow("getStreamGatewayInfo") << "getStreamGatewayInfo" << err.mid(1);
    QTest::newRow("getActrValue") << "getActrValue"
                                  << "getActrValue error:" + err;
    QTest::newRow("setActrValue") << "setActrValue"
                                  << "setActrValue => Error: " + err;
    // These report by signal, with the text form alone.
    QTest::newRow("login") << "login"
                           << "Not connected\nCode: 5";
    QTest::newRow("fetchObjects") << "fetchObjects"
                                  << "Not connected\nCode: 5";
}

void TestClientOffline::requestFailures()
{
    QFETCH(QString, request);
    QFETCH(QString, line);

    VantorClient client;
    QSignalSpy loginError(&client, &VantorClient::loginError);
    QSignalSpy error(&client, &VantorClient::error);
    QSignalSpy data(&client, &VantorClient::dynamicAttributeReceived);
    LogCapture log;
    const QMap<QString, std::function<void()>> calls{
        {"sendCtrlEvent", [&] { client.sendCtrlEvent("5", "Open", {}); }},
        {"createAttr", [&] { client.createAttr("1", "a", 5); }},
        {"getAttr", [&] { client.getAttr("1", "a"); }},
        {"setAttr", [&] { client.setAttr("1", "a", "b"); }},
        {"removeAttr", [&] { client.removeAttr("1", "a"); }},
        {"bindStream", [&] { client.bindStream("3", "2", VantorClient::Proxy); }},
        {"unbindStream", [&] { client.unbindStream("3", "2"); }},
        {"searchChunks", [&] { client.searchChunks("3", VantorClient::START, 1, 2); }},
        {"getStreamGatewayInfo", [&] { client.getStreamGatewayInfo("2", "3"); }},
        {"getActrValue", [&] { client.getActrValue("7"); }},
        {"setActrValue", [&] { client.setActrValue("7", true); }},
        {"login", [&] { client.login(); }},
        {"fetchObjects", [&] { client.fetchObjects(); }},
    };
    calls.value(request)();
    if (request == "login" || request == "fetchObjects") {
        QSignalSpy& spy = request == "login" ? loginError : error;
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        QCOMPARE(spy.first().first().toString(), line);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(log.count(line), 1, 5000);
    }
    QCoreApplication::processEvents();
    QCOMPARE(data.count() + loginError.count() + error.count(), request == "login" || request == "fetchObjects");
}

void TestClientOffline::clientGoneBeforeCallbacks()
{
    // The failures of a client that never connected arrive on a library thread that outlives it;
    // they must find nothing left to post to, not even a log line (which, at exit, would reach a
    // message handler already gone).
    LogCapture log;
    for (int i = 0; i < 50; ++i) {
        auto* client = new VantorClient;
        VantorObject::setActuatorWriter(client);
        client->login();
        client->getActrValue("7");
        delete client;
        QVERIFY(!VantorObject::actuatorWriter());
    }
    // The library reports failures in the order of the requests: once a living client's has come,
    // all of the gone clients' have been dealt with.
    VantorClient living;
    living.getActrValue("7");
    QTRY_COMPARE_WITH_TIMEOUT(log.lines(QtDebugMsg).filter("getActrValue error:").size(), 1, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(log.lines(QtDebugMsg).filter("getActrValue error:").size(), 1);
}

QTEST_GUILESS_MAIN(TestClientOffline)
#include "tst_clientoffline.moc"
