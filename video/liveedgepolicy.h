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
    // The lag at the latest frame, in seconds, seen at `nowMs`. True when it is time to skip;
    // the policy then counts the skip as done.
    bool check(qint64 nowMs, double lagSeconds);
    // A new stream: whatever was behind before is forgotten (the time of the last skip is kept).
    void reset();

    // Behind by more than this...
    static constexpr double kSkipAboveSeconds = 1.0;
    // ...for this long...
    static constexpr qint64 kSustainMs = 800;
    // ...and not within this long of the last skip.
    static constexpr qint64 kMinSkipIntervalMs = 10000;

private:
    qint64 m_behindSinceMs = -1;
    qint64 m_lastSkipMs = std::numeric_limits<qint64>::min() / 2;
};
