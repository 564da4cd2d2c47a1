// SPDX-License-Identifier: MIT
#include "clientlog.h"

#include <QRegularExpression>

void ClientLog::poll()
{
    static const QRegularExpression stamp(QStringLiteral("^\\s*(\\d+\\.\\d+) (.*)$"));
    const QStringList lines = m_tail.poll();
    for (const QString& line : lines) {
        LogLine entry;
        const QRegularExpressionMatch match = stamp.match(line);
        if (match.hasMatch()) {
            entry.ms = qRound64(match.captured(1).toDouble() * 1000.0);
            entry.text = match.captured(2);
        } else {
            entry.text = line;
        }
        m_lines.push_back(entry);
    }
}

std::vector<LogLine> ClientLog::matching(const QString& text, std::size_t from) const
{
    std::vector<LogLine> found;
    for (std::size_t i = from; i < m_lines.size(); ++i) {
        if (m_lines[i].text.contains(text))
            found.push_back(m_lines[i]);
    }
    return found;
}
