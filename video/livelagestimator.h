// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// How far a live picture is behind the live edge, from the player's own clocks.
//
// A camera sends its frames in real time, so the frame that reached the screen soonest after it
// was sent (the smallest wall time minus media time) marks the live edge; every later frame is
// behind it by how much more its wall time leads its media time. The time since the last frame
// counts too: a frozen picture grows older. A new stream, a loop or a seek (a media time that
// jumps back, or forward by more than the wall time allows) starts the reference anew.
//
// The reference only improves, but for a slow allowance for the camera's and this machine's
// clocks running at slightly different rates.
class LiveLagEstimator
{
public:
    // Forgets the stream: the next frame starts a new reference.
    void reset();

    // A frame with media time `pts` seconds was shown at `nowMs` on a monotonic clock.
    void frameShown(qint64 nowMs, double pts);

    bool hasFrame() const { return m_haveFrame; }
    // Seconds behind the live edge at `nowMs`; 0 before the first frame.
    double lagSeconds(qint64 nowMs) const;
    // Seconds behind the live edge when the last frame was shown: the part of the lag that a
    // stream which stopped sending does not add to.
    double lagAtLastFrameSeconds() const;
    // Milliseconds since the last frame; -1 before the first.
    qint64 msSinceFrame(qint64 nowMs) const;

    // A media time that jumps forward by more than the wall time plus this is a new stream.
    static constexpr double kForwardJumpSeconds = 5.0;
    // A media time that goes back by more than this is a new stream (a little is reordering).
    static constexpr double kBackwardJumpSeconds = 0.5;
    // How fast the reference may drift up, in seconds per second (clock rate differences).
    static constexpr double kDriftAllowance = 0.001;

private:
    bool m_haveFrame = false;
    double m_edgeOffset = 0.0; // smallest (wall - media) seen, in seconds
    qint64 m_edgeMs = 0;       // when it was last lowered or drifted
    double m_lastPts = 0.0;
    qint64 m_lastMs = 0;
};
