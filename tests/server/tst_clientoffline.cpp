#include <QMetaProperty>
#include <QSignalSpy>
#include <QtTest>

#include "messagelog.h"
#include "simprocess.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

// The client without a server: property rules, connection failures and the failure line of every
// request (a client that never connected fails each request as not connected).
class TestClientOffline : public QObject
{
    Q_OBJECT

private slots:
    void settersNotifyOnChange_data();
    void settersNotifyOnChange();
    void connectFails_data();
    void connectFails();
    void onlyTheLatestConnectCounts();
    void signInAndFetchBeforeConnect();
    void requestFailureLines_data();
    void requestFailureLines();
    void clientGoneBeforeCallbacks();
    void actuatorWriterClearedWithClient();
};

void TestClientOffline::settersNotifyOnChange_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("host") << QByteArray("host") << QVariant("127.0.0.1");
    QTest::newRow("port") << QByteArray("port") << QVariant(20101);
    QTest::newRow("username") << QByteArray("username") << QVariant("operator");
    QTest::newRow("password") << QByteArray("password") << QVariant("s3cret");
    QTest::newRow("status") << QByteArray("status") << QVariant("Signing in");
}

void TestClientOffline::settersNotifyOnChange()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);

    VantorClient client;
    const QMetaProperty meta = client.metaObject()->property(client.metaObject()->indexOfProperty(property));
    QVERIFY(meta.isValid());
    QSignalSpy notified(&client, meta.notifySignal());
    QVERIFY(meta.write(&client, value));
    QVERIFY(meta.write(&client, value));
    QCOMPARE(notified.count(), 1);
    QCOMPARE(meta.read(&client), value);

    VantorObjectsRepository repo;
    QSignalSpy repositoryChanged(&client, &VantorClient::repositoryChanged);
    client.setRepository(&repo);
    client.setRepository(&repo);
    QCOMPARE(repositoryChanged.count(), 1);
    QCOMPARE(client.repository(), &repo);
}

void TestClientOffline::connectFails_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("codeLine");

    QTest::newRow("no port") << "127.0.0.1" << 0 << "Code: 13";
    QTest::newRow("no host") << "" << 20101 << "Code: 2";
    // Nobody listens there: the handshake times out.
    QTest::newRow("no answer") << "127.0.0.1" << SimProcess::freePort() << "Code: 1";
}

void TestClientOffline::connectFails()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, codeLine);

    VantorClient client;
    QSignalSpy connected(&client, &VantorClient::connected);
    QSignalSpy failed(&client, &VantorClient::connectError);
    client.setHost(host);
    client.setPort(port);
    client.connectToVantor();

    QVERIFY(failed.wait(10000));
    const QString message = failed.first().first().toString();
    const QStringList lines = message.split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(!lines.first().isEmpty(), qPrintable(message));
    QCOMPARE(lines.last(), codeLine);
    QCOMPARE(connected.count(), 0);
}

void TestClientOffline::onlyTheLatestConnectCounts()
{
    VantorClient client;
    QSignalSpy failed(&client, &VantorClient::connectError);
    client.setHost("127.0.0.1");
    client.setPort(SimProcess::freePort());
    client.connectToVantor();
    client.setPort(0);
    client.connectToVantor();

    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.first().first().toString().section('\n', -1), QString("Code: 13"));
    // The replaced attempt would fail after its handshake timeout; it must stay silent.
    QVERIFY(!failed.wait(4500));
    QCOMPARE(failed.count(), 1);
}

