// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QVector>

// Gathers the redraw requests of video items so that the window draws one frame for all of them
// per video frame interval, instead of one for each tile's frame: every window frame composes the
// whole window, and tiles' frames arrive at unrelated moments. GUI thread only.
class FramePacer : public QObject
{
    Q_OBJECT

public:
    explicit FramePacer(QObject* parent = nullptr);

    // The one the video items share. STATION_FRAME_PACING=off turns pacing off, for comparing.
    static FramePacer& instance();

    // Off: every request updates its item at once.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

    // Asks for `item` to be drawn in the next paced window frame. `frameRate` is the item's video
    // frame rate when known (0 when not): the pace follows the fastest video.
    void requestUpdate(QQuickItem* item, double frameRate);

    // The shortest time between two window frames that the pacer asks for, in milliseconds.
    int intervalMs() const { return m_intervalMs; }
    // Window frames asked for so far.
    quint64 flushes() const { return m_flushes; }

signals:
    // The items that asked since the last window frame were told to draw.
    void flushed(int items);

public:
    // Frame rate assumed for a video that does not tell its own.
    static constexpr double kDefaultFrameRate = 25.0;
    // Window frames come a little faster than the fastest video, so that a frame arriving just
    // after one window frame rarely has to wait for a second one.
    static constexpr double kHeadroom = 1.25;

private:
    void flush();

    QVector<QPointer<QQuickItem>> m_pending;
    QTimer m_timer;
    QElapsedTimer m_sinceFlush;
    int m_intervalMs;
    double m_fastestRate = 0.0;
    QElapsedTimer m_sinceRateReset;
    quint64 m_flushes = 0;
    bool m_enabled = true;
};
