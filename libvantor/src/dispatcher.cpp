// SPDX-License-Identifier: MIT
#include "dispatcher.h"

namespace pelmar::vantor::detail {

Dispatcher& Dispatcher::instance()
{
    static Dispatcher dispatcher;
    return dispatcher;
}

void Dispatcher::post(std::function<void()> task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stop)
        return;
    m_tasks.push_back(std::move(task));
    // Started on first use: a program that never needs it never has the thread.
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_wake.notify_one();
}

Dispatcher::~Dispatcher()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_tasks.clear();
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void Dispatcher::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
        if (m_stop)
            return;
        auto task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        try {
            task();
        } catch (...) {
            // A throwing callback must not end the thread.
        }
        task = nullptr; // release captures outside the lock
        lock.lock();
    }
}

} // namespace pelmar::vantor::detail
