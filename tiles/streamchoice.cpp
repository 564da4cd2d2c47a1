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

Fallback::Fallback(qint64 holdMs, qint64 maxHoldMs, qint64 probationMs)
    : m_holdMs(holdMs), m_maxHoldMs(std::max(holdMs, maxHoldMs)), m_probationMs(probationMs), m_currentHoldMs(holdMs)
{
}

void Fallback::mainTooSlow(qint64 nowMs)
{
    if (m_active)
        return;
    if (onProbation(nowMs))
        m_currentHoldMs = std::min(2 * m_currentHoldMs, m_maxHoldMs);
    else
        m_currentHoldMs = m_holdMs;
    m_active = true;
    m_sinceMs = nowMs;
}

void Fallback::returnToMain(qint64 nowMs)
{
    if (!m_active)
        return;
    m_active = false;
    m_returnedMs = nowMs;
}

qint64 Fallback::holdEndsMs() const
{
    return m_active ? m_sinceMs + m_currentHoldMs : -1;
}

bool Fallback::onProbation(qint64 nowMs) const
{
    return !m_active && m_returnedMs >= 0 && nowMs - m_returnedMs < m_probationMs;
}

bool fallbackEnabled()
{
    static const bool enabled = [] {
        const QByteArray value = qgetenv("STATION_SUBSTREAM_FALLBACK").trimmed().toLower();
        return !(value == "off" || value == "no" || value == "0");
    }();
    return enabled;
}

} // namespace StreamChoice
