// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Which of a camera's two streams a tile plays: the sub-stream while the tile, in device pixels,
// is no larger than the sub-stream's picture in both directions, else the main stream; the main
// stream always in full view. Decoding a 360p sub-stream instead of a 1080p main stream is about a
// ninth of the work.
namespace StreamChoice {

enum Stream { Main = 0, Sub = 1 };

struct PictureSize
{
    int width = 0;
    int height = 0;
    bool isValid() const { return width > 0 && height > 0; }
};

// "WIDTHxHEIGHT" (for example "640x360"); anything else is unknown. A text that does not parse is
// logged once per process, naming `what` (the stream's setting), and then stays quiet.
PictureSize parseSize(const QString& text, const QString& what = QString());

// The stream that fills the tile: with the sub-stream's size unknown only the main stream is used.
Stream choose(bool hasSub, const PictureSize& sub, double tileWidth, double tileHeight, bool fullView);

// The choice over time. A change that comes from the tile's size is taken only once it has held
// for holdMs (no flapping while a window is dragged), and never sooner than minIntervalMs after
// the last switch; full view and leaving it switch at once. Times are any monotonic milliseconds.
class Hysteresis
{
public:
    static constexpr qint64 defaultHoldMs = 1000;
    static constexpr qint64 defaultMinIntervalMs = 5000;

    explicit Hysteresis(qint64 holdMs = defaultHoldMs, qint64 minIntervalMs = defaultMinIntervalMs);

    // The first choice, taken at once.
    void start(Stream stream, qint64 nowMs);
    // What the rule wants now; gives the stream to play. `immediate`: a full view change.
    Stream update(Stream wanted, qint64 nowMs, bool immediate = false);
    Stream current() const { return m_current; }
    // When update() should be called again for a pending change to be taken; -1: none pending.
    qint64 nextCheckMs() const;

private:
    qint64 m_holdMs;
    qint64 m_minIntervalMs;
    Stream m_current = Main;
    bool m_started = false;
    qint64 m_lastSwitchMs = 0;
    bool m_pending = false;
    Stream m_pendingStream = Main;
    qint64 m_pendingSinceMs = 0;
};

} // namespace StreamChoice
