// SPDX-License-Identifier: MIT
#include "framepacer.h"

#include <cmath>

#include <QDebug>

namespace {

int intervalFor(double frameRate)
{
    const double rate = frameRate > 0.0 ? frameRate : FramePacer::kDefaultFrameRate;
    // Between 4 and 40 ms: above 250 window frames a second nothing more is seen, and under 25
    // a slow camera would hold back the others.
    return qBound(4, static_cast<int>(std::floor(1000.0 / (rate * FramePacer::kHeadroom))), 40);
}

} // namespace

FramePacer::FramePacer(QObject* parent) : QObject(parent), m_intervalMs(intervalFor(0.0))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FramePacer::flush);
    m_sinceRateReset.start();
}

FramePacer& FramePacer::instance()
{
    static FramePacer* pacer = [] {
        auto* made = new FramePacer();
        const QByteArray setting = qgetenv("STATION_FRAME_PACING").trimmed().toLower();
        if (setting == "off" || setting == "0" || setting == "no") {
            made->setEnabled(false);
            qInfo() << "Frame pacing off (STATION_FRAME_PACING)";
        }
        return made;
    }();
    return *pacer;
}

void FramePacer::requestUpdate(QQuickItem* item, double frameRate)
{
    if (!item)
        return;
    if (!m_enabled) {
        item->update();
        return;
    }
    // The fastest rate of the last few seconds sets the pace, so that it comes down again once a
    // fast video has gone.
    if (m_sinceRateReset.elapsed() > 5000) {
        m_fastestRate = 0.0;
        m_sinceRateReset.restart();
    }
    if (std::isfinite(frameRate) && frameRate > m_fastestRate && frameRate < 1000.0)
        m_fastestRate = frameRate;
    m_intervalMs = intervalFor(m_fastestRate);

    bool queued = false;
    for (const QPointer<QQuickItem>& pending : qAsConst(m_pending)) {
        if (pending == item) {
            queued = true;
            break;
        }
    }
    if (!queued)
        m_pending.append(item);
    if (m_timer.isActive())
        return;
    // A zero wait still lets the frames that arrived together join one window frame.
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : m_intervalMs;
    m_timer.start(static_cast<int>(qMax<qint64>(0, m_intervalMs - since)));
}

void FramePacer::flush()
{
    const QVector<QPointer<QQuickItem>> pending = std::move(m_pending);
    m_pending.clear();
    int told = 0;
    for (const QPointer<QQuickItem>& item : pending) {
        if (item) {
            item->update();
            ++told;
        }
    }
    ++m_flushes;
    m_sinceFlush.restart();
    emit flushed(told);
}
