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
//
// The other way round, a player whose clock ran ahead of the camera (it caught up on more than
// was a backlog) finds every frame late, as frames come in bursts of a few from the network, and
// drops all but the first of each burst: a third of the frames shown, for good, at 1×. Frames
// dropped as late with nothing to catch up on therefore slow the picture down a moment, until
// the drops stop.
class LiveCatchUp
{
public:
    // `queuedSeconds`: media held ahead of the shown frame, at `nowMs`; `lateDrops`: the player's
    // count of frames it dropped as late, so far; `lagSeconds`: how far the picture is behind the
    // live edge. Returns the speed to play at.
    double speedFor(qint64 nowMs, double queuedSeconds, quint64 lateDrops = 0, double lagSeconds = 0.0);
    void reset();
    bool catchingUp() const { return m_catchingUp; }
    bool slowingDown() const { return m_slowSinceMs >= 0; }
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
    // Slower while frames are dropped as late at the live edge (further behind, frames are late
    // because the machine decodes or draws them late: slower would only add to the lag): this
    // many within the window start it...
    static constexpr double kSlowSpeed = 0.75;
    static constexpr double kSlowBelowLagSeconds = 0.1;
    static constexpr int kLateDropsToSlow = 3;
    static constexpr qint64 kLateWindowMs = 1000;
    // ...and none for this long ends it, at the longest after kMaxSlowMs; the next waits
    // kSlowCooldownMs (drops that come back have another cause, and each slower moment adds lag).
    static constexpr qint64 kSlowQuietMs = 400;
    static constexpr qint64 kMaxSlowMs = 1500;
    static constexpr qint64 kSlowCooldownMs = 10000;
    // Drops again within this long after a slower moment double the wait, up to the longest.
    static constexpr qint64 kRelapseMs = 5000;
    static constexpr qint64 kMaxSlowCooldownMs = 320000;

private:
    double slowSpeedFor(qint64 nowMs, bool dropped, double lagSeconds);
    void endSlow(qint64 nowMs);

    quint64 m_lateDrops = 0;
    // While not catching up: when the drops of the window started, and how many.
    qint64 m_dropWindowMs = 0;
    int m_dropsInWindow = 0;
    qint64 m_slowSinceMs = -1;
    qint64 m_lastDropMs = 0;
    qint64 m_noSlowBeforeMs = 0;
    qint64 m_slowEndedMs = -1;
    qint64 m_cooldownMs = kSlowCooldownMs;

    bool m_catchingUp = false;
    double m_ownSeconds = 0.0;
    // While catching up: the least held so far, and when it last went down.
    double m_leastHeld = 0.0;
    qint64 m_progressAtMs = 0;
};
