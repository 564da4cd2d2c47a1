// SPDX-License-Identifier: MIT
#include "clockanchors.h"

#include "livecommon.h"

std::optional<ClockAnchor> clockAnchorOf(const QString& text)
{
    const int at = text.indexOf(QLatin1String("clock anchor:"));
    if (at < 0)
        return std::nullopt;
    const QString rest = text.mid(at);
    bool positionOk = false;
    bool monotonicOk = false;
    bool rateOk = false;
    ClockAnchor anchor;
    anchor.positionMs = valueOf(rest, QStringLiteral("position_ms")).toDouble(&positionOk);
    anchor.monotonicMs = valueOf(rest, QStringLiteral("monotonic_ms")).toLongLong(&monotonicOk);
    anchor.rate = valueOf(rest, QStringLiteral("rate")).toDouble(&rateOk);
    const QString running = valueOf(rest, QStringLiteral("running"));
    if (!positionOk || !monotonicOk || !rateOk || (running != QLatin1String("0") && running != QLatin1String("1")))
        return std::nullopt;
    anchor.running = running == QLatin1String("1");
    return anchor;
}

std::optional<double> ClockAnchors::momentAt(qint64 ms) const
{
    const ClockAnchor* last = nullptr;
    for (const ClockAnchor& anchor : m_anchors)
        if (anchor.monotonicMs <= ms)
            last = &anchor;
    if (!last)
        return std::nullopt;
    return last->momentAt(ms);
}
