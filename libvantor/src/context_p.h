// SPDX-License-Identifier: MIT
// Inside of a Context: the logger and the ZeroMQ context that every connection made from it shares.
#pragma once

#include <zmq.hpp>

#include "vantor/vantor.h"

namespace pelmar::vantor {

struct Context::Impl
{
    explicit Impl(const Logger& logger) : logger(logger) {}

    Logger logger;
    // Destroying it waits for every socket of the context to close; the I/O threads close theirs
    // before they let go of the context.
    zmq::context_t zmq{1};
};

} // namespace pelmar::vantor
