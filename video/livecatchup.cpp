// SPDX-License-Identifier: MIT
#include "livecatchup.h"

#include <algorithm>
#include <cmath>

double LiveCatchUp::speedFor(qint64 nowMs, double queuedSeconds)
{
    if (!std::isfinite(queuedSeconds)) {
        m_catchingUp = false;
        return 1.0;
    }
    // Less held than what was taken for the player's own: it was not all its own.
    m_ownSeconds = std::max(0.0, std::min(m_ownSeconds, queuedSeconds));
    const double backlog = queuedSeconds - m_ownSeconds;
    if (m_catchingUp && backlog < kStopBelowSeconds) {
        m_catchingUp = false;
    } else if (!m_catchingUp && backlog > kStartAboveSeconds) {
        m_catchingUp = true;
        m_leastHeld = queuedSeconds;
        m_progressAtMs = nowMs;
    } else if (m_catchingUp) {
        if (queuedSeconds < m_leastHeld - kProgressSeconds) {
            m_leastHeld = queuedSeconds;
            m_progressAtMs = nowMs;
        } else if (nowMs - m_progressAtMs >= kNoProgressMs && queuedSeconds <= kMaxOwnSeconds) {
            m_catchingUp = false;
            m_ownSeconds = queuedSeconds;
        }
    }
    if (!m_catchingUp)
        return 1.0;
    // Half a second held plays at 1.5: worked off in about a second.
    const double wanted = std::clamp(1.0 + backlog, kMinSpeed, kMaxSpeed);
    return std::round(wanted / kSpeedStep) * kSpeedStep;
}

void LiveCatchUp::reset()
{
    m_catchingUp = false;
    m_ownSeconds = 0.0;
}
