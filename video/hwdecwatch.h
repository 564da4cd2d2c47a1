// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// Tells when a tile's hardware decoder has failed in a way the player does not notice itself.
//
// The player falls back to software on its own when a hardware decoder cannot be made for a
// stream, or fails to decode it; the tile then only says so. What it does not catch is a hardware
// decoder that takes packets and gives no pictures: while playing, with hardware decoding in use,
// no new frame for kNoFrameMs although kMediaArrivedSeconds of media arrived meanwhile (the stream
// flows, so the fault is the decoder's). A stream that ends in an error while decoded in hardware
// counts the same. The tile then opens its stream again in software, for good.
class HwdecWatch
{
public:
    // A look at the tile, at least once a second while it plays: whether it decodes in hardware
    // and plays (not paused, not idle), the frames it has presented so far and the media time of
    // the newest packet its player read (NaN when not known). True once the decoder has failed.
    bool failed(qint64 nowMs, bool hardware, bool playing, qint64 presentedFrames, double demuxedUpTo);
    // A new stream.
    void reset();

    static constexpr qint64 kNoFrameMs = 4000;
    static constexpr double kMediaArrivedSeconds = 2.0;

private:
    bool m_watching = false;
    qint64 m_frames = 0;
    qint64 m_sinceMs = 0;
    double m_demuxedAt = 0.0;
};
