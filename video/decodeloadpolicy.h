// SPDX-License-Identifier: MIT
#pragma once

#include <limits>

#include <QtGlobal>

// The waits of DecodeLoadPolicy.
struct DecodeLoadTimings
{
    // Behind this long before a step up...
    qint64 raiseAfterMs = 1000;
    // ...and no new judgement this long after a step (the decoder restarts at the next key
    // frame, then works off what piled up).
    qint64 settleMs = 3000;
    // Kept up this long before a step back; doubled after each step back that failed, up to
    // the maximum.
    qint64 lowerAfterMs = 20000;
    qint64 maxLowerAfterMs = 320000;
    // A step back that keeps up this long counts as good: the wait goes back to its first value.
    qint64 probationMs = 30000;
};

// How much of a live stream a tile's decoder may leave out, when decoding cannot keep up.
//
// A tile whose decoder is too slow for its stream shows every frame later than the one before: its
// lag grows while packets pile up in front of the decoder (media held beyond the shown frame). A
// slow network shows the lag without the pile. Behind for a while, the tile decodes less, a step
// at a time: first frames that no other frame refers to, then without the deblocking filter, then
// key frames only. It keeps each step until the picture has settled, and steps back once the
// picture has kept up for a while; a step back that falls behind again within a probation doubles
// the wait before the next one, so that a machine at its limit does not flap between two steps.
//
// At key frames only, or behind at the highest step allowed, the stream cannot keep up here: a
// camera with a sub-stream then plays that instead (see StreamChoice::Fallback).
//
// Times are any monotonic milliseconds; the figures come from the player (LiveLagEstimator, and
// the demuxer's newest packet less the shown frame).
class DecodeLoadPolicy
{
public:
    enum Level {
        Full = 0,
        // Frames that no other frame refers to are not decoded (most streams with B-frames have
        // many; a camera stream without them has none, and this step then changes nothing).
        SkipNonReference = 1,
        // ...and no frame is deblocked: every frame still shown, some detail lost.
        NoDeblocking = 2,
        // ...and only key frames are decoded: a picture a GOP (often a second).
        KeyFramesOnly = 3,
    };

    using Timings = DecodeLoadTimings;
    explicit DecodeLoadPolicy(Timings timings = Timings(), Level highest = KeyFramesOnly);

    // A shown frame: `lagSeconds` behind the live edge, `queuedSeconds` of media waiting beyond it
    // (NaN when not known: the lag alone decides). Returns the level to decode at.
    Level update(qint64 nowMs, double lagSeconds, double queuedSeconds);

    Level level() const { return m_level; }
    // The stream cannot keep up here: at key frames only, or behind at the highest step allowed.
    bool cannotKeepUp() const { return m_level == KeyFramesOnly || m_stuckAtHighest; }
    Level highest() const { return m_highest; }
    qint64 lowerAfterMs() const { return m_lowerAfterMs; }

    // Deblocking is left out anyway (a small tile): the NoDeblocking step would change nothing
    // and is stepped over, both ways.
    void setDeblockingOffAnyway(bool value) { m_deblockingOffAnyway = value; }
    bool deblockingOffAnyway() const { return m_deblockingOffAnyway; }

    // The same stream loaded again (a skip to the live edge, a reload after a stall): the level
    // stays, and the picture gets time to settle.
    void restarted(qint64 nowMs);
    // Another stream: back to full decoding, the waits to their first values.
    void reset();
    void setTimings(const Timings& timings);

    // Behind: this far behind the live edge, with this much media waiting for the decoder.
    static constexpr double kBehindLagSeconds = 0.4;
    static constexpr double kBehindQueuedSeconds = 0.25;
    // Keeping up: within this.
    static constexpr double kCalmLagSeconds = 0.25;

private:
    static constexpr qint64 kNever = std::numeric_limits<qint64>::min() / 2;

    Level stepUp(Level level) const;
    Level stepDown(Level level) const;

    Timings m_timings;
    Level m_highest;
    bool m_deblockingOffAnyway = false;
    Level m_level = Full;
    bool m_stuckAtHighest = false;
    qint64 m_lowerAfterMs;
    qint64 m_lastChangeMs = kNever;
    qint64 m_behindSinceMs = -1;
    qint64 m_calmSinceMs = -1;
    // When the last step back was taken, while its probation runs; -1 otherwise.
    qint64 m_loweredAtMs = -1;
};
