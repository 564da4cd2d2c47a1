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

// Playing the sub-stream because the main stream could not keep up (its decoder was at its last
// resort, see DecodeLoadPolicy): held for holdMs, then the main stream is tried again. A main
// stream that falls behind again within probationMs of its return doubles the next hold, up to
// maxHoldMs; one that keeps up through its probation brings the hold back to its first value.
class Fallback
{
public:
    static constexpr qint64 defaultHoldMs = 30000;
    static constexpr qint64 defaultMaxHoldMs = 480000;
    static constexpr qint64 defaultProbationMs = 60000;

    explicit Fallback(qint64 holdMs = defaultHoldMs, qint64 maxHoldMs = defaultMaxHoldMs,
                      qint64 probationMs = defaultProbationMs);

    // The main stream cannot keep up: play the sub-stream from now on.
    void mainTooSlow(qint64 nowMs);
    // Whether the sub-stream is played for the fallback.
    bool active() const { return m_active; }
    // The hold is over: the main stream is played again, on probation.
    void returnToMain(qint64 nowMs);
    // When the hold ends; -1 when no fallback is active.
    qint64 holdEndsMs() const;
    // Whether a returned main stream is still on probation at `nowMs`.
    bool onProbation(qint64 nowMs) const;
    qint64 holdMs() const { return m_currentHoldMs; }

private:
    qint64 m_holdMs;
    qint64 m_maxHoldMs;
    qint64 m_probationMs;
    qint64 m_currentHoldMs;
    bool m_active = false;
    qint64 m_sinceMs = 0;
    // When the main stream came back; -1 before the first fallback.
    qint64 m_returnedMs = -1;
};

// STATION_SUBSTREAM_FALLBACK: "off" (or "no", "0") keeps a tile on its main stream however far
// behind it falls; anything else, or nothing, lets it fall back.
bool fallbackEnabled();

} // namespace StreamChoice
