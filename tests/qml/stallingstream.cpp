// SPDX-License-Identifier: MIT
#include "stallingstream.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QtDebug>

namespace {
constexpr int streamSeconds = 60;
constexpr int tickMs = 40;
// Sent a little faster than it plays, so that a player never runs dry while nothing stalls.
constexpr double sendAhead = 1.25;
} // namespace

StallingStream::StallingStream(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &StallingStream::accept);
    m_ticker.setInterval(tickMs);
    connect(&m_ticker, &QTimer::timeout, this, &StallingStream::sendTick);
}

StallingStream::~StallingStream()
{
    m_ticker.stop();
    for (const Client& client : qAsConst(m_clients))
        client.socket->abort();
}

bool StallingStream::makeStream()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return false;
    }
    const QString path = m_dir.filePath(QStringLiteral("live.ts"));
    QProcess ffmpeg;
    // One keyframe a second, so that a player that joins late starts soon.
    QStringList arguments = QStringLiteral("-v error -nostdin -f lavfi -i testsrc2=size=160x120:rate=10 -t %1 "
                                           "-c:v libx264 -preset ultrafast -tune zerolatency -g 10 "
                                           "-pix_fmt yuv420p -f mpegts -y")
                                .arg(streamSeconds)
                                .split(QLatin1Char(' '));
    arguments << path;
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        m_error = QStringLiteral("ffmpeg failed: ") + ffmpeg.errorString() + QLatin1Char(' ') +
                  QString::fromLocal8Bit(ffmpeg.readAllStandardError());
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    m_stream = file.readAll();
    if (m_stream.isEmpty()) {
        m_error = QStringLiteral("ffmpeg made an empty stream");
        return false;
    }
    m_bytesPerTick = qMax(188, int(m_stream.size() * sendAhead * tickMs / (streamSeconds * 1000.0)));
    return true;
}

bool StallingStream::start()
{
    if (m_server.isListening())
        return true;
    if (m_stream.isEmpty() && !makeStream())
        return false;
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        m_error = QStringLiteral("cannot listen: ") + m_server.errorString();
        return false;
    }
    m_ticker.start();
    emit urlChanged();
    return true;
}

QString StallingStream::url() const
{
    if (!m_server.isListening())
        return QString();
    return QStringLiteral("http://127.0.0.1:%1/live.ts").arg(m_server.serverPort());
}

void StallingStream::setStalled(bool stalled)
{
    if (m_stalled == stalled)
        return;
    m_stalled = stalled;
    emit stalledChanged();
}

void StallingStream::endStreams()
{
    const QList<Client> clients = m_clients;
    m_clients.clear();
    for (const Client& client : clients) {
        client.socket->disconnectFromHost();
        client.socket->deleteLater();
    }
}

StallingStream::Client* StallingStream::find(QTcpSocket* socket)
{
    for (Client& client : m_clients) {
        if (client.socket == socket)
            return &client;
    }
    return nullptr;
}

void StallingStream::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        Client client;
        client.socket = socket;
        m_clients.append(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // Queued: a socket may close while the ticker walks the list.
        connect(
            socket, &QTcpSocket::disconnected, this,
            [this, socket] {
                for (int i = 0; i < m_clients.size(); ++i) {
                    if (m_clients.at(i).socket == socket) {
                        m_clients.removeAt(i);
                        socket->deleteLater();
                        break;
                    }
                }
            },
            Qt::QueuedConnection);
    }
}

void StallingStream::readRequest(QTcpSocket* socket)
{
    Client* client = find(socket);
    if (!client)
        return;
    const bool complete = client->request.contains("\r\n\r\n");
    client->request += socket->readAll();
    if (!complete && client->request.contains("\r\n\r\n")) {
        ++m_requests;
        emit requestsChanged();
    }
}

void StallingStream::sendTick()
{
    if (m_stalled)
        return;
    for (Client& client : m_clients) {
        if (!client.request.contains("\r\n\r\n"))
            continue;
        if (!client.answered) {
            client.socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nConnection: close\r\n\r\n");
            client.answered = true;
        }
        // Only what the peer takes in: a reader that stalls must not grow our buffer.
        if (client.socket->bytesToWrite() > 4 * m_bytesPerTick)
            continue;
        const int count = qMin(m_bytesPerTick, m_stream.size() - client.offset);
        if (count > 0) {
            client.socket->write(m_stream.constData() + client.offset, count);
            client.offset += count;
        }
        if (client.offset >= m_stream.size())
            client.socket->disconnectFromHost();
    }
}
