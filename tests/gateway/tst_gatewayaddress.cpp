// SPDX-License-Identifier: MIT
// Where a gateway is: the host taken from its "address" setting, the server's answer or this
// machine; its POS port from its "posPort" setting or the default; the requests built for it; and
// the log lines that say which source was taken.
#include <memory>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

#include "gatewayaddress.h"
#include "gatewaytypes.h"
#include "logcapture.h"
#include "objectstypes.h"
#include "vantorobject.h"
#include "vantorsetting.h"

namespace {

// A gateway object with these settings; a null QVariant leaves the setting out.
std::unique_ptr<VantorObject> gatewayWith(const QVariant& address, const QVariant& posPort = QVariant())
{
    auto gateway = std::make_unique<VantorObject>();
    gateway->setId(QStringLiteral("10"));
    gateway->setType(VantorObject::Device);
    if (!address.isNull())
        gateway->settings()->insert(QStringLiteral("address"), address.toString());
    if (!posPort.isNull())
        gateway->settings()->insert(QStringLiteral("posPort"), posPort.toString());
    return gateway;
}

QStringList debugLines(const LogCapture& log)
{
    return log.lines(QtDebugMsg);
}

} // namespace

class TestGatewayAddress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerObjectsTypes();
        registerGatewayTypes();
    }

    void usableHost_data();
    void usableHost();
    void httpHost_data();
    void httpHost();
    void posEndpoint_data();
    void posEndpoint();
    void requests();
    void chunkSpanOf_data();
    void chunkSpanOf();
    void reachableFromQml();
};

void TestGatewayAddress::usableHost_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("warned");

    QTest::newRow("empty") << ""
                           << "" << false;
    QTest::newRow("blanks only") << "  "
                                 << "" << false;
    QTest::newRow("IPv4, trimmed") << " 127.0.0.5 "
                                   << "127.0.0.5" << false;
    QTest::newRow("host name") << "gw-1.example"
                               << "gw-1.example" << false;
    QTest::newRow("bare IPv6") << "::1"
                               << "[::1]" << false;
    QTest::newRow("bare IPv6, long") << "fe80::1:2"
                                     << "[fe80::1:2]" << false;
    QTest::newRow("bracketed IPv6") << "[2001:db8::7]"
                                    << "[2001:db8::7]" << false;
    QTest::newRow("path and query") << "evil.example/x?"
                                    << "" << true;
    QTest::newRow("a port of its own") << "10.0.0.1:8080"
                                       << "" << true;
    QTest::newRow("user part") << "me@gw.example"
                               << "" << true;
    QTest::newRow("IPv4 in brackets") << "[10.0.0.1]"
                                      << "" << true;
    QTest::newRow("inner blank") << "gw example"
                                 << "" << true;
}

void TestGatewayAddress::usableHost()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(bool, warned);

    LogCapture log;
    QCOMPARE(GatewayAddress::usableHost(text), host);
    const QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), warned ? 1 : 0);
    if (warned)
        QCOMPARE(warnings.first(), QStringLiteral("Invalid gateway address: ") + text.trimmed());
}

void TestGatewayAddress::httpHost_data()
{
    QTest::addColumn<QVariant>("address"); // null: no gateway object at all
    QTest::addColumn<bool>("hasGateway");
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("lines");

    const QString ldap = QStringLiteral("GW address from LDAP");
    const QString server = QStringLiteral("GW address from streamInfo result");
    const QString fallback = QStringLiteral("GW address from fallback");

    QTest::newRow("the gateway's setting first") << QVariant(" 127.0.0.5 ") << true << "10.1.1.1"
                                                 << "127.0.0.5" << QStringList{ldap};
    QTest::newRow("empty setting: the server's answer") << QVariant("") << true << "10.1.1.1"
                                                        << "10.1.1.1" << QStringList{ldap, server};
    QTest::newRow("no setting: the server's answer") << QVariant() << true << "gw.example"
                                                     << "gw.example" << QStringList{server};
    QTest::newRow("unusable setting: the server's answer") << QVariant("gw.example/x?") << true << "10.1.1.1"
                                                           << "10.1.1.1" << QStringList{ldap, server};
    QTest::newRow("nothing anywhere: this machine") << QVariant() << true << ""
                                                    << "127.0.0.1" << QStringList{server, fallback};
    QTest::newRow("no gateway object, bare IPv6 answer") << QVariant() << false << "::1"
                                                         << "[::1]" << QStringList{server};
    QTest::newRow("no gateway object, unusable answer") << QVariant() << false << "a b"
                                                        << "127.0.0.1" << QStringList{server, fallback};
}

