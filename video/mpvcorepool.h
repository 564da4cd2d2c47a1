// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include "mpvhandle.h"

class SoftwareFrameSource;

// A player core ready to play: started, its properties observed and, where frames are drawn in
// software, its render context made.
struct PreparedCore
{
    MpvHandle core;
    std::shared_ptr<SoftwareFrameSource> frames;
    bool software = false;

    explicit operator bool() const { return core != nullptr; }
};

// Cores made ahead of time. Making one costs a video item 20-50 ms of the GUI thread; a switch to a
// layout of nine tiles paid for nine of them before the first could load. The pool keeps as many
// ready as there are video items, made one after another on a worker thread a while after the
// last change, so that the making does not compete with tiles that are starting. A used core never
// comes back: what a file left in it (options, properties, state) is not for the next tile.
//
// GUI thread only, apart from the worker it owns.
class MpvCorePool : public QObject
{
    Q_OBJECT

public:
    using Factory = std::function<PreparedCore(bool software)>;

    // How long after the last change in the number of items the pool starts making cores.
    static constexpr int DefaultRefillDelayMs = 1500;

    explicit MpvCorePool(Factory factory, QObject* parent = nullptr);
    ~MpvCorePool() override;

    // The pool the video items use; it keeps nothing until it is given a capacity.
    static MpvCorePool& instance();

    // At most this many cores kept ready; 0 (the default) keeps none and drops those ready.
    void setCapacity(int cores);
    int capacity() const { return m_capacity; }

    void setRefillDelay(int ms) { m_refill.setInterval(ms); }

    // A ready core of the given kind, or an empty one when none is ready (the caller then makes
    // its own, as without a pool).
    PreparedCore take(bool software);

    // Video items tell the pool they come and go: it keeps as many cores as there are items.
    void itemCreated(bool software);
    void itemDestroyed();

    int readyCount() const;
    int itemCount() const { return m_items; }

    // Drops the ready cores and waits for a core being made; nothing is made after this until
    // the capacity is set again. Called before the application ends, while the cores can still
    // be ended on worker threads.
    void shutDown();

signals:
    // A refill pass ended with this many cores ready.
    void refilled(int ready);

private:
    void scheduleRefill();
    void refill();
    int wanted() const;

    Factory m_factory;
    int m_capacity = 0;
    int m_items = 0;
    bool m_software = false;
    QTimer m_refill;
    QThreadPool m_worker;

    mutable std::mutex m_lock; // guards the members below
    std::deque<PreparedCore> m_ready;
    int m_target = 0;
    bool m_running = false; // a refill pass is under way
};
