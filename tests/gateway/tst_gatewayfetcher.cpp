// SPDX-License-Identifier: MIT
// The one HTTP path to the gateways, against the simulator's gateway: a document read whole, an
// error page, a gateway that is not there, one that never answers, and requests given up before
// their answer.
#include <memory>
#include <optional>

#include <QNetworkReply>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "freeports.h"
#include "gatewayfetcher.h"
#include "simprocess.h"
#include "testfiles.h"

namespace {

constexpr int TimeoutMs = 10000;

QByteArray gatewaySite()
{
    return R"({
    "name": "fetcher",
    "pos": {"rate": 0, "seed": 5},
    "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 11, "name": "Gateway", "type": 2, "parent": 1, "gateway": {}, "settings": {"address": "127.0.0.1"}},
        {"id": 21, "name": "Camera", "type": 10, "parent": 11}
    ],
    "recordings": [
        {"stream": 21, "chunks": [{"start": 1000, "end": 2000, "size": 100}],
         "pos": [{"time": 1500, "text": "TOTAL 3.50"}]}
    ]
})";
}

} // namespace

class TestGatewayFetcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void requestAsTheGatewayExpects();
    void answers_data();
    void answers();
    void gatewayThatNeverAnswers();
    void cancelledRequestCallsNothing();
    void requestGoesWithItsReceiver();

private:
    QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_httpPort).arg(path); }

    QTemporaryDir m_dir;
    SimProcess m_sim;
    int m_httpPort = 0;
};

void TestGatewayFetcher::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString site = m_dir.filePath(QStringLiteral("site.json"));
    QVERIFY(testsupport::writeFile(site, gatewaySite()));
    QVERIFY2(m_sim.start(site), qPrintable(m_sim.output()));
    m_httpPort = m_sim.gateway(11).http;
    QVERIFY(m_httpPort > 0);
}

void TestGatewayFetcher::requestAsTheGatewayExpects()
{
    const QNetworkRequest plain = GatewayFetcher::request(QUrl(QStringLiteral("http://gw/21-1-2")));
    QCOMPARE(plain.rawHeader("User-Agent"), QByteArray("PELMAR client"));
    // No idle connection holds one of the gateway's workers.
    QCOMPARE(plain.rawHeader("Connection"), QByteArray("close"));
    QCOMPARE(plain.attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
             int(QNetworkRequest::NoLessSafeRedirectPolicy));
    QCOMPARE(plain.transferTimeout(), 0);
    QCOMPARE(GatewayFetcher::request(QUrl(QStringLiteral("http://gw/x")), 2500).transferTimeout(), 2500);
}

void TestGatewayFetcher::answers_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error");

    QTest::newRow("a document") << url(QStringLiteral("/pos-data?strmId=21&from=1000&to=2000")) << 200 << true
                                << QByteArray("TOTAL 3.50") << QString();
    QTest::newRow("an error page") << url(QStringLiteral("/pos-data?strmId=99&from=1000&to=2000")) << 404 << false
                                   << QByteArray("unknown stream 99") << QStringLiteral("HTTP 404 Not Found");
    QTest::newRow("a refused request") << url(QStringLiteral("/pos-data?strmId=21")) << 400 << false
                                       << QByteArray("missing query key from")
                                       << QStringLiteral("HTTP 400 Bad Request");
    const int closed = testsupport::freePort();
    QTest::newRow("nobody there") << QStringLiteral("http://127.0.0.1:%1/pos-data").arg(closed) << 0 << false
                                  << QByteArray() << QStringLiteral("refused");
}

void TestGatewayFetcher::answers()
{
    QFETCH(QString, address);
    QFETCH(int, status);
    QFETCH(bool, ok);
    QFETCH(QByteArray, body);
    QFETCH(QString, error);

    GatewayFetcher fetcher;
    std::optional<GatewayFetcher::Answer> answer;
    int calls = 0;
    QPointer<QNetworkReply> reply = fetcher.fetch(QUrl(address), TimeoutMs, this, [&](const GatewayFetcher::Answer& a) {
        answer = a;
        ++calls;
    });
    QVERIFY(reply);
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), TimeoutMs);
    QCOMPARE(answer->status, status);
    QCOMPARE(answer->ok(), ok);
    QVERIFY2(answer->body.contains(body), answer->body.constData());
    QVERIFY2(answer->error.contains(error, Qt::CaseInsensitive), qPrintable(answer->error));
    QCOMPARE(answer->error.isEmpty(), error.isEmpty());
    QVERIFY(!answer->timedOut);
    // Its reply goes once it has been read.
    QTRY_VERIFY(reply.isNull());
    QCOMPARE(calls, 1);
}

void TestGatewayFetcher::gatewayThatNeverAnswers()
{
    // Takes the connection, never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    GatewayFetcher fetcher;
    std::optional<GatewayFetcher::Answer> answer;
    QElapsedTimer clock;
    clock.start();
    fetcher.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/pos-data").arg(silent.serverPort())), 300, this,
                  [&](const GatewayFetcher::Answer& a) { answer = a; });
    QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), TimeoutMs);
    QVERIFY(answer->timedOut);
    QCOMPARE(answer->status, 0);
    QVERIFY(!answer->ok());
    QVERIFY(!answer->error.isEmpty());
    QVERIFY2(clock.elapsed() >= 300, "not before its time");
}

void TestGatewayFetcher::cancelledRequestCallsNothing()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    GatewayFetcher fetcher;
    int cancelledCalls = 0;
    QPointer<QNetworkReply> cancelled =
        fetcher.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/pos-data").arg(silent.serverPort())), 200, this,
                      [&](const GatewayFetcher::Answer&) { ++cancelledCalls; });
    GatewayFetcher::cancel(cancelled);
    QCOMPARE(cancelledCalls, 0);
    QTRY_VERIFY(cancelled.isNull());

    // A later request that ends after the cancelled one would have timed out: still no call.
    bool later = false;
    fetcher.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/pos-data").arg(silent.serverPort())), 400, this,
                  [&](const GatewayFetcher::Answer&) { later = true; });
    QTRY_VERIFY_WITH_TIMEOUT(later, TimeoutMs);
    QCOMPARE(cancelledCalls, 0);
    // Cancelling what is gone or was never there does nothing.
    GatewayFetcher::cancel(cancelled);
    GatewayFetcher::cancel(nullptr);
}

void TestGatewayFetcher::requestGoesWithItsReceiver()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    GatewayFetcher fetcher;
    auto receiver = std::make_unique<QObject>();
    bool called = false;
    QPointer<QNetworkReply> reply =
        fetcher.fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/pos-data").arg(silent.serverPort())), 200,
                      receiver.get(), [&](const GatewayFetcher::Answer&) { called = true; });
    QVERIFY(reply);
    receiver.reset();
    QTRY_VERIFY2(reply.isNull(), "the request is given up with the one who waited for it");
    QVERIFY(!called);
}

QTEST_GUILESS_MAIN(TestGatewayFetcher)
#include "tst_gatewayfetcher.moc"
