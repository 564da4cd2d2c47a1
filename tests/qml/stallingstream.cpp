// SPDX-License-Identifier: MIT
#include "stallingstream.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace {
constexpr int streamSeconds = 60;
// Sent a little faster than it plays, so that a player never runs dry while nothing stalls.
constexpr double sendAhead = 1.25;
const QString streamPath = QStringLiteral("/live.ts");
} // namespace

StallingStream::StallingStream(QObject* parent) : QObject(parent)
{
    connect(&m_server, &TestHttpServer::requested, this, &StallingStream::requestsChanged);
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
    TestHttpServer::Reply live = TestHttpServer::Reply::ok(m_stream, "video/mp2t");
    live.contentLength = TestHttpServer::NoLength;
    live.bytesPerTick = qMax(188, int(m_stream.size() * sendAhead * TestHttpServer::tickMs / (streamSeconds * 1000.0)));
    m_server.route(streamPath, live);
    return true;
}

bool StallingStream::start()
{
    if (m_server.isListening())
        return true;
    if (m_stream.isEmpty() && !makeStream())
        return false;
    if (!m_server.listen()) {
        m_error = QStringLiteral("cannot listen: ") + m_server.errorString();
        return false;
    }
    emit urlChanged();
    return true;
}

QString StallingStream::url() const
{
    return m_server.isListening() ? m_server.url(streamPath) : QString();
}

void StallingStream::setStalled(bool stalled)
{
    if (m_server.paused() == stalled)
        return;
    m_server.setPaused(stalled);
    emit stalledChanged();
}
