// SPDX-License-Identifier: MIT
// How long the GUI thread stood still, as a 10 ms timer of its own sees it, less the time the thread
// (or a scene graph render thread or software rasteriser worker, which it waits for) was ready to
// run but waited for a CPU: a machine busy with other work (a build, a parallel test run) delays every timer, and that
// is not the program's stall. What remains is time the program itself kept the thread from its event loop: work in one
// go, or a wait for a thread of its own.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

namespace testsupport {

class GuiStallProbe : public QObject
{
    Q_OBJECT

public:
    explicit GuiStallProbe(int intervalMs = 10, QObject* parent = nullptr);

    void start();
    void stop();
    // The worst lateness of the timer after `settleMs` from the start, with and without the time
    // spent waiting for a CPU taken off.
    qint64 worstOwnStallMs() const { return m_worstOwnMs; }
    qint64 worstLateMs() const { return m_worstLateMs; }
    void setSettleMs(int ms) { m_settleMs = ms; }

private:
    void tick();
    // Nanoseconds each watched thread waited on a run queue so far (the kernel's schedstat), in
    // the order of m_threads.
    QVector<qint64> runQueueWaitNs() const;
    void findWatchedThreads();

    QTimer m_timer;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceLast;
    QVector<qint64> m_lastWaitNs;
    qint64 m_worstOwnMs = 0;
    qint64 m_worstLateMs = 0;
    int m_settleMs = 0;
    int m_ticks = 0;
    // The GUI thread first, then the render threads and rasteriser workers.
    QVector<int> m_threads;
};

} // namespace testsupport
