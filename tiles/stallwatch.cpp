// SPDX-License-Identifier: MIT
#include "stallwatch.h"

#include <QtDebug>

#include "tileslog.h"

StallWatch::StallWatch(QObject* parent) : QObject(parent)
{
    m_clock.start();
    m_check.setSingleShot(true);
    connect(&m_check, &QTimer::timeout, this, &StallWatch::checkForSignal);
    m_reload.setSingleShot(true);
    connect(&m_reload, &QTimer::timeout, this, &StallWatch::reloadNow);
}

StallWatch::~StallWatch() = default;

void StallWatch::setWatching(bool value)
{
    if (value == m_watching)
        return;
    m_watching = value;
    emit inputsChanged();
    if (value) {
        restart();
        return;
    }
    m_check.stop();
    setLost(false);
    stopReloads();
}

void StallWatch::setFrames(int value)
{
    if (value == m_frames)
        return;
    const bool newFrame = value > m_frames;
    m_frames = value;
    emit inputsChanged();
    if (newFrame)
        frameArrived();
}

void StallWatch::setPaused(bool value)
{
    if (value == m_paused)
        return;
    m_paused = value;
    emit inputsChanged();
    // The wait starts anew once a paused stream plays again.
    if (!value && m_watching && !m_lost)
        restart();
}

void StallWatch::setReloadHeld(bool value)
{
    if (value == m_reloadHeld)
        return;
    m_reloadHeld = value;
    emit inputsChanged();
}

void StallWatch::setSource(const QString& value)
{
    if (value == m_source)
        return;
    m_source = value;
    emit inputsChanged();
}

void StallWatch::setNoSignalMs(int value)
{
    value = qMax(1, value);
    if (value == m_noSignalMs)
        return;
    m_noSignalMs = value;
    emit inputsChanged();
    if (m_check.isActive())
        m_check.start(int(qMax<qint64>(0, m_noSignalMs - (m_clock.elapsed() - m_lastFrameMs))));
}

void StallWatch::setReloadFirstMs(int value)
{
    if (value == m_reloadFirstMs)
        return;
    m_reloadFirstMs = value;
    m_backoff.setLimits(m_reloadFirstMs, m_reloadMaxMs);
    emit inputsChanged();
    if (!m_reloadDue)
        setReloadDelayMs(m_backoff.firstMs());
}

void StallWatch::setReloadMaxMs(int value)
{
    if (value == m_reloadMaxMs)
        return;
    m_reloadMaxMs = value;
    m_backoff.setLimits(m_reloadFirstMs, m_reloadMaxMs);
    emit inputsChanged();
}

void StallWatch::restart()
{
    m_lastFrameMs = m_clock.elapsed();
    if (m_watching)
        m_check.start(m_noSignalMs);
}

void StallWatch::frameArrived()
{
    m_lastFrameMs = m_clock.elapsed();
    if (m_lost) {
        qCInfo(lcTiles).noquote() << "Signal back:" << m_source;
        setLost(false);
        stopReloads();
        m_backoff.reset();
        setReloadDelayMs(m_backoff.firstMs());
    }
    if (m_watching && !m_check.isActive())
        m_check.start(m_noSignalMs);
}

void StallWatch::checkForSignal()
{
    if (!m_watching)
        return;
    const qint64 quietMs = m_clock.elapsed() - m_lastFrameMs;
    if (quietMs < m_noSignalMs) {
        m_check.start(int(m_noSignalMs - quietMs));
        return;
    }
    // Looked at again when it plays (setPaused).
    if (m_paused)
        return;
    qCWarning(lcTiles).noquote() << "No signal for" << m_noSignalMs << "ms:" << m_source;
    setLost(true);
    m_backoff.reset();
    scheduleReload();
}

void StallWatch::reloadNow()
{
    if (!m_watching || !m_lost) {
        setReloadDue(false);
        return;
    }
    // The wait grows whether this attempt is ours or the player's own.
    scheduleReload();
    if (m_reloadHeld)
        return;
    qCInfo(lcTiles).noquote() << "Reloading stalled stream:" << m_source;
    ++m_reloads;
    emit reloadsChanged();
    emit reloadRequested();
}

void StallWatch::scheduleReload()
{
    const int delay = m_backoff.takeDelayMs();
    setReloadDelayMs(delay);
    m_reload.start(delay);
    setReloadDue(true);
}

void StallWatch::stopReloads()
{
    m_reload.stop();
    setReloadDue(false);
}

void StallWatch::setLost(bool value)
{
    if (value == m_lost)
        return;
    m_lost = value;
    emit lostChanged();
}

void StallWatch::setReloadDelayMs(int value)
{
    if (value == m_reloadDelayMs)
        return;
    m_reloadDelayMs = value;
    emit reloadDelayMsChanged();
}

void StallWatch::setReloadDue(bool value)
{
    if (value == m_reloadDue)
        return;
    m_reloadDue = value;
    emit reloadDueChanged();
}
