// SPDX-License-Identifier: MIT
// Receipt texts of the POS publishers and of generated recordings. The text depends only on the
// seed, the stream id and the message number, so tests can predict every message.
#pragma once

#include <cstdint>
#include <string>

namespace vantorsim {

// The next number of a splitmix64 sequence whose state is `state`.
std::uint64_t splitmix64(std::uint64_t& state);

// Message `k` (0, 1, 2, ...) of stream `streamId`: lines joined by '\n', no trailing line end.
//   "POS <streamId> #<k>"
//   one to three lines "<qty> x <item> <price>"
//   "TOTAL <sum>"
// See sim/SITE-FORMAT.md for the exact generator.
std::string posReceipt(std::uint64_t seed, std::int64_t streamId, std::uint64_t k);

} // namespace vantorsim
