#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records every Qt log message while it exists, from any thread, and still passes them on to the
// previous handler. For checks that a line was, or was not, written.
class MessageLog
{
public:
    struct Entry {
        QtMsgType type;
        QString text;
    };

    MessageLog()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&MessageLog::handle);
    }
    ~MessageLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    QList<Entry> entries() const
    {
        QMutexLocker lock(&m_mutex);
        return m_entries;
    }

    int count(QtMsgType type, const QString& text) const
    {
        int n = 0;
        for (const Entry& e : entries())
            n += (e.type == type && e.text == text) ? 1 : 0;
        return n;
    }

    int countStartingWith(QtMsgType type, const QString& prefix) const
    {
        int n = 0;
        for (const Entry& e : entries())
            n += (e.type == type && e.text.startsWith(prefix)) ? 1 : 0;
        return n;
    }

    QStringList texts() const
    {
        QStringList list;
        for (const Entry& e : entries())
            list.append(e.text);
        return list;
    }

    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_entries.clear();
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        MessageLog* log = s_current;
        if (!log)
            return;
        {
            QMutexLocker lock(&log->m_mutex);
            log->m_entries.append({type, text});
        }
        if (log->m_previous)
            log->m_previous(type, context, text);
    }

    static inline MessageLog* s_current = nullptr;
    mutable QMutex m_mutex;
    QList<Entry> m_entries;
    QtMessageHandler m_previous = nullptr;
};
