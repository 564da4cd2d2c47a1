// SPDX-License-Identifier: MIT
// A library thread for the few callbacks that have no connection thread to run on (requests made
// through a null client or connection), so that no callback ever runs on the caller's thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pelmar::vantor::detail {

class Dispatcher
{
public:
    static Dispatcher& instance();
    void post(std::function<void()> task);
    ~Dispatcher();

private:
    Dispatcher() = default;
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::thread m_thread;
    bool m_stop = false;
};

} // namespace pelmar::vantor::detail
