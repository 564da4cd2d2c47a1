// SPDX-License-Identifier: MIT
// Collects the Qt messages of a scope so that tests can check exact log lines, their order and
// their absence. Messages of other threads are collected too.
#pragma once

#include <mutex>

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    LogCapture()
    {
        std::lock_guard<std::mutex> lock(mutex());
        current() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }

    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        std::lock_guard<std::mutex> lock(mutex());
        current() = nullptr;
    }

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(mutex());
        QStringList result;
        for (const auto& entry : m_entries)
            result << entry.second;
        return result;
    }

    QStringList lines(QtMsgType type) const
    {
        std::lock_guard<std::mutex> lock(mutex());
        QStringList result;
        for (const auto& entry : m_entries)
            if (entry.first == type)
                result << entry.second;
        return result;
    }

    bool contains(const QString& line) const { return lines().contains(line); }
    int count(const QString& line) const { return lines().count(line); }

    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex());
        m_entries.clear();
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static LogCapture*& current()
    {
        static LogCapture* instance = nullptr;
        return instance;
    }
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        std::lock_guard<std::mutex> lock(mutex());
        if (current())
            current()->m_entries.append(qMakePair(type, message));
    }

    QtMessageHandler m_previous = nullptr;
    QList<QPair<QtMsgType, QString>> m_entries;
};
