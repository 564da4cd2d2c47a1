// SPDX-License-Identifier: MIT
#pragma once

#include <fstream>
#include <memory>
#include <mutex>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Appends every Qt message, one line each, to a log file. The stream is opened on the first
// message and kept open; one mutex serialises all writers so that lines never interleave.
class LogFile
{
public:
    explicit LogFile(QByteArray path = QByteArray());
    ~LogFile();

    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Only meaningful before the first write: the stream is opened once and never retried.
    void setPath(const QByteArray& path);
    QByteArray path() const;

    void write(QtMsgType type, const QMessageLogContext& context, const QString& message);

    // The process-wide log used by the installed message handler.
    static LogFile& global();
    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

private:
    QByteArray m_path;
    std::unique_ptr<std::ofstream> m_stream;
    std::mutex m_mutex;
};
