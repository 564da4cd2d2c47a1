// SPDX-License-Identifier: MIT
#include "testhttpserver.h"

#include <QTcpSocket>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray responseHead(const TestHttpServer::Reply& reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) +
                      "\r\nContent-Type: " + reply.contentType + "\r\n";
    if (reply.contentLength != TestHttpServer::NoLength) {
        const qint64 length = reply.contentLength == TestHttpServer::BodySize ? reply.body.size() : reply.contentLength;
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    return head + "Connection: close\r\n\r\n";
}

} // namespace

TestHttpServer::Reply TestHttpServer::Reply::ok(const QByteArray& body, const QByteArray& contentType)
{
    Reply reply;
    reply.body = body;
    reply.contentType = contentType;
    return reply;
}

TestHttpServer::Reply TestHttpServer::Reply::withStatus(int status, const QByteArray& body)
{
    Reply reply;
    reply.status = status;
    reply.contentType = "text/plain";
    reply.body = body;
    return reply;
}

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::accept);
    m_ticker.setInterval(tickMs);
    connect(&m_ticker, &QTimer::timeout, this, &TestHttpServer::sendTick);
}

TestHttpServer::~TestHttpServer()
{
    m_ticker.stop();
    const QList<QTcpSocket*> sockets = m_connections.keys();
    m_connections.clear();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool TestHttpServer::listen()
{
    if (m_server.isListening())
        return true;
    if (!m_server.listen(QHostAddress::LocalHost, static_cast<quint16>(m_port)))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void TestHttpServer::close()
{
    m_server.close();
}

QString TestHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void TestHttpServer::route(const QString& path, const Reply& reply)
{
    if (!path.endsWith(QLatin1Char('*'))) {
        m_exact.insert(path, reply);
        return;
    }
    const QString prefix = path.chopped(1);
    for (auto& entry : m_prefixes) {
        if (entry.first == prefix) {
            entry.second = reply;
            return;
        }
    }
    m_prefixes.append({prefix, reply});
}

const TestHttpServer::Reply& TestHttpServer::replyFor(const QString& path) const
{
    const auto exact = m_exact.constFind(path);
    if (exact != m_exact.constEnd())
        return *exact;
    for (const auto& entry : m_prefixes) {
        if (path.startsWith(entry.first))
            return entry.second;
    }
    return m_fallback;
}

void TestHttpServer::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    if (!m_paused)
        sendTick();
}

void TestHttpServer::closeConnections()
{
    const QList<QTcpSocket*> sockets = m_connections.keys();
    for (QTcpSocket* socket : sockets) {
        auto it = m_connections.find(socket);
        if (it == m_connections.end())
            continue;
        it->finished = true;
        socket->disconnectFromHost();
    }
}

void TestHttpServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_connections.insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::readRequest(QTcpSocket* socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->answering) {
        socket->readAll(); // one request per connection: the rest is not read
        return;
    }
    it->received += socket->readAll();
    const int headEnd = it->received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;

    Request request;
    request.head = it->received.left(headEnd + 4);
    const QList<QByteArray> words = request.head.left(request.head.indexOf("\r\n")).split(' ');
    request.method = words.value(0);
    request.target = QString::fromUtf8(words.value(1));
    request.path = request.target.section(QLatin1Char('?'), 0, 0);
    it->answering = true;
    it->reply = replyFor(request.path);
    m_requests.append(request);
    serve(socket, *it, false);
    emit requested();
}

void TestHttpServer::serve(QTcpSocket* socket, Connection& connection, bool tick)
{
    if (m_paused || !connection.answering || connection.finished)
        return;
    if (!connection.headSent) {
        socket->write(responseHead(connection.reply));
        connection.headSent = true;
    }
    const Reply& reply = connection.reply;
    qint64 count = reply.body.size() - connection.sent;
    if (reply.bytesPerTick > 0) {
        if (!m_ticker.isActive())
            m_ticker.start();
        if (!tick)
            return;
        // Only what the peer takes in: a reader that stalls must not grow our buffer.
        if (socket->bytesToWrite() > 4 * reply.bytesPerTick)
            return;
        count = qMin<qint64>(count, reply.bytesPerTick);
    }
    if (count > 0) {
        socket->write(reply.body.constData() + connection.sent, count);
        connection.sent += count;
    }
    if (connection.sent >= reply.body.size())
        finish(socket, connection);
}

void TestHttpServer::finish(QTcpSocket* socket, Connection& connection)
{
    connection.finished = true;
    if (connection.reply.stopListening)
        m_server.close();
    switch (connection.reply.ending) {
    case Ending::Close:
        socket->disconnectFromHost();
        break;
    case Ending::Hold:
        break;
    case Ending::Abort:
        if (socket->bytesToWrite() == 0) {
            socket->abort();
        } else {
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                if (socket->bytesToWrite() == 0)
                    socket->abort();
            });
        }
        break;
    }
}

void TestHttpServer::sendTick()
{
    // A connection may close, and leave the table, while another is served.
    const QList<QTcpSocket*> sockets = m_connections.keys();
    bool pacing = false;
    for (QTcpSocket* socket : sockets) {
        auto it = m_connections.find(socket);
        if (it == m_connections.end())
            continue;
        serve(socket, *it, true);
        it = m_connections.find(socket);
        pacing = pacing || (it != m_connections.end() && it->answering && !it->finished);
    }
    if (!pacing)
        m_ticker.stop();
}
