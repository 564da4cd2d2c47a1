// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QString>

#include "filetail.h"

struct LogLine
{
    qint64 ms = 0; // from the "%{time boot}" at its start; 0 when it has none
    QString text;  // the rest
};

// The client's log as it grows, for the client's own lines ("Logged in, id:", "loadFile:", ...).
// The figures of its statistics hook come through their own file, not this one.
class ClientLog
{
public:
    explicit ClientLog(const QString& path) : m_tail(path) {}

    void poll();
    const std::vector<LogLine>& lines() const { return m_lines; }
    QString path() const { return m_tail.path(); }

    // Lines from `from` on that contain `text`.
    std::vector<LogLine> matching(const QString& text, std::size_t from = 0) const;

private:
    FileTail m_tail;
    std::vector<LogLine> m_lines;
};
