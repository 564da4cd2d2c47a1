// SPDX-License-Identifier: MIT
// The client side of a stream gateway, against the simulator: recorded chunks over HTTP (and the
// tests' HTTP server for what the gateway never does: cut a transfer short, stall, show the
// request it got), and POS receipts over ZeroMQ.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "downloader.h"
#include "freeports.h"
#include "posreceiver.h"
#include "simprocess.h"
#include "testhttpserver.h"
#include "videotypes.h"

namespace {

constexpr int transferMs = 60000; // the simulator makes its media with ffmpeg on first use
constexpr int timeoutMs = 10000;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A reply that promises `contentLength` bytes and sends `body`, then ends as `ending` says.
TestHttpServer::Reply shortReply(const QByteArray& body, qint64 contentLength, TestHttpServer::Ending ending)
{
    TestHttpServer::Reply reply = TestHttpServer::Reply::ok(body, "video/mp4");
    reply.contentLength = contentLength;
    reply.ending = ending;
    return reply;
}

} // namespace

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void chunkArrivesWhole();
    void secondDownloadReplacesTheFirst();
    void refusedChunkFails();
    void cutShortTransferFails();
    void requestCarriesTheClientName();
    void cancel();
    void creatableInQml();
    void receiptsReachPosReceived();

private:
    QByteArray fetch(const QString& url);
    QString chunkUrl(qint64 start, qint64 end) const;

    SimProcess m_sim;
    int m_httpPort = 0;
};

void TestGateway::initTestCase()
{
    registerVideoTypes();
    // Receipts come fast, so that a few arrive at once.
    QVERIFY2(m_sim.start(QStringLiteral(VIDEO_TEST_SITES "/gateway.json"), {"--pos-rate", "50"}),
             qPrintable(m_sim.errorText()));
    m_httpPort = m_sim.gateway(11).http;
    QVERIFY(m_httpPort > 0);
}

QString TestGateway::chunkUrl(qint64 start, qint64 end) const
{
    return QStringLiteral("http://127.0.0.1:%1/21-%2-%3").arg(m_httpPort).arg(start).arg(end);
}

// The same resource fetched independently, to compare with.
QByteArray TestGateway::fetch(const QString& url)
{
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url)));
    QSignalSpy done(reply, &QNetworkReply::finished);
    if (!done.wait(transferMs))
        return QByteArray();
    const QByteArray bytes = reply->readAll();
    delete reply;
    return bytes;
}

void TestGateway::chunkArrivesWhole()
{
    Downloader downloader;
    QSignalSpy finished(&downloader, &Downloader::finished);
    QSignalSpy failed(&downloader, &Downloader::failed);
    QSignalSpy progress(&downloader, &Downloader::progress);
    QSignalSpy pathChanged(&downloader, &Downloader::filePathChanged);
    downloader.setUrl(chunkUrl(1000, 2000));
    downloader.download();
    QVERIFY(finished.wait(transferMs));
    QCOMPARE(failed.count(), 0);

    // The file sits in a folder of this process alone, under the temporary folder.
    const QFileInfo file(downloader.filePath());
    QCOMPARE(file.fileName(), QStringLiteral("recorder"));
    QCOMPARE(QFileInfo(file.absolutePath()).absolutePath(), QDir::tempPath());
    QCOMPARE(QFile::permissions(file.absolutePath()) & 0x0077, QFileDevice::Permissions());
    QCOMPARE(pathChanged.count(), 1);

    const QByteArray bytes = readFile(downloader.filePath());
    QVERIFY(bytes.size() > 1000);
    QCOMPARE(bytes.mid(4, 4), QByteArray("ftyp"));
    QCOMPARE(bytes, fetch(chunkUrl(1000, 2000)));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(bytes.size()));
}

void TestGateway::secondDownloadReplacesTheFirst()
{
    Downloader downloader;
    QSignalSpy finished(&downloader, &Downloader::finished);
    downloader.setUrl(chunkUrl(2000, 3000));
    downloader.download();
    QVERIFY(finished.wait(transferMs));
    QVERIFY(readFile(downloader.filePath()).size() > 1000);

    // A shorter resource of the same gateway: nothing of the first may stay behind it.
    const QString posUrl = QStringLiteral("http://127.0.0.1:%1/pos-data?strmId=21&from=1000&to=3000").arg(m_httpPort);
    downloader.setUrl(posUrl);
    downloader.download();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, timeoutMs);
    const QByteArray expected = fetch(posUrl);
    QVERIFY(expected.contains("TOTAL 3.50"));
    QCOMPARE(readFile(downloader.filePath()), expected);

    // A download started over while one is running leaves only the last one, reported once.
    downloader.setUrl(chunkUrl(1000, 2000));
    downloader.download();
    downloader.setUrl(posUrl);
    downloader.download();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, timeoutMs);
    QCOMPARE(readFile(downloader.filePath()), expected);
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 3);
}

