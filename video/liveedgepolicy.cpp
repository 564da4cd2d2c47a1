// SPDX-License-Identifier: MIT
#include "liveedgepolicy.h"

bool LiveEdgePolicy::check(qint64 nowMs, double lagSeconds, double heldSeconds)
{
    if (!(lagSeconds > kSkipAboveSeconds)) {
        m_behindSinceMs = -1;
        return false;
    }
    if (m_behindSinceMs < 0)
        m_behindSinceMs = nowMs;
    const qint64 sustainMs = heldSeconds > kSkipAboveSeconds ? kHeldSustainMs : kSustainMs;
    if (nowMs - m_behindSinceMs < sustainMs || nowMs - m_lastSkipMs < kMinSkipIntervalMs)
        return false;
    m_lastSkipMs = nowMs;
    m_behindSinceMs = -1;
    return true;
}

void LiveEdgePolicy::deferred(qint64 nowMs)
{
    m_lastSkipMs = nowMs - kMinSkipIntervalMs + kRetryMs;
    m_behindSinceMs = nowMs - kSustainMs;
}

void LiveEdgePolicy::reset()
{
    m_behindSinceMs = -1;
}

LiveEdgePolicy::Skip LiveEdgePolicy::skipFor(double shownPts, double newestKeyFrame, double bufferEnd)
{
    if (newestKeyFrame - shownPts > kMinBufferSkipSeconds && bufferEnd >= newestKeyFrame)
        return Skip::WithinBuffer;
    // Loading again would throw the backlog away and wait for a key frame all the same.
    if (bufferEnd - shownPts > kMinBufferSkipSeconds)
        return Skip::Wait;
    return Skip::Reload;
}
