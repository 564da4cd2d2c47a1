// SPDX-License-Identifier: MIT
#include "streamchooser.h"

#include <QtQml>

#include "tileslog.h"

namespace {

// The tile of the process whose main stream came back from a fallback last: while it is on
// probation, no other tile tries its main stream. GUI thread only.
StreamChooser* s_returning = nullptr;

// A tile waiting for another's probation looks again this often.
constexpr qint64 kReturnRetryMs = 1000;

} // namespace

StreamChooser::StreamChooser(QObject* parent) : QObject(parent)
{
    m_clock.start();
    m_check.setSingleShot(true);
    connect(&m_check, &QTimer::timeout, this, [this] { reconsider(false); });
}

StreamChooser::~StreamChooser()
{
    if (s_returning == this)
        s_returning = nullptr;
}

void StreamChooser::setMainUrl(const QString& value)
{
    if (value == m_mainUrl)
        return;
    m_mainUrl = value;
    emit inputsChanged();
    reconsider(true);
    emit choiceChanged();
}

void StreamChooser::setSubUrl(const QString& value)
{
    if (value == m_subUrl)
        return;
    m_subUrl = value;
    emit inputsChanged();
    reconsider(true);
    emit choiceChanged();
}

void StreamChooser::setMainSize(const QString& value)
{
    if (value == m_mainSize)
        return;
    m_mainSize = value;
    // Only checked, for the log: the main stream is the one a tile falls back to.
    StreamChoice::parseSize(value, QStringLiteral("\"size\""));
    emit inputsChanged();
}

void StreamChooser::setSubSize(const QString& value)
{
    if (value == m_subSize)
        return;
    m_subSize = value;
    emit inputsChanged();
    reconsider(true);
}

void StreamChooser::setTileWidth(qreal value)
{
    if (qFuzzyCompare(value, m_tileWidth))
        return;
    m_tileWidth = value;
    emit inputsChanged();
    reconsider(!m_started);
}

void StreamChooser::setTileHeight(qreal value)
{
    if (qFuzzyCompare(value, m_tileHeight))
        return;
    m_tileHeight = value;
    emit inputsChanged();
    reconsider(!m_started);
}

void StreamChooser::setFullView(bool value)
{
    if (value == m_fullView)
        return;
    m_fullView = value;
    emit inputsChanged();
    reconsider(true);
}

void StreamChooser::setTimings(qint64 holdMs, qint64 minIntervalMs)
{
    m_hysteresis = StreamChoice::Hysteresis(holdMs, minIntervalMs);
    m_started = false;
    reconsider(true);
}

void StreamChooser::setFallbackTimings(qint64 holdMs, qint64 maxHoldMs, qint64 probationMs)
{
    m_fallback = StreamChoice::Fallback(holdMs, maxHoldMs, probationMs);
    reconsider(true);
}

bool StreamChooser::hasSubStream() const
{
    return !m_subUrl.isEmpty() && StreamChoice::parseSize(m_subSize, QStringLiteral("\"subSize\"")).isValid();
}

void StreamChooser::reportMainTooSlow()
{
    if (!StreamChoice::fallbackEnabled() || !hasSubStream() || m_hysteresis.current() != StreamChoice::Main ||
        m_fallback.active())
        return;
    const qint64 now = m_clock.elapsed();
    m_fallback.mainTooSlow(now);
    qCInfo(lcTiles).noquote() << QStringLiteral("Main stream cannot keep up here; playing the sub-stream for %1 s: %2")
                                     .arg(m_fallback.holdMs() / 1000.0)
                                     .arg(m_mainUrl);
    reconsider(true);
}

bool StreamChooser::mayReturn(qint64 nowMs)
{
    if (nowMs < m_fallback.holdEndsMs())
        return false;
    if (s_returning && s_returning != this && s_returning->m_fallback.onProbation(nowMs))
        return false;
    s_returning = this;
    return true;
}

QString StreamChooser::url() const
{
    return m_hysteresis.current() == StreamChoice::Sub ? m_subUrl : m_mainUrl;
}

QString StreamChooser::stream() const
{
    return m_hysteresis.current() == StreamChoice::Sub ? QStringLiteral("sub") : QStringLiteral("main");
}

void StreamChooser::reconsider(bool immediate)
{
    StreamChoice::Stream wanted =
        StreamChoice::choose(!m_subUrl.isEmpty(), StreamChoice::parseSize(m_subSize, QStringLiteral("\"subSize\"")),
                             m_tileWidth, m_tileHeight, m_fullView);
    const StreamChoice::Stream bySize = wanted;
    const StreamChoice::Stream before = m_hysteresis.current();
    const bool tooSlowBefore = m_mainTooSlow;
    const qint64 now = m_clock.elapsed();
    // The fallback comes and goes at once; it only ever replaces the main stream.
    qint64 fallbackCheck = -1;
    if (m_fallback.active() && (!hasSubStream() || !StreamChoice::fallbackEnabled())) {
        m_fallback.returnToMain(now);
        immediate = true;
    } else if (m_fallback.active() && wanted == StreamChoice::Main) {
        if (mayReturn(now)) {
            qCInfo(lcTiles).noquote() << QStringLiteral("Trying the main stream again: %1").arg(m_mainUrl);
            m_fallback.returnToMain(now);
        } else {
            wanted = StreamChoice::Sub;
            fallbackCheck = qMax(m_fallback.holdEndsMs(), now + kReturnRetryMs);
        }
        immediate = true;
    }
    m_mainTooSlow = m_fallback.active() && bySize == StreamChoice::Main;
    // Until the tile has a size, its first choice is not a switch.
    if (!m_started && m_tileWidth > 0 && m_tileHeight > 0) {
        m_hysteresis.start(wanted, now);
        m_started = true;
    } else {
        m_hysteresis.update(wanted, now, immediate || !m_started);
    }
    qint64 next = m_hysteresis.nextCheckMs();
    if (fallbackCheck >= 0)
        next = next >= 0 ? qMin(next, fallbackCheck) : fallbackCheck;
    if (next >= 0)
        m_check.start(int(qMax<qint64>(0, next - now)));
    else
        m_check.stop();
    if (m_hysteresis.current() != before) {
        ++m_switches;
        emit choiceChanged();
    } else if (m_mainTooSlow != tooSlowBefore) {
        emit choiceChanged();
    }
}