void TestGatewayAddress::httpHost()
{
    QFETCH(QVariant, address);
    QFETCH(bool, hasGateway);
    QFETCH(QString, serverAddress);
    QFETCH(QString, host);
    QFETCH(QStringList, lines);

    const std::unique_ptr<VantorObject> gateway = hasGateway ? gatewayWith(address) : nullptr;
    LogCapture log;
    QCOMPARE(GatewayAddress::httpHost(gateway.get(), serverAddress), host);
    QCOMPARE(debugLines(log), lines);
}

void TestGatewayAddress::posEndpoint_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<QVariant>("posPort");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("both settings") << QVariant("127.0.0.5") << QVariant(" 6001 ") << "127.0.0.5" << 6001
                                   << QStringList();
    QTest::newRow("no settings") << QVariant() << QVariant() << "127.0.0.1" << 5556 << QStringList();
    QTest::newRow("empty address keeps the default")
        << QVariant("") << QVariant() << "127.0.0.1" << 5556 << QStringList();
    QTest::newRow("unusable address keeps the default") << QVariant("gw/x") << QVariant() << "127.0.0.1" << 5556
                                                        << QStringList{QStringLiteral("Invalid gateway address: gw/x")};
    QTest::newRow("IPv6 address") << QVariant("fe80::2") << QVariant("7000") << "[fe80::2]" << 7000 << QStringList();
    QTest::newRow("port not a number") << QVariant("10.0.0.9") << QVariant("not a port") << "10.0.0.9" << 5556
                                       << QStringList{QStringLiteral("Invalid posPort: not a port using 5556")};
    QTest::newRow("port 0") << QVariant() << QVariant("0") << "127.0.0.1" << 5556
                            << QStringList{QStringLiteral("Invalid posPort: 0 using 5556")};
    QTest::newRow("port beyond 65535") << QVariant() << QVariant("65536") << "127.0.0.1" << 5556
                                       << QStringList{QStringLiteral("Invalid posPort: 65536 using 5556")};
    QTest::newRow("port with many digits") << QVariant() << QVariant("99999999999") << "127.0.0.1" << 5556
                                           << QStringList{QStringLiteral("Invalid posPort: 99999999999 using 5556")};
    QTest::newRow("negative port") << QVariant() << QVariant("-5") << "127.0.0.1" << 5556
                                   << QStringList{QStringLiteral("Invalid posPort: -5 using 5556")};
    QTest::newRow("empty port") << QVariant() << QVariant("") << "127.0.0.1" << 5556
                                << QStringList{QStringLiteral("Invalid posPort:  using 5556")};
}

void TestGatewayAddress::posEndpoint()
{
    QFETCH(QVariant, address);
    QFETCH(QVariant, posPort);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QStringList, warnings);

    const std::unique_ptr<VantorObject> gateway = gatewayWith(address, posPort);
    LogCapture log;
    const QVariantMap endpoint = GatewayAddress::posEndpoint(gateway.get());
    QCOMPARE(endpoint.value(QStringLiteral("host")).toString(), host);
    QCOMPARE(endpoint.value(QStringLiteral("port")).toInt(), port);
    QCOMPARE(log.lines(QtWarningMsg), warnings);
    // Each setting that exists is named as the source, good or not.
    QCOMPARE(log.count(QStringLiteral("GW address from LDAP")), address.isNull() ? 0 : 1);
    QCOMPARE(log.count(QStringLiteral("Port from LDAP")), posPort.isNull() ? 0 : 1);
}

