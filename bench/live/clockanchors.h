// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QtGlobal>

// The recorded page's shared clock, from its anchor lines in the client's log:
//   clock anchor: position_ms=P monotonic_ms=T rate=R running=B
// Its moment at monotonic time t is P + (t - T) * R while it runs, else P.
struct ClockAnchor
{
    double positionMs = 0;
    qint64 monotonicMs = 0;
    double rate = 1;
    bool running = false;

    double momentAt(qint64 ms) const { return running ? positionMs + double(ms - monotonicMs) * rate : positionMs; }
};

// The anchor of a log line's text; none when the line is not one, or is garbled.
std::optional<ClockAnchor> clockAnchorOf(const QString& text);

// The anchors in the order they were logged.
class ClockAnchors
{
public:
    void add(const ClockAnchor& anchor) { m_anchors.push_back(anchor); }
    const std::vector<ClockAnchor>& all() const { return m_anchors; }
    // The clock's moment at monotonic time `ms`, by the last anchor set at or before it; none
    // before the first.
    std::optional<double> momentAt(qint64 ms) const;
    // The first anchor logged after the first `from` that `accept` takes.
    template <typename Accept>
    std::optional<ClockAnchor> firstFrom(std::size_t from, Accept accept) const
    {
        for (std::size_t i = from; i < m_anchors.size(); ++i)
            if (accept(m_anchors[i]))
                return m_anchors[i];
        return std::nullopt;
    }

private:
    std::vector<ClockAnchor> m_anchors;
};
