// SPDX-License-Identifier: MIT
#include "logfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

LogFile::LogFile(QByteArray path) : m_path(std::move(path)) {}

LogFile::~LogFile() = default;

void LogFile::setPath(const QByteArray& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
}

QByteArray LogFile::path() const
{
    return m_path;
}

void LogFile::write(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream) {
        m_stream = std::make_unique<std::ofstream>(m_path.constData(), std::ios::out | std::ios::app);
        if (!m_stream->good()) {
            // Nothing can reach the log file, so say it once where an operator can still see it.
            std::fprintf(stderr, "cannot open log file \"%s\": %s; log messages are dropped\n", m_path.constData(),
                         std::strerror(errno));
        }
    }
    const QByteArray line = qFormatLogMessage(type, context, message).toUtf8();
    if (m_stream->good()) {
        m_stream->write(line.constData(), line.size());
        *m_stream << std::endl; // flushes, so a crash loses no line
    }
}

LogFile& LogFile::global()
{
    static LogFile instance;
    return instance;
}

void LogFile::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    global().write(type, context, message);
}
