// SPDX-License-Identifier: MIT
// The tests' HTTP server on the wire, as a raw socket reads it: the tests that use it to play a
// failing gateway or a stalling camera rely on it doing exactly that.
#include <QTcpSocket>
#include <QtTest>

#include "testhttpserver.h"

namespace {

constexpr int timeoutMs = 10000;

// A client that sends one request and keeps what comes back.
struct RawClient
{
    QTcpSocket socket;
    QByteArray received;
    bool closed = false;

    explicit RawClient(const TestHttpServer& server, const QByteArray& target)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        QObject::connect(&socket, &QAbstractSocket::errorOccurred, [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(server.port()));
        socket.write("GET " + target + " HTTP/1.1\r\nHost: test\r\nUser-Agent: raw\r\n\r\n");
    }
    QByteArray body() const { return received.mid(received.indexOf("\r\n\r\n") + 4); }
};

} // namespace

class TestTestHttpServer : public QObject
{
    Q_OBJECT

private slots:
    void routesAnswerWithTheirBodies()
    {
        TestHttpServer server;
        server.route(QStringLiteral("/a"), TestHttpServer::Reply::ok("alpha", "text/plain"));
        server.route(QStringLiteral("/chunk-1*"), TestHttpServer::Reply::withStatus(503, "busy"));
        QVERIFY(server.listen());

        RawClient exact(server, "/a?x=1");
        QTRY_VERIFY_WITH_TIMEOUT(exact.closed, timeoutMs);
        QVERIFY2(exact.received.startsWith("HTTP/1.1 200 OK\r\n"), exact.received.constData());
        QVERIFY(exact.received.contains("\r\nContent-Length: 5\r\n"));
        QCOMPARE(exact.body(), QByteArray("alpha"));

        RawClient prefixed(server, "/chunk-1-2");
        QTRY_VERIFY_WITH_TIMEOUT(prefixed.closed, timeoutMs);
        QVERIFY2(prefixed.received.startsWith("HTTP/1.1 503 "), prefixed.received.constData());
        QCOMPARE(prefixed.body(), QByteArray("busy"));

        RawClient unknown(server, "/ab");
        QTRY_VERIFY_WITH_TIMEOUT(unknown.closed, timeoutMs);
        QVERIFY2(unknown.received.startsWith("HTTP/1.1 404 Not Found\r\n"), unknown.received.constData());

        QCOMPARE(server.requestCount(), 3);
        const TestHttpServer::Request first = server.requests().first();
        QCOMPARE(first.method, QByteArray("GET"));
        QCOMPARE(first.target, QStringLiteral("/a?x=1"));
        QCOMPARE(first.path, QStringLiteral("/a"));
        QVERIFY(first.head.contains("\r\nUser-Agent: raw\r\n"));
    }

    void bodiesCutOffOrHeld()
    {
        TestHttpServer server;
        TestHttpServer::Reply cut = TestHttpServer::Reply::ok("ten bytes!", "video/mp4");
        cut.contentLength = 1000;
        server.route(QStringLiteral("/cut"), cut);
        TestHttpServer::Reply held = cut;
        held.ending = TestHttpServer::Ending::Hold;
        server.route(QStringLiteral("/held"), held);
        QVERIFY(server.listen());

        RawClient cutClient(server, "/cut");
        QTRY_VERIFY_WITH_TIMEOUT(cutClient.closed, timeoutMs);
        QVERIFY(cutClient.received.contains("\r\nContent-Length: 1000\r\n"));
        QCOMPARE(cutClient.body(), QByteArray("ten bytes!"));

        RawClient heldClient(server, "/held");
        QTRY_COMPARE_WITH_TIMEOUT(heldClient.body(), QByteArray("ten bytes!"), timeoutMs);
        // Still open a while later, with nothing more.
        QTest::qWait(3 * TestHttpServer::tickMs);
        QVERIFY(!heldClient.closed);
        QCOMPARE(heldClient.body(), QByteArray("ten bytes!"));
        server.closeConnections();
        QTRY_VERIFY_WITH_TIMEOUT(heldClient.closed, timeoutMs);
    }

    void goingDownWithTheTransfer()
    {
        TestHttpServer server;
        TestHttpServer::Reply down = TestHttpServer::Reply::ok(QByteArray(200 * 1024, 'x'), "video/mp4");
        down.contentLength = 4000000;
        down.ending = TestHttpServer::Ending::Abort;
        down.stopListening = true;
        server.route(QStringLiteral("/down"), down);
        QVERIFY(server.listen());
        const int port = server.port();

        RawClient client(server, "/down");
        QTRY_VERIFY_WITH_TIMEOUT(client.closed, timeoutMs);
        QVERIFY(!server.isListening());
        QVERIFY(client.received.contains("\r\nContent-Length: 4000000\r\n"));
        QVERIFY(client.body().size() <= 200 * 1024);
        // Back on the same port.
        QVERIFY(server.listen());
        QCOMPARE(server.port(), port);
    }

    void pacedBodyWaitsWhilePaused()
    {
        TestHttpServer server;
        TestHttpServer::Reply live = TestHttpServer::Reply::ok(QByteArray(40000, 's'), "video/mp2t");
        live.contentLength = TestHttpServer::NoLength;
        live.bytesPerTick = 1000;
        server.route(QStringLiteral("/live"), live);
        QVERIFY(server.listen());
        QSignalSpy requested(&server, &TestHttpServer::requested);

        server.setPaused(true);
        RawClient client(server, "/live");
        QVERIFY(requested.wait(timeoutMs));
        QCOMPARE(server.requestCount(), 1);
        // Paused: not even the answer's head goes out.
        QTest::qWait(3 * TestHttpServer::tickMs);
        QCOMPARE(client.received, QByteArray());

        server.setPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(client.body().size() > 0, timeoutMs);
        QVERIFY(!client.received.contains("Content-Length"));
        // In pieces, not at once; then the stream ends with the connection.
        QVERIFY2(client.body().size() < 40000, qPrintable(QString::number(client.body().size())));
        QTRY_VERIFY_WITH_TIMEOUT(client.closed, timeoutMs);
        QCOMPARE(client.body(), QByteArray(40000, 's'));
    }
};

QTEST_GUILESS_MAIN(TestTestHttpServer)
#include "tst_testhttpserver.moc"
