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
    // How far to seek for a skip within the buffer. The player seeks within what it holds only up
    // to the end of its last seekable range, a frame before the newest key frame (whose group of
    // pictures is still coming in): a target beyond it fails, and the picture stays behind. Only a
    // relative seek forward snaps forward to a key frame, so this is the amount to seek by from
    // the shown frame, to a little before the range's end (the picture moves on until the player
    // gets to the seek): it lands on the newest key frame. Decoding on from there to the very edge
    // without showing it was tried: with a wall of tiles skipping together it took longer.
    static double keyFrameSkipAmount(double shownPts, double rangeEnd)
    {
        return rangeEnd - kKeyFrameSkipMarginSeconds - shownPts;
    }
    static constexpr double kKeyFrameSkipMarginSeconds = 0.5;
    // A skip within the buffer is worth it when its newest key frame is this far ahead.
    static constexpr double kMinBufferSkipSeconds = 0.75;

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

// A skip within the buffer always goes forward.
static_assert(LiveEdgePolicy::kMinBufferSkipSeconds > LiveEdgePolicy::kKeyFrameSkipMarginSeconds);