void TestClientOffline::signInAndFetchBeforeConnect()
{
    VantorClient client;
    QSignalSpy loginError(&client, &VantorClient::loginError);
    QSignalSpy loggedIn(&client, &VantorClient::loggedIn);
    QSignalSpy error(&client, &VantorClient::error);
    client.login();
    client.fetchObjects();
    QTRY_COMPARE_WITH_TIMEOUT(loginError.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(error.count(), 1, 5000);
    QCOMPARE(loginError.first().first().toString(), QString("Not connected\nCode: 5"));
    QCOMPARE(error.first().first().toString(), QString("Not connected\nCode: 5"));
    QCOMPARE(loggedIn.count(), 0);

    // Callbacks of the pass-through requests run as given, and missing ones are no fault.
    bool failedOnce = false;
    client.getDynamicAttribute(
        1, "", [](const pelmar::vantor::NameValueMap&) {}, [&](const pelmar::vantor::HandlerError& e) {
            failedOnce = e.code() == pelmar::vantor::ErrNotConnected;
        });
    client.getDynamicAttribute(1, "", {});
    client.getObjects({}, {});
    QTRY_VERIFY_WITH_TIMEOUT(failedOnce, 5000);
}

void TestClientOffline::requestFailureLines_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("line");

    const QString err = QStringLiteral(" \"Not connected\\nCode: 5\"");
    QTest::newRow("sendCtrlEvent") << "sendCtrlEvent" << int(QtInfoMsg) << "Event sending error: " + err;
    QTest::newRow("createAttr") << "createAttr" << int(QtInfoMsg) << "DynAttr creation failed:" + err;
    QTest::newRow("getAttr") << "getAttr" << int(QtInfoMsg) << "DynAttr getting failed: " + err;
    QTest::newRow("setAttr") << "setAttr" << int(QtInfoMsg) << "DynAttr setting failed:" + err;
    QTest::newRow("removeAttr") << "removeAttr" << int(QtDebugMsg) << "Attribute remove failed:" + err;
    QTest::newRow("bindStream") << "bindStream" << int(QtDebugMsg) << "bindStream => Error: " + err;
    QTest::newRow("unbindStream") << "unbindStream" << int(QtDebugMsg) << "unbindStream => Error: " + err;
    QTest::newRow("searchChunks") << "searchChunks" << int(QtDebugMsg) << "searchChunks => Error: " + err;
    QTest::newRow("getStreamGatewayInfo") << "getStreamGatewayInfo" << int(QtDebugMsg) << "\"Not connected\\nCode: 5\"";
    QTest::newRow("getActrValue") << "getActrValue" << int(QtDebugMsg) << "getActrValue error:" + err;
    QTest::newRow("setActrValue") << "setActrValue" << int(QtDebugMsg) << "setActrValue => Error: " + err;
}

void TestClientOffline::requestFailureLines()
{
    QFETCH(QString, request);
    QFETCH(int, type);
    QFETCH(QString, line);

    VantorClient client;
    QSignalSpy chunks(&client, &VantorClient::streamChunksReceived);
    QSignalSpy info(&client, &VantorClient::streamInfoReceived);
    QSignalSpy attrs(&client, &VantorClient::dynamicAttributeReceived);
    MessageLog log;
    if (request == "sendCtrlEvent")
        client.sendCtrlEvent("5", "Open", {});
    else if (request == "createAttr")
        client.createAttr("1", "a", 5);
    else if (request == "getAttr")
        client.getAttr("1", "a");
    else if (request == "setAttr")
        client.setAttr("1", "a", "b");
    else if (request == "removeAttr")
        client.removeAttr("1", "a");
    else if (request == "bindStream")
        client.bindStream("3", "2", VantorClient::Proxy);
    else if (request == "unbindStream")
        client.unbindStream("3", "2");
    else if (request == "searchChunks")
        client.searchChunks("3", VantorClient::START, 1, 2);
    else if (request == "getStreamGatewayInfo")
        client.getStreamGatewayInfo("2", "3");
    else if (request == "getActrValue")
        client.getActrValue("7");
    else if (request == "setActrValue")
        client.setActrValue("7", true);

    QTRY_COMPARE_WITH_TIMEOUT(log.count(QtMsgType(type), line), 1, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(chunks.count() + info.count() + attrs.count(), 0);
}

void TestClientOffline::clientGoneBeforeCallbacks()
{
    // Failures of a client that never connected arrive on a library thread that outlives the
    // client; they must find nothing to post to.
    MessageLog log;
    for (int i = 0; i < 50; ++i) {
        auto* client = new VantorClient;
        client->login();
        client->fetchObjects();
        client->getAttr("1", "");
        client->getActrValue("7");
        delete client;
    }
    QTRY_COMPARE_WITH_TIMEOUT(log.countStartingWith(QtDebugMsg, "getActrValue error:"), 50, 5000);
    QCoreApplication::processEvents();
}

void TestClientOffline::actuatorWriterClearedWithClient()
{
    {
        VantorClient client;
        VantorObject::setActuatorWriter(&client);
        QCOMPARE(VantorObject::actuatorWriter(), static_cast<ActuatorWriter*>(&client));
    }
    QVERIFY(!VantorObject::actuatorWriter());
}

QTEST_GUILESS_MAIN(TestClientOffline)
#include "tst_clientoffline.moc"
