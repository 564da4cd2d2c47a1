// SPDX-License-Identifier: MIT
#pragma once

#include <limits>

#include <QtGlobal>

// Decides when a live picture that fell behind the live edge should skip to it rather than play
// its way back: after the machine was busy for seconds, or after a network hiccup that arrived
// as a burst. The player drops late frames by itself and usually catches up on its own; this is
// the net under it, and it never skips more often than once in a while, so that a machine that
// cannot keep up at all does not reload its streams over and over.
class LiveEdgePolicy
{
public:
    // The lag at the latest frame, in seconds, seen at `nowMs`, with `heldSeconds` of media in the
    // player beyond that frame (NaN: not known). True when it is time to skip; the policy then
    // counts the skip as done.
    bool check(qint64 nowMs, double lagSeconds, double heldSeconds = std::numeric_limits<double>::quiet_NaN());
    // The skip could not be made yet (the player holds the backlog but no key frame far enough
    // ahead of the picture): asked for again after kRetryMs while still behind.
    void deferred(qint64 nowMs);
    // A new stream: whatever was behind before is forgotten (the time of the last skip is kept).
    void reset();

    // How to skip, from what the player holds beyond the shown frame (media times, in seconds; NaN
    // where not known): to its newest key frame within it, wait for one to come (the backlog is
    // there, a key frame far enough ahead not yet), or load the stream again (nothing held).
    enum class Skip { WithinBuffer, Wait, Reload };
    static Skip skipFor(double shownPts, double newestKeyFrame, double bufferEnd);
    // Where a skip within the buffer aims. `exact`: decoded from the key frame on without being
    // shown, to a frame or two before the buffer's end, so that the picture lands at the live edge
    // rather than up to a GOP behind it. A decoder that already leaves frames out has no time for
    // that: it aims at the end and lands on the newest key frame (the seek snaps back to it).
    static double bufferSkipTarget(double bufferEnd, bool exact)
    {
        return exact ? bufferEnd - kBufferSkipMarginSeconds : bufferEnd;
    }
    // A skip within the buffer is worth it when its newest key frame is this far ahead.
    static constexpr double kMinBufferSkipSeconds = 0.5;
    static constexpr double kBufferSkipMarginSeconds = 0.08;

    // Behind by more than this...
    static constexpr double kSkipAboveSeconds = 1.0;
    // ...for this long...
    static constexpr qint64 kSustainMs = 800;
    // ...or this long when the lag is media the player holds (a skip within it is cheap).
    static constexpr qint64 kHeldSustainMs = 300;
    // ...and not within this long of the last skip.
    static constexpr qint64 kMinSkipIntervalMs = 10000;
    static constexpr qint64 kRetryMs = 250;

private:
    qint64 m_behindSinceMs = -1;
    qint64 m_lastSkipMs = std::numeric_limits<qint64>::min() / 2;
};
