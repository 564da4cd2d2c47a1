// SPDX-License-Identifier: MIT
#include "mpvcorepool.h"

#include <utility>

#include <QCoreApplication>
#include <QDebug>

#include <exception>

#include "mpvobject.h"

MpvCorePool::MpvCorePool(Factory factory, QObject* parent) : QObject(parent), m_factory(std::move(factory))
{
    m_refill.setSingleShot(true);
    m_refill.setInterval(DefaultRefillDelayMs);
    connect(&m_refill, &QTimer::timeout, this, &MpvCorePool::refill);
    // One core at a time: the pool is there to save time, not to take it from the tiles.
    m_worker.setMaxThreadCount(1);
}

MpvCorePool::~MpvCorePool()
{
    shutDown();
}

MpvCorePool& MpvCorePool::instance()
{
    static MpvCorePool pool(&MpvObject::prepareCore);
    return pool;
}

void MpvCorePool::setCapacity(int cores)
{
    const int capacity = qMax(0, cores);
    if (capacity > 0 && m_capacity == 0 && QCoreApplication::instance()) {
        // Cores are ended on the application's worker threads, which go with it.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &MpvCorePool::shutDown,
                Qt::UniqueConnection);
    }
    m_capacity = capacity;
    if (m_capacity == 0)
        shutDown();
    else
        scheduleRefill();
}

PreparedCore MpvCorePool::take(bool software)
{
    PreparedCore taken;
    std::deque<PreparedCore> unsuitable;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        while (!m_ready.empty() && !taken) {
            PreparedCore core = std::move(m_ready.front());
            m_ready.pop_front();
            if (core.software == software)
                taken = std::move(core);
            else
                unsuitable.push_back(std::move(core));
        }
    }
    // Ending the unsuitable ones (a change of render mode) happens outside the lock.
    unsuitable.clear();
    return taken;
}

void MpvCorePool::itemCreated(bool software)
{
    ++m_items;
    m_software = software;
    scheduleRefill();
}

void MpvCorePool::itemDestroyed()
{
    m_items = qMax(0, m_items - 1);
    scheduleRefill();
}

int MpvCorePool::readyCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_ready.size());
}

void MpvCorePool::shutDown()
{
    m_refill.stop();
    std::deque<PreparedCore> dropped;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_target = 0;
        dropped.swap(m_ready);
    }
    m_worker.waitForDone();
    dropped.clear();
    // A core the worker finished after the swap was not kept (the target was 0 by then).
}

int MpvCorePool::wanted() const
{
    return qMin(m_capacity, m_items);
}

void MpvCorePool::scheduleRefill()
{
    if (m_capacity > 0)
        m_refill.start();
}

void MpvCorePool::refill()
{
    const int target = wanted();
    const bool software = m_software;
    std::deque<PreparedCore> surplus;
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_target = target;
        while (static_cast<int>(m_ready.size()) > target) {
            surplus.push_back(std::move(m_ready.back()));
            m_ready.pop_back();
        }
        // A pass under way sees the new target before it ends (it checks under the same lock).
        start = !m_running && static_cast<int>(m_ready.size()) < target;
        m_running = m_running || start;
    }
    surplus.clear();
    if (!start)
        return;

    m_worker.start([this, software] {
        int made = 0;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                if (static_cast<int>(m_ready.size()) >= m_target) {
                    m_running = false;
                    break;
                }
            }
            PreparedCore core;
            try {
                core = m_factory(software);
            } catch (const std::exception& error) {
                qWarning() << "Could not make a player ahead of time:" << error.what();
            }
            if (!core) {
                // The item that needs one makes its own and reports why it could not.
                std::lock_guard<std::mutex> lock(m_lock);
                m_running = false;
                break;
            }
            PreparedCore extra;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                if (static_cast<int>(m_ready.size()) < m_target)
                    m_ready.push_back(std::move(core));
                else
                    extra = std::move(core);
            }
            ++made;
        }
        const int ready = readyCount();
        QMetaObject::invokeMethod(
            this, [this, ready] { emit refilled(ready); }, Qt::QueuedConnection);
        if (made > 0)
            qDebug() << "Players made ahead of time:" << made << "ready:" << ready;
    });
}