void TestGatewayAddress::requests()
{
    QCOMPARE(GatewayAddress::posQueryUrl(QStringLiteral("127.0.0.5"), 9554, QStringLiteral("12"),
                                         QStringLiteral("5000"), QStringLiteral("6000")),
             QStringLiteral("http://127.0.0.5:9554/pos-data?strmId=12&from=5000&to=6000"));
    QCOMPARE(GatewayAddress::mediaUrl(QStringLiteral("[::1]"), 8000, QStringLiteral("12"), QStringLiteral("5000"),
                                      QStringLiteral("6000")),
             QStringLiteral("http://[::1]:8000/12-5000-6000"));
    // Whatever the ids hold stays inside its own part of the request.
    QCOMPARE(GatewayAddress::posQueryUrl(QStringLiteral("gw"), 1, QStringLiteral("1&to=9#"), QStringLiteral("%1"),
                                         QStringLiteral("a b")),
             QStringLiteral("http://gw:1/pos-data?strmId=1%26to%3D9%23&from=%251&to=a%20b"));
    QCOMPARE(GatewayAddress::mediaUrl(QStringLiteral("gw"), 1, QStringLiteral("../x"), QStringLiteral("1"),
                                      QStringLiteral("2?")),
             QStringLiteral("http://gw:1/..%2Fx-1-2%3F"));
}

void TestGatewayAddress::chunkSpanOf_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("found");
    QTest::addColumn<qlonglong>("start");
    QTest::addColumn<qlonglong>("end");

    QTest::newRow("as made") << GatewayAddress::mediaUrl("gw", 9554, "12", "1714550400000", "1714550410000") << true
                             << 1714550400000LL << 1714550410000LL;
    QTest::newRow("stream id with dashes")
        << GatewayAddress::mediaUrl("gw", 9554, "cam-3-b", "5000", "6000") << true << 5000LL << 6000LL;
    QTest::newRow("a moment") << "http://gw:1/12-5000-5000" << true << 5000LL << 5000LL;
    QTest::newRow("not a chunk") << "http://gw:1/cam1-a.mp4" << false << 0LL << 0LL;
    QTest::newRow("one time") << "http://gw:1/5000-6000" << false << 0LL << 0LL;
    QTest::newRow("end before start") << "http://gw:1/12-6000-5000" << false << 0LL << 0LL;
    QTest::newRow("times with text") << "http://gw:1/12-5000-6000.mp4" << false << 0LL << 0LL;
    QTest::newRow("a local file") << "/tmp/a.mp4" << false << 0LL << 0LL;
    QTest::newRow("empty") << "" << false << 0LL << 0LL;
}

void TestGatewayAddress::chunkSpanOf()
{
    QFETCH(QString, url);
    QFETCH(bool, found);
    QFETCH(qlonglong, start);
    QFETCH(qlonglong, end);
    qint64 gotStart = 0;
    qint64 gotEnd = 0;
    QCOMPARE(GatewayAddress::chunkSpanOf(url, &gotStart, &gotEnd), found);
    QCOMPARE(qlonglong(gotStart), start);
    QCOMPARE(qlonglong(gotEnd), end);
}

void TestGatewayAddress::reachableFromQml()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.15\nimport Native 1.0\nQtObject {\n"
                      "    property VantorObject gateway: null\n"
                      "    property var endpoint: GatewayAddress.posEndpoint(gateway)\n"
                      "    property var defaults: [GatewayAddress.defaultHost, GatewayAddress.defaultHttpPort,\n"
                      "                           GatewayAddress.defaultPosPort]\n"
                      "}\n",
                      QUrl());
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QCOMPARE(root->property("defaults").toList(), QVariantList({QStringLiteral("127.0.0.1"), 9554, 5556}));
    const QVariantMap none = root->property("endpoint").toMap();
    QCOMPARE(none.value(QStringLiteral("host")).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(none.value(QStringLiteral("port")).toInt(), 5556);

    const std::unique_ptr<VantorObject> gateway = gatewayWith(QStringLiteral("10.0.0.7"), QStringLiteral("6100"));
    QVERIFY(root->setProperty("gateway", QVariant::fromValue(gateway.get())));
    const QVariantMap given = root->property("endpoint").toMap();
    QCOMPARE(given.value(QStringLiteral("host")).toString(), QStringLiteral("10.0.0.7"));
    QCOMPARE(given.value(QStringLiteral("port")).toInt(), 6100);
}

QTEST_GUILESS_MAIN(TestGatewayAddress)
#include "tst_gatewayaddress.moc"
