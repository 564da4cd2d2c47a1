// SPDX-License-Identifier: MIT
#include "hwdecwatch.h"

#include <cmath>

bool HwdecWatch::failed(qint64 nowMs, bool hardware, bool playing, qint64 presentedFrames, double demuxedUpTo)
{
    if (!hardware || !playing) {
        m_watching = false;
        return false;
    }
    // A new frame, or media time that was not known before, starts the watch anew.
    if (!m_watching || presentedFrames != m_frames || (!std::isfinite(m_demuxedAt) && std::isfinite(demuxedUpTo))) {
        m_watching = true;
        m_frames = presentedFrames;
        m_sinceMs = nowMs;
        m_demuxedAt = demuxedUpTo;
        return false;
    }
    return nowMs - m_sinceMs >= kNoFrameMs && std::isfinite(demuxedUpTo) &&
           demuxedUpTo - m_demuxedAt >= kMediaArrivedSeconds;
}

void HwdecWatch::reset()
{
    m_watching = false;
}
