// SPDX-License-Identifier: MIT
#include "streamchoice.h"

#include <algorithm>
#include <mutex>

#include <QDebug>
#include <QRegularExpression>

namespace StreamChoice {

PictureSize parseSize(const QString& text, const QString& what)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (match.hasMatch()) {
        PictureSize size{match.captured(1).toInt(), match.captured(2).toInt()};
        if (size.isValid())
            return size;
    }
    if (!text.isEmpty()) {
        // Once per text and setting: a layout is rebuilt often, and the site's mistake stays.
        static std::mutex mutex;
        static QSet<QString> reported;
        std::lock_guard<std::mutex> lock(mutex);
        const QString key = what + QLatin1Char('\n') + text;
        if (!reported.contains(key)) {
            reported.insert(key);
            qWarning().noquote() << QStringLiteral("Picture size %1\"%2\" is not WIDTHxHEIGHT: taken as unknown")
                                        .arg(what.isEmpty() ? QString() : what + QStringLiteral(" "), text);
        }
    }
    return {};
}

Stream choose(bool hasSub, const PictureSize& sub, double tileWidth, double tileHeight, bool fullView)
{
    if (!hasSub || !sub.isValid() || fullView)
        return Main;
    return tileWidth <= sub.width && tileHeight <= sub.height ? Sub : Main;
}

Hysteresis::Hysteresis(qint64 holdMs, qint64 minIntervalMs) : m_holdMs(holdMs), m_minIntervalMs(minIntervalMs) {}

void Hysteresis::start(Stream stream, qint64 nowMs)
{
    m_current = stream;
    m_started = true;
    m_lastSwitchMs = nowMs;
    m_pending = false;
}

Stream Hysteresis::update(Stream wanted, qint64 nowMs, bool immediate)
{
    if (!m_started) {
        start(wanted, nowMs);
        return m_current;
    }
    if (wanted == m_current) {
        m_pending = false;
        return m_current;
    }
    if (immediate) {
        m_current = wanted;
        m_lastSwitchMs = nowMs;
        m_pending = false;
        return m_current;
    }
    if (!m_pending || m_pendingStream != wanted) {
        m_pending = true;
        m_pendingStream = wanted;
        m_pendingSinceMs = nowMs;
    }
    if (nowMs >= nextCheckMs()) {
        m_current = wanted;
        m_lastSwitchMs = nowMs;
        m_pending = false;
    }
    return m_current;
}

qint64 Hysteresis::nextCheckMs() const
{
    if (!m_pending)
        return -1;
    return std::max(m_pendingSinceMs + m_holdMs, m_lastSwitchMs + m_minIntervalMs);
}

} // namespace StreamChoice
