// SPDX-License-Identifier: MIT
#include "mpvplayer.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "livecommon.h"

MpvPlayer::MpvPlayer(const QString& program, const QString& socketPath, const QString& url, const QString& geometry)
    : m_socketPath(socketPath)
{
    // What a camera tile sets: the low-latency profile, no cache, desynchronised video, no
    // audio, the same hardware decoding; the player's own extras (on-screen controller,
    // scripts, configuration files) are off, as they are in the library.
    QStringList arguments{
        QStringLiteral("--no-config"), QStringLiteral("--no-terminal"), QStringLiteral("--osc=no"),
        QStringLiteral("--ytdl=no"), QStringLiteral("--load-stats-overlay=no"), QStringLiteral("--load-osd-console=no"),
        QStringLiteral("--load-auto-profiles=no"), QStringLiteral("--input-default-bindings=no"),
        QStringLiteral("--profile=low-latency"), QStringLiteral("--cache=no"), QStringLiteral("--video-sync=desync"),
        QStringLiteral("--aid=no"), QStringLiteral("--ao=null"), QStringLiteral("--hwdec=auto"),
        // OpenGL on whatever renders it, as in the client (software under Xvfb).
        QStringLiteral("--vo=gpu"), QStringLiteral("--gpu-api=opengl"), QStringLiteral("--gpu-sw=yes"),
        QStringLiteral("--border=no"), QStringLiteral("--input-ipc-server=%1").arg(socketPath)};
    if (!geometry.isEmpty())
        arguments << QStringLiteral("--geometry=%1").arg(geometry);
    arguments << url;
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

MpvPlayer::~MpvPlayer()
{
    m_socket.abort();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

bool MpvPlayer::start()
{
    m_startMs = nowMs();
    m_process.start();
    return m_process.waitForStarted(10000);
}

bool MpvPlayer::connect(int timeoutMs)
{
    return waitUntil(
               [this] {
                   if (m_process.state() != QProcess::Running)
                       return true;
                   m_socket.connectToServer(m_socketPath);
                   return m_socket.waitForConnected(50);
               },
               timeoutMs, 2) &&
           m_socket.state() == QLocalSocket::ConnectedState;
}

QJsonValue MpvPlayer::get(const QString& property, int timeoutMs)
{
    const int id = ++m_requestId;
    QJsonObject request{{QStringLiteral("command"), QJsonArray{QStringLiteral("get_property"), property}},
                        {QStringLiteral("request_id"), id}};
    m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    m_socket.flush();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        while (m_socket.canReadLine()) {
            const QJsonObject reply = QJsonDocument::fromJson(m_socket.readLine()).object();
            if (reply.value(QStringLiteral("request_id")).toInt() == id)
                return reply.value(QStringLiteral("data"));
        }
        if (!m_socket.waitForReadyRead(50) && m_socket.state() != QLocalSocket::ConnectedState)
            break;
    }
    return QJsonValue();
}

bool MpvPlayer::loaded()
{
    return get(QStringLiteral("playlist-count")).toInt() >= 1 && get(QStringLiteral("dwidth")).toInt() > 0 &&
           get(QStringLiteral("dheight")).toInt() > 0;
}

Counters MpvPlayer::counters()
{
    return {get(QStringLiteral("estimated-frame-number")).toVariant().toLongLong(),
            get(QStringLiteral("frame-drop-count")).toVariant().toLongLong(),
            get(QStringLiteral("decoder-frame-drop-count")).toVariant().toLongLong(),
            get(QStringLiteral("vo-delayed-frame-count")).toVariant().toLongLong(),
            get(QStringLiteral("time-pos")).toDouble(),
            get(QStringLiteral("estimated-vf-fps")).toDouble()};
}

qint64 MpvPlayer::waitFirstFrame(int timeoutMs)
{
    QJsonObject observe{
        {QStringLiteral("command"), QJsonArray{QStringLiteral("observe_property"), 1, QStringLiteral("dwidth")}}};
    m_socket.write(QJsonDocument(observe).toJson(QJsonDocument::Compact) + '\n');
    m_socket.flush();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs && m_socket.state() == QLocalSocket::ConnectedState) {
        while (m_socket.canReadLine()) {
            const QJsonObject event = QJsonDocument::fromJson(m_socket.readLine()).object();
            if (event.value(QStringLiteral("event")) == QLatin1String("property-change") &&
                event.value(QStringLiteral("name")) == QLatin1String("dwidth") &&
                event.value(QStringLiteral("data")).toInt() > 0)
                return nowMs() - m_startMs;
        }
        m_socket.waitForReadyRead(20);
    }
    return -1;
}
