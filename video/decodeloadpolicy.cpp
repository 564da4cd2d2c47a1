// SPDX-License-Identifier: MIT
#include "decodeloadpolicy.h"

#include <algorithm>
#include <cmath>

DecodeLoadPolicy::DecodeLoadPolicy(Timings timings, Level highest)
    : m_timings(timings), m_highest(highest), m_lowerAfterMs(timings.lowerAfterMs)
{
}

void DecodeLoadPolicy::setTimings(const Timings& timings)
{
    m_timings = timings;
    m_lowerAfterMs = timings.lowerAfterMs;
}

DecodeLoadPolicy::Level DecodeLoadPolicy::update(qint64 nowMs, double lagSeconds, double queuedSeconds)
{
    const bool queueKnown = std::isfinite(queuedSeconds);
    // A lag without media waiting is the network's or the camera's: decoding less would not help.
    const bool behind = lagSeconds > kBehindLagSeconds && (!queueKnown || queuedSeconds > kBehindQueuedSeconds);
    // Keeping up is the lag's alone: with key frames only, media waits between two of them anyway.
    const bool calm = lagSeconds < kCalmLagSeconds;
    if (behind) {
        if (m_behindSinceMs < 0)
            m_behindSinceMs = nowMs;
    } else {
        m_behindSinceMs = -1;
    }
    if (calm) {
        if (m_calmSinceMs < 0)
            m_calmSinceMs = nowMs;
    } else {
        m_calmSinceMs = -1;
    }
    if (m_loweredAtMs >= 0 && nowMs - m_loweredAtMs >= m_timings.probationMs) {
        m_loweredAtMs = -1;
        m_lowerAfterMs = m_timings.lowerAfterMs;
    }
    if (m_calmSinceMs >= 0 && nowMs - m_calmSinceMs >= m_timings.raiseAfterMs)
        m_stuckAtHighest = false;
    if (nowMs - m_lastChangeMs < m_timings.settleMs)
        return m_level;

    if (m_behindSinceMs >= 0 && nowMs - m_behindSinceMs >= m_timings.raiseAfterMs) {
        const Level next = stepUp(m_level);
        if (next > m_highest || next == m_level) {
            m_stuckAtHighest = true;
            return m_level;
        }
        // Behind again during a step back's probation: that step was one too far.
        if (m_loweredAtMs >= 0) {
            m_lowerAfterMs = std::min(2 * m_lowerAfterMs, m_timings.maxLowerAfterMs);
            m_loweredAtMs = -1;
        }
        m_level = next;
        m_lastChangeMs = nowMs;
        m_behindSinceMs = -1;
        m_calmSinceMs = -1;
        return m_level;
    }
    if (m_level > Full && m_calmSinceMs >= 0 && nowMs - m_calmSinceMs >= m_lowerAfterMs) {
        m_level = stepDown(m_level);
        m_lastChangeMs = nowMs;
        m_loweredAtMs = nowMs;
        m_calmSinceMs = -1;
        m_stuckAtHighest = false;
    }
    return m_level;
}

DecodeLoadPolicy::Level DecodeLoadPolicy::stepUp(Level level) const
{
    if (level >= KeyFramesOnly)
        return level;
    Level next = static_cast<Level>(level + 1);
    if (next == NoDeblocking && m_deblockingOffAnyway && m_highest > NoDeblocking)
        next = KeyFramesOnly;
    return next;
}

DecodeLoadPolicy::Level DecodeLoadPolicy::stepDown(Level level) const
{
    if (level <= Full)
        return level;
    Level next = static_cast<Level>(level - 1);
    if (next == NoDeblocking && m_deblockingOffAnyway)
        next = SkipNonReference;
    return next;
}

void DecodeLoadPolicy::restarted(qint64 nowMs)
{
    m_lastChangeMs = nowMs;
    m_behindSinceMs = -1;
    m_calmSinceMs = -1;
}

void DecodeLoadPolicy::reset()
{
    m_level = Full;
    m_stuckAtHighest = false;
    m_lowerAfterMs = m_timings.lowerAfterMs;
    m_lastChangeMs = kNever;
    m_behindSinceMs = -1;
    m_calmSinceMs = -1;
    m_loweredAtMs = -1;
}
