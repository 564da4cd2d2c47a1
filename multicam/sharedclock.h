// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QtGlobal>

// The moment every camera in step shows: a position in ms since the epoch that runs at a rate
// (1 = real time) from an anchor on a monotonic time source, or stands still.
//
// The time source is a seam: by default the monotonic clock in ms, which on Linux is
// CLOCK_MONOTONIC, the clock the benchmarks read the screen by; tests hand in their own.
class SharedClock
{
public:
    using TimeSource = std::function<qint64()>;

    SharedClock();

    void setTimeSource(TimeSource source);
    // The source's time now, in ms.
    qint64 now() const { return m_source(); }

    // Where the clock is now.
    qreal position() const;
    bool running() const { return m_running; }
    qreal rate() const { return m_rate; }

    // Goes to a moment; runs on from there if it was running.
    void seek(qreal ms);
    void start();
    void stop();
    // Keeps the position where it is now.
    void setRate(qreal rate);

    // The anchor, for the log: the position it had at the source's time anchorNow().
    qreal anchorPosition() const { return m_anchorPosition; }
    qint64 anchorNow() const { return m_anchorNow; }

private:
    void reanchor();

    TimeSource m_source;
    qreal m_anchorPosition = 0;
    qint64 m_anchorNow = 0;
    qreal m_rate = 1;
    bool m_running = false;
};
