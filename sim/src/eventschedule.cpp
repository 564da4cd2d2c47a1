// SPDX-License-Identifier: MIT
#include "eventschedule.h"

#include <cstdio>

#include "posgen.h"

namespace vantorsim {

namespace {

std::uint64_t drawState(std::uint64_t seed, ScheduleKind kind, ObjectId id, std::uint64_t k)
{
    return seed * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(kind) * 0xD6E8FEB86659FD93ull +
           static_cast<std::uint64_t>(id) * 0xBF58476D1CE4E5B9ull + k * 0x94D049BB133111EBull;
}

std::string fourDigits(std::uint64_t number)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(number % 10000));
    return buf;
}

} // namespace

std::int64_t scheduleGapMs(std::uint64_t seed, ScheduleKind kind, ObjectId id, std::uint64_t k, int everySeconds,
                           int firstAfterSeconds)
{
    if (k == 0 && firstAfterSeconds >= 0)
        return std::int64_t(firstAfterSeconds) * 1000;
    std::uint64_t state = drawState(seed, kind, id, k);
    const std::int64_t permille = 750 + static_cast<std::int64_t>(splitmix64(state) % 501);
    return std::int64_t(everySeconds) * permille;
}

std::string holderCard(std::size_t index)
{
    return fourDigits(42 + index);
}

AccessAttempt accessAttempt(std::uint64_t seed, const AccessPlan& plan, std::uint64_t k)
{
    static const char* const reasons[] = {"unknown card", "outside schedule", "expired card"};
    std::uint64_t state = drawState(seed, ScheduleKind::Access, plan.door, k) ^ 0x5851F42D4C957F2Dull;
    AccessAttempt attempt;
    const std::size_t holder = plan.holders.empty() ? 0 : splitmix64(state) % plan.holders.size();
    attempt.granted = plan.deniedEvery == 0 || (k + 1) % static_cast<std::uint64_t>(plan.deniedEvery) != 0;
    if (!attempt.granted)
        attempt.reason = reasons[splitmix64(state) % 3];
    if (attempt.reason == "unknown card") {
        // A card that belongs to no one: numbers from 9000 up are never handed out.
        attempt.card = fourDigits(9000 + splitmix64(state) % 1000);
    } else {
        attempt.cardHolder = plan.holders.empty() ? std::string() : plan.holders[holder];
        attempt.card = holderCard(holder);
    }
    return attempt;
}

} // namespace vantorsim
