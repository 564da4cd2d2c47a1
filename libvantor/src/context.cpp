// SPDX-License-Identifier: MIT
#include "context_p.h"

namespace pelmar::vantor {

Context::Context() = default;

Context::Context(const Logger& logger) : d(std::make_shared<Impl>(logger)) {}

const Logger& Context::logger() const
{
    static const Logger silent;
    return d ? d->logger : silent;
}

} // namespace pelmar::vantor
