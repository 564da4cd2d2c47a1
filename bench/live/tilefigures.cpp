// SPDX-License-Identifier: MIT
#include "tilefigures.h"

#include <QRegularExpression>

#include <signal.h>

#include "livecommon.h"
#include "tilestatsrecord.h"

namespace {

// The streams run at 25 frames per second; a live stream opened with the low-latency profile's
// short probe reports no container rate, so its estimated frame number stays 0 and the frames
// are counted from the position instead: the video time played over the window, times 25.
constexpr double StreamFps = 25.0;

} // namespace

Counters countersOf(const TileSample& sample)
{
    return {sample.frame, sample.drop, sample.decdrop, sample.delayed, sample.pos, sample.vffps, sample.presented};
}

void emitTile(const QString& who, int index, const Counters& a, const Counters& b, double spanS, const QString& size,
              const Placement& placement)
{
    const double played = b.pos - a.pos;
    // Frames a second by the player's own counters: the client's presented frames, else the
    // position's progress.
    const double fps = spanS <= 0                               ? 0.0
                       : (a.presented >= 0 && b.presented >= 0) ? (b.presented - a.presented) / spanS
                                                                : played * StreamFps / spanS;
    emitLine(QStringLiteral("tile who=%1 index=%2 size=%3 span_s=%4 frames=%5 est_frames=%6 realtime=%7 vffps=%8 "
                            "drop=%9 decdrop=%10 delayed=%11 presented=%12 fps=%13 port=%14 rect=%15")
                 .arg(who)
                 .arg(index)
                 .arg(size)
                 .arg(spanS, 0, 'f', 3)
                 .arg(qRound64(played * StreamFps))
                 .arg(b.frame - a.frame)
                 .arg(spanS > 0 ? played / spanS : 0.0, 0, 'f', 3)
                 .arg(b.vffps, 0, 'f', 2)
                 .arg(b.drop - a.drop)
                 .arg(b.decdrop - a.decdrop)
                 .arg(b.delayed - a.delayed)
                 .arg(a.presented >= 0 && b.presented >= 0 ? b.presented - a.presented : -1)
                 .arg(fps, 0, 'f', 2)
                 .arg(placement.port)
                 .arg(placement.rect.isEmpty() ? QStringLiteral("-") : placement.rect));
}

void stallTest(const QString& who, const std::vector<qint64>& pids, int stallSeconds, int observeSeconds)
{
    const qint64 stopNs = monotonicNs();
    for (qint64 pid : pids)
        kill(static_cast<pid_t>(pid), SIGSTOP);
    // Returns early on SIGTERM; the processes are continued whatever happens.
    sleepWithEvents(stallSeconds * 1000);
    for (qint64 pid : pids)
        kill(static_cast<pid_t>(pid), SIGCONT);
    const qint64 contNs = monotonicNs();
    sleepWithEvents(observeSeconds * 1000);
    emitLine(QStringLiteral("stall who=%1 stop_ns=%2 cont_ns=%3 end_ns=%4")
                 .arg(who)
                 .arg(stopNs)
                 .arg(contNs)
                 .arg(monotonicNs()));
}

QString rectText(const QRect& rect)
{
    if (rect.isNull())
        return QString();
    return QStringLiteral("%1,%2,%3,%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

QString rectOfGeometry(const QString& geometry)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)$")).match(geometry);
    if (!match.hasMatch())
        return QString();
    return QStringLiteral("%1,%2,%3,%4")
        .arg(match.captured(3), match.captured(4), match.captured(1), match.captured(2));
}
