// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// How fast a live picture plays to work off what it holds beyond the live edge. A player starts
// showing a stream only after it has opened and probed it, and from then on shows each frame that
// long after it arrived: on a busy machine, with many tiles opening at once, that is half a second
// and more, for good. The media the player holds ahead of the picture (its demuxer's newest
// packet less the shown frame) says how much: above a threshold the picture plays a little faster
// (frames it cannot show in time are dropped) until the excess is gone.
//
// Part of what is held is no backlog: a decoder working on several frames at once keeps a frame
// or two for itself. Playing faster cannot take those away; it only runs the player's clock
// ahead of the camera, and the player then drops most frames as late. Catching up that gains
// nothing for a while therefore stops, and what is held then counts as the player's own from
// then on (less, as soon as less is seen).
class LiveCatchUp
{
public:
    // `queuedSeconds`: media held ahead of the shown frame, at `nowMs`. Returns the speed to play at.
    double speedFor(qint64 nowMs, double queuedSeconds);
    void reset();
    bool catchingUp() const { return m_catchingUp; }
    // What the player holds for itself, as learned.
    double ownSeconds() const { return m_ownSeconds; }

    // Start catching up above this much held media, and stop below the second (a frame or two
    // is always in flight).
    static constexpr double kStartAboveSeconds = 0.15;
    static constexpr double kStopBelowSeconds = 0.07;
    // Speeds between these, in steps, so that the player is not told a new speed every frame.
    static constexpr double kMinSpeed = 1.1;
    static constexpr double kMaxSpeed = 2.0;
    static constexpr double kSpeedStep = 0.1;
    // Catching up that has not brought what is held down by kProgressSeconds for this long stops.
    static constexpr qint64 kNoProgressMs = 2000;
    static constexpr double kProgressSeconds = 0.02;
    // What counts as the player's own is never more than this (a decoder keeps a few frames): above
    // it, it is a backlog, even where playing faster gains nothing (a decoder that cannot keep up).
    static constexpr double kMaxOwnSeconds = 0.15;

private:
    bool m_catchingUp = false;
    double m_ownSeconds = 0.0;
    // While catching up: the least held so far, and when it last went down.
    double m_leastHeld = 0.0;
    qint64 m_progressAtMs = 0;
};