void TestGateway::refusedChunkFails()
{
    Downloader downloader;
    QSignalSpy finished(&downloader, &Downloader::finished);
    QSignalSpy failed(&downloader, &Downloader::failed);
    // A good chunk first, so that a file exists that the failure must not leave.
    downloader.setUrl(chunkUrl(1000, 2000));
    downloader.download();
    QVERIFY(finished.wait(transferMs));

    downloader.setUrl(chunkUrl(1000, 1500));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("failed:.*404")));
    downloader.download();
    QVERIFY(failed.wait(timeoutMs));
    QCOMPARE(finished.count(), 1);
    QVERIFY2(failed.at(0).at(0).toString().contains(QStringLiteral("404")), qPrintable(failed.at(0).at(0).toString()));
    QVERIFY(!QFileInfo::exists(downloader.filePath()));

    // Nothing listening at all.
    const int port = testsupport::freePorts(1).value(0);
    downloader.setUrl(QStringLiteral("http://127.0.0.1:%1/21-1000-2000").arg(port));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("failed:")));
    downloader.download();
    QVERIFY(failed.wait(timeoutMs));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!QFileInfo::exists(downloader.filePath()));
}

void TestGateway::cutShortTransferFails()
{
    TestHttpServer server;
    server.route(QStringLiteral("/chunk"), shortReply("only ten b", 1000, TestHttpServer::Ending::Close));
    QVERIFY(server.listen());
    Downloader downloader;
    QSignalSpy finished(&downloader, &Downloader::finished);
    QSignalSpy failed(&downloader, &Downloader::failed);
    downloader.setUrl(server.url(QStringLiteral("/chunk")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("failed:")));
    downloader.download();
    QVERIFY(failed.wait(timeoutMs));
    QCOMPARE(finished.count(), 0);
    QVERIFY(!QFileInfo::exists(downloader.filePath()));
}

void TestGateway::requestCarriesTheClientName()
{
    TestHttpServer server;
    server.route(QStringLiteral("/chunk"), TestHttpServer::Reply::ok("chunk", "video/mp4"));
    QVERIFY(server.listen());
    Downloader downloader;
    QSignalSpy finished(&downloader, &Downloader::finished);
    downloader.setUrl(server.url(QStringLiteral("/chunk")));
    downloader.download();
    QVERIFY(finished.wait(timeoutMs));
    QCOMPARE(server.requestCount(), 1);
    const QByteArray request = server.requests().first().head;
    QVERIFY2(request.startsWith("GET /chunk HTTP/1.1\r\n"), request.constData());
    QVERIFY2(request.contains("\r\nUser-Agent: PELMAR client\r\n"), request.constData());
    QCOMPARE(readFile(downloader.filePath()), QByteArray("chunk"));
}

void TestGateway::cancel()
{
    Downloader downloader;
    QSignalSpy cancelled(&downloader, &Downloader::cancelled);
    QSignalSpy finished(&downloader, &Downloader::finished);
    QSignalSpy failed(&downloader, &Downloader::failed);
    downloader.cancel();
    QCOMPARE(cancelled.count(), 1);

    // A transfer that stalls after its first bytes: cancelled, it leaves no half chunk.
    TestHttpServer server;
    server.route(QStringLiteral("/chunk"), shortReply("first bytes", 100000, TestHttpServer::Ending::Hold));
    QVERIFY(server.listen());
    downloader.setUrl(server.url(QStringLiteral("/chunk")));
    downloader.download();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(downloader.filePath()).size() > 0, timeoutMs);
    downloader.cancel();
    QCOMPARE(cancelled.count(), 2);
    QVERIFY(!QFileInfo::exists(downloader.filePath()));
    // Whatever the aborted reply still does, it reports nothing.
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 0);
    QCOMPARE(failed.count(), 0);
}

void TestGateway::creatableInQml()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import Native 1.0\nDownloader { url: \"http://127.0.0.1:9554/21-0-1\" }", QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    auto* downloader = qobject_cast<Downloader*>(object.data());
    QVERIFY(downloader);
    QCOMPARE(downloader->url(), QStringLiteral("http://127.0.0.1:9554/21-0-1"));
    QSignalSpy urlChanged(downloader, &Downloader::urlChanged);
    downloader->setUrl(downloader->url());
    QCOMPARE(urlChanged.count(), 0);
}

void TestGateway::receiptsReachPosReceived()
{
    PosReceiver receiver;
    QSignalSpy received(&receiver, &PosReceiver::posReceived);
    receiver.subscribe(QStringLiteral("127.0.0.1"), m_sim.gateway(11).pos, QStringLiteral("21"));
    QTRY_VERIFY_WITH_TIMEOUT(received.count() >= 3, timeoutMs);
    for (const QList<QVariant>& message : received) {
        QCOMPARE(message.at(0).toString(), QStringLiteral("21"));
        QVERIFY(!message.at(1).toString().trimmed().isEmpty());
    }
    receiver.unsubscribe(QStringLiteral("127.0.0.1"), QStringLiteral("21"));
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
