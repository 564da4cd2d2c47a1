// SPDX-License-Identifier: MIT
#include "livecatchup.h"

#include <algorithm>
#include <cmath>

double LiveCatchUp::speedFor(double queuedSeconds)
{
    if (!std::isfinite(queuedSeconds)) {
        m_catchingUp = false;
        return 1.0;
    }
    if (m_catchingUp && queuedSeconds < kStopBelowSeconds)
        m_catchingUp = false;
    else if (!m_catchingUp && queuedSeconds > kStartAboveSeconds)
        m_catchingUp = true;
    if (!m_catchingUp)
        return 1.0;
    // Half a second held plays at 1.5: worked off in about a second.
    const double wanted = std::clamp(1.0 + queuedSeconds, kMinSpeed, kMaxSpeed);
    return std::round(wanted / kSpeedStep) * kSpeedStep;
}

void LiveCatchUp::reset()
{
    m_catchingUp = false;
}
