// SPDX-License-Identifier: MIT
#include "livecatchup.h"

#include <algorithm>
#include <cmath>

double LiveCatchUp::speedFor(qint64 nowMs, double queuedSeconds, quint64 lateDrops, double lagSeconds)
{
    const bool dropped = lateDrops > m_lateDrops;
    m_lateDrops = lateDrops;
    if (!std::isfinite(queuedSeconds)) {
        m_catchingUp = false;
        return slowSpeedFor(nowMs, dropped, lagSeconds);
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
        return slowSpeedFor(nowMs, dropped, lagSeconds);
    // Playing faster drops frames on purpose. A slower moment it cuts short (the slower moment
    // itself leaves media held) ends as any other, with the wait after it: otherwise the next
    // drops once caught up slow it again at once, and the two take turns for good.
    if (m_slowSinceMs >= 0)
        endSlow(nowMs);
    m_dropsInWindow = 0;
    // Half a second held plays at 1.5: worked off in about a second.
    const double wanted = std::clamp(1.0 + backlog, kMinSpeed, kMaxSpeed);
    return std::round(wanted / kSpeedStep) * kSpeedStep;
}

double LiveCatchUp::slowSpeedFor(qint64 nowMs, bool dropped, double lagSeconds)
{
    if (dropped)
        m_lastDropMs = nowMs;
    if (m_slowSinceMs >= 0) {
        if (nowMs - m_lastDropMs < kSlowQuietMs && nowMs - m_slowSinceMs < kMaxSlowMs)
            return kSlowSpeed;
        endSlow(nowMs);
        return 1.0;
    }
    if (!dropped)
        return 1.0;
    // Drops back soon after a slower moment: they were not a clock ahead (a machine that draws
    // late drops frames at any speed), and each try adds lag; the next waits twice as long.
    if (m_slowEndedMs >= 0 && nowMs - m_slowEndedMs < kRelapseMs) {
        m_cooldownMs = std::min(2 * m_cooldownMs, kMaxSlowCooldownMs);
        m_noSlowBeforeMs = m_slowEndedMs + m_cooldownMs;
        m_slowEndedMs = -1;
    }
    if (!(lagSeconds < kSlowBelowLagSeconds))
        return 1.0;
    if (m_dropsInWindow == 0 || nowMs - m_dropWindowMs > kLateWindowMs) {
        m_dropWindowMs = nowMs;
        m_dropsInWindow = 0;
    }
    if (++m_dropsInWindow < kLateDropsToSlow || nowMs < m_noSlowBeforeMs)
        return 1.0;
    m_slowSinceMs = nowMs;
    return kSlowSpeed;
}

void LiveCatchUp::endSlow(qint64 nowMs)
{
    m_slowEndedMs = nowMs;
    m_noSlowBeforeMs = nowMs + m_cooldownMs;
    m_slowSinceMs = -1;
    m_dropsInWindow = 0;
}

void LiveCatchUp::reset()
{
    m_catchingUp = false;
    m_ownSeconds = 0.0;
    m_lateDrops = 0;
    m_dropsInWindow = 0;
    m_slowSinceMs = -1;
    m_slowEndedMs = -1;
    m_noSlowBeforeMs = 0;
    m_cooldownMs = kSlowCooldownMs;
}
