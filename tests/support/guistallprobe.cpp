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
    findRenderThreads();
    m_lastWaitNs = runQueueWaitNs();
    m_clock.start();
    m_sinceLast.start();
    m_timer.start();
}

void GuiStallProbe::stop()
{
    m_timer.stop();
}

void GuiStallProbe::findRenderThreads()
{
    m_renderThreads.clear();
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("QSGRenderThread"))
            m_renderThreads.append(task.toInt());
    }
}

QPair<qint64, qint64> GuiStallProbe::runQueueWaitNs()
{
    // The probe runs on the GUI thread: its own thread is the one watched.
    const qint64 gui = waitNsOf(QStringLiteral("/proc/self/task/%1/schedstat").arg(::syscall(SYS_gettid)));
    qint64 render = 0;
    for (const int tid : qAsConst(m_renderThreads))
        render += waitNsOf(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid));
    return {gui, render};
}

void GuiStallProbe::tick()
{
    const qint64 late = m_sinceLast.restart() - m_timer.interval();
    // Windows come and go with their render threads.
    if (++m_ticks % 100 == 0) {
        findRenderThreads();
        m_lastWaitNs = runQueueWaitNs();
        return;
    }
    const QPair<qint64, qint64> waitNs = runQueueWaitNs();
    // The two waits may overlap: only the longer is surely not the program's.
    const qint64 waitedMs = qMax(waitNs.first - m_lastWaitNs.first, waitNs.second - m_lastWaitNs.second) / 1000000;
    m_lastWaitNs = waitNs;
    if (m_clock.elapsed() <= m_settleMs)
        return;
    m_worstLateMs = qMax(m_worstLateMs, late);
    m_worstOwnMs = qMax(m_worstOwnMs, late - qMax<qint64>(0, waitedMs));
}

} // namespace testsupport
