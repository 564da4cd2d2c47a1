// SPDX-License-Identifier: MIT
#include "guistallprobe.h"

#include <QDir>
#include <QFile>

#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

namespace {

// The second field of /proc/.../schedstat: time spent waiting on a run queue, in ns; 0 when the
// kernel does not say (then nothing is taken off).
qint64 waitNsOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    return fields.size() >= 2 ? fields.at(1).toLongLong() : 0;
}

} // namespace

GuiStallProbe::GuiStallProbe(int intervalMs, QObject* parent) : QObject(parent)
{
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &GuiStallProbe::tick);
}

void GuiStallProbe::start()
{
    findWatchedThreads();
    m_lastWaitNs = runQueueWaitNs();
    m_clock.start();
    m_sinceLast.start();
    m_timer.start();
}

void GuiStallProbe::stop()
{
    m_timer.stop();
}

void GuiStallProbe::findWatchedThreads()
{
    // The probe runs on the GUI thread: its own thread is the one watched first.
    m_threads = {static_cast<int>(::syscall(SYS_gettid))};
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = comm.readAll();
        // The scene graph's render threads, and the software rasteriser's workers they wait for.
        if (name.startsWith("QSGRenderThread") || name.startsWith("llvmpipe-"))
            m_threads.append(task.toInt());
    }
}

QVector<qint64> GuiStallProbe::runQueueWaitNs() const
{
    QVector<qint64> waits;
    waits.reserve(m_threads.size());
    for (const int tid : m_threads)
        waits.append(waitNsOf(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid)));
    return waits;
}

void GuiStallProbe::tick()
{
    const qint64 late = m_sinceLast.restart() - m_timer.interval();
    // Windows come and go with their render threads.
    if (++m_ticks % 100 == 0) {
        findWatchedThreads();
        m_lastWaitNs = runQueueWaitNs();
        return;
    }
    const QVector<qint64> waitNs = runQueueWaitNs();
    // The threads' waits may overlap: only the longest one's is surely not the program's.
    qint64 waitedNs = 0;
    for (int i = 0; i < waitNs.size() && i < m_lastWaitNs.size(); ++i)
        waitedNs = qMax(waitedNs, waitNs.at(i) - m_lastWaitNs.at(i));
    m_lastWaitNs = waitNs;
    if (m_clock.elapsed() <= m_settleMs)
        return;
    m_worstLateMs = qMax(m_worstLateMs, late);
    m_worstOwnMs = qMax(m_worstOwnMs, late - waitedNs / 1000000);
}

} // namespace testsupport
