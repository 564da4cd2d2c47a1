// SPDX-License-Identifier: MIT
// Who and when of the site's own events: every draw depends only on the events' seed, the
// schedule, its object and the occurrence's number, so tests can predict each event.
#pragma once

#include <cstdint>
#include <string>

#include "site.h"

namespace vantorsim {

enum class ScheduleKind : std::uint64_t {
    Access = 1,
    Motion = 2,
    Tamper = 3,
    Forced = 4,
};

// Occurrence `k` (0, 1, 2, ...) of a schedule comes this many milliseconds after occurrence k-1
// (after the start for k = 0): its period, drawn within ±25 %; `firstAfterSeconds` ≥ 0 fixes the
// first one instead.
std::int64_t scheduleGapMs(std::uint64_t seed, ScheduleKind kind, ObjectId id, std::uint64_t k, int everySeconds,
                           int firstAfterSeconds);

struct AccessAttempt
{
    bool granted = true;
    std::string cardHolder; // empty for an unknown card
    std::string card;       // four digits
    std::string reason;     // denied attempts only
};

// Attempt `k` at a door: every `deniedEvery`-th attempt (the n-th, the 2n-th, ...) is denied.
AccessAttempt accessAttempt(std::uint64_t seed, const AccessPlan& plan, std::uint64_t k);

// The card of the holder at `index` of a door's list: "0042", "0043", ...
std::string holderCard(std::size_t index);

} // namespace vantorsim
