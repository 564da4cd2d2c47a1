// SPDX-License-Identifier: MIT
#include "streamchooser.h"

#include <QtQml>

StreamChooser::StreamChooser(QObject* parent) : QObject(parent)
{
    m_clock.start();
    m_check.setSingleShot(true);
    connect(&m_check, &QTimer::timeout, this, [this] { reconsider(false); });
}

StreamChooser::~StreamChooser() = default;

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
    const StreamChoice::Stream wanted =
        StreamChoice::choose(!m_subUrl.isEmpty(), StreamChoice::parseSize(m_subSize, QStringLiteral("\"subSize\"")),
                             m_tileWidth, m_tileHeight, m_fullView);
    const StreamChoice::Stream before = m_hysteresis.current();
    const qint64 now = m_clock.elapsed();
    // Until the tile has a size, its first choice is not a switch.
    if (!m_started && m_tileWidth > 0 && m_tileHeight > 0) {
        m_hysteresis.start(wanted, now);
        m_started = true;
    } else {
        m_hysteresis.update(wanted, now, immediate || !m_started);
    }
    const qint64 next = m_hysteresis.nextCheckMs();
    if (next >= 0)
        m_check.start(int(qMax<qint64>(0, next - now)));
    else
        m_check.stop();
    if (m_hysteresis.current() != before) {
        ++m_switches;
        emit choiceChanged();
    }
}
