// SPDX-License-Identifier: MIT
#include "livelagestimator.h"

#include <algorithm>
#include <cmath>

void LiveLagEstimator::reset()
{
    m_haveFrame = false;
}

void LiveLagEstimator::frameShown(qint64 nowMs, double pts)
{
    if (!std::isfinite(pts))
        return;
    const double offset = static_cast<double>(nowMs) / 1000.0 - pts;
    if (m_haveFrame) {
        const double mediaStep = pts - m_lastPts;
        const double wallStep = static_cast<double>(nowMs - m_lastMs) / 1000.0;
        if (mediaStep < -kBackwardJumpSeconds || mediaStep > wallStep + kForwardJumpSeconds)
            m_haveFrame = false;
    }
    if (!m_haveFrame) {
        m_haveFrame = true;
        m_edgeOffset = offset;
        m_edgeMs = nowMs;
    } else {
        // Let the reference follow a camera clock that runs a little slow, but never faster than
        // the allowance: a picture that falls behind must show as lag.
        const double drifted = m_edgeOffset + kDriftAllowance * static_cast<double>(nowMs - m_edgeMs) / 1000.0;
        m_edgeOffset = std::min(drifted, offset);
        m_edgeMs = nowMs;
    }
    m_lastPts = pts;
    m_lastMs = nowMs;
}

double LiveLagEstimator::lagSeconds(qint64 nowMs) const
{
    if (!m_haveFrame)
        return 0.0;
    const double shownOffset = static_cast<double>(nowMs) / 1000.0 - m_lastPts;
    return std::max(0.0, shownOffset - m_edgeOffset);
}

double LiveLagEstimator::lagAtLastFrameSeconds() const
{
    return lagSeconds(m_lastMs);
}

qint64 LiveLagEstimator::msSinceFrame(qint64 nowMs) const
{
    return m_haveFrame ? std::max<qint64>(0, nowMs - m_lastMs) : -1;
}
