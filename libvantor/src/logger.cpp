// SPDX-License-Identifier: MIT
#include "vantor/vantor.h"

namespace pelmar::vantor {

struct Logger::Impl
{
    Sink sink;
    int level = static_cast<int>(LogLevel::Info);
};

Logger::Logger() : d(std::make_shared<Impl>()) {}

Logger::Logger(Sink sink, int level) : d(std::make_shared<Impl>())
{
    d->sink = std::move(sink);
    d->level = level;
}

void Logger::log(LogLevel level, const std::string& message) const
{
    if (!d->sink || static_cast<int>(level) < d->level)
        return;
    try {
        d->sink(message, level);
    } catch (...) {
        // A throwing sink must not take the I/O thread down with it.
    }
}

int Logger::level() const
{
    return d->level;
}

} // namespace pelmar::vantor
