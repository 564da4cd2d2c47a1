// SPDX-License-Identifier: MIT
#include "liveedgepolicy.h"

bool LiveEdgePolicy::check(qint64 nowMs, double lagSeconds)
{
    if (!(lagSeconds > kSkipAboveSeconds)) {
        m_behindSinceMs = -1;
        return false;
    }
    if (m_behindSinceMs < 0)
        m_behindSinceMs = nowMs;
    if (nowMs - m_behindSinceMs < kSustainMs || nowMs - m_lastSkipMs < kMinSkipIntervalMs)
        return false;
    m_lastSkipMs = nowMs;
    m_behindSinceMs = -1;
    return true;
}

void LiveEdgePolicy::reset()
{
    m_behindSinceMs = -1;
}
