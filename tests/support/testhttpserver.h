// SPDX-License-Identifier: MIT
// An HTTP server on 127.0.0.1 for tests that play a gateway or a camera: routes with bodies and
// status codes, bodies sent slowly or cut off, transfers that stall, a server that goes down in the
// middle of a transfer. It answers one request per connection and keeps every request it got.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    // Content-Length values with a meaning of their own.
    static constexpr qint64 BodySize = -1; // the body's own size
    static constexpr qint64 NoLength = -2; // no header: the body ends with the connection

    // What is done once the body is out.
    enum class Ending {
        Close, // the connection is closed, after what is queued has gone
        Hold,  // the connection stays open and nothing more comes (a stalled transfer)
        Abort, // the connection is reset, after what is queued has gone
    };

    struct Reply
    {
        int status = 200;
        QByteArray contentType = "application/octet-stream";
        QByteArray body;
        // Larger than the body, with Close or Abort: a transfer cut off; with Hold: one that stalls.
        qint64 contentLength = BodySize;
        // The body in pieces of this many bytes, one every tick (0: all at once). A piece waits
        // while the peer has not taken the ones before it.
        int bytesPerTick = 0;
        Ending ending = Ending::Close;
        // The server stops listening as the body's end goes out: a gateway that goes down.
        bool stopListening = false;

        static Reply ok(const QByteArray& body, const QByteArray& contentType);
        static Reply withStatus(int status, const QByteArray& body = QByteArray());
    };

    struct Request
    {
        QByteArray head; // request line and headers, as received
        QByteArray method;
        QString target; // path and query
        QString path;   // without the query
    };

    static constexpr int tickMs = 40;

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    // The first time on a free port, afterwards on the same one again; false, with errorString,
    // when that fails.
    bool listen();
    // Stops listening; open connections go on.
    void close();
    bool isListening() const { return m_server.isListening(); }
    int port() const { return m_port; }
    QString url(const QString& path) const;
    QString errorString() const { return m_server.errorString(); }

    // The reply to requests for `path` (without the query). A path that ends in "*" matches every
    // path that begins with the rest; exact paths go first, then those in the order given.
    void route(const QString& path, const Reply& reply);
    // The reply to requests that match no route: at first a 404.
    void setFallback(const Reply& reply) { m_fallback = reply; }

    // While paused nothing is sent on any connection, answers included; requests are still read.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    // Closes every open connection, after what is queued on it has gone.
    void closeConnections();

    QList<Request> requests() const { return m_requests; }
    int requestCount() const { return m_requests.size(); }

signals:
    // A request's head has arrived; requestCount() counts it already.
    void requested();

private:
    struct Connection
    {
        QByteArray received;
        bool answering = false; // a reply is chosen
        bool headSent = false;
        bool finished = false; // body out (or the connection is being closed)
        qint64 sent = 0;
        Reply reply;
    };

    void accept();
    void readRequest(QTcpSocket* socket);
    const Reply& replyFor(const QString& path) const;
    // Sends what is due on one connection now.
    void serve(QTcpSocket* socket, Connection& connection, bool tick);
    void finish(QTcpSocket* socket, Connection& connection);
    void sendTick();

    QTcpServer m_server;
    int m_port = 0;
    QHash<QString, Reply> m_exact;
    QList<QPair<QString, Reply>> m_prefixes;
    Reply m_fallback = Reply::withStatus(404, "Not Found");
    QHash<QTcpSocket*, Connection> m_connections;
    QList<Request> m_requests;
    QTimer m_ticker;
    bool m_paused = false;
};
