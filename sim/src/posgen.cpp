// SPDX-License-Identifier: MIT
#include "posgen.h"

#include <cstdio>

namespace vantorsim {

std::uint64_t splitmix64(std::uint64_t& state)
{
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string posReceipt(std::uint64_t seed, std::int64_t streamId, std::uint64_t k)
{
    static const char* const items[] = {"Coffee", "Tea", "Sandwich", "Water", "Croissant", "Juice", "Muffin", "Salad"};
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(streamId) * 0xBF58476D1CE4E5B9ull +
                          k * 0x94D049BB133111EBull;
    auto money = [](std::uint64_t cents) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%llu.%02llu", static_cast<unsigned long long>(cents / 100),
                      static_cast<unsigned long long>(cents % 100));
        return std::string(buf);
    };

    std::string text = "POS " + std::to_string(streamId) + " #" + std::to_string(k);
    const std::uint64_t count = 1 + splitmix64(state) % 3;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const char* item = items[splitmix64(state) % 8];
        const std::uint64_t qty = 1 + splitmix64(state) % 4;
        const std::uint64_t cents = 50 + splitmix64(state) % 950;
        total += qty * cents;
        text += "\n" + std::to_string(qty) + " x " + item + " " + money(qty * cents);
    }
    text += "\nTOTAL " + money(total);
    return text;
}

} // namespace vantorsim
