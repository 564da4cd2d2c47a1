// SPDX-License-Identifier: MIT
#pragma once

// How fast a live picture plays to work off what it holds beyond the live edge. A player starts
// showing a stream only after it has opened and probed it, and from then on shows each frame that
// long after it arrived: on a busy machine, with many tiles opening at once, that is half a second
// and more, for good. The media the player holds ahead of the picture (its demuxer's newest
// packet less the shown frame) says how much: above a threshold the picture plays a little faster
// (frames it cannot show in time are dropped) until the excess is gone.
class LiveCatchUp
{
public:
    // `queuedSeconds`: media held ahead of the shown frame. Returns the speed to play at.
    double speedFor(double queuedSeconds);
    void reset();
    bool catchingUp() const { return m_catchingUp; }

    // Start catching up above this much held media, and stop below the second (a frame or two
    // is always in flight).
    static constexpr double kStartAboveSeconds = 0.15;
    static constexpr double kStopBelowSeconds = 0.07;
    // Speeds between these, in steps, so that the player is not told a new speed every frame.
    static constexpr double kMinSpeed = 1.1;
    static constexpr double kMaxSpeed = 2.0;
    static constexpr double kSpeedStep = 0.1;

private:
    bool m_catchingUp = false;
};
