// SPDX-License-Identifier: MIT
// A value set once on a library thread and waited for on the test thread, without fixed sleeps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

template <typename T>
class Box
{
public:
    void set(T value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_value)
            m_value = std::move(value);
        ++m_count;
        m_changed.notify_all();
    }
    bool wait(int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_value.has_value(); });
    }
    T get()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value.value();
    }
    bool isSet()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value.has_value();
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<T> m_value;
    int m_count = 0;
};
