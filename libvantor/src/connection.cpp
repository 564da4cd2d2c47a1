// SPDX-License-Identifier: MIT
#include "connectioncore.h"
#include "dispatcher.h"

namespace pelmar::vantor {

Connection::Connection() = default;

Connection::Connection(ConnectionCallbacks callbacks, const Context& context, ConnectionOptions options)
{
    // A null context still gets a working connection, with a silent logger of its own.
    auto contextImpl = context.d ? context.d : std::make_shared<Context::Impl>(Logger());
    d = std::make_shared<Impl>(std::move(callbacks), std::move(contextImpl), options);
}

Connection::State Connection::state() const
{
    return d ? static_cast<State>(d->core->state()) : Closed;
}

void Connection::open(const std::string& host, int port, std::function<void()> onOpen,
                      std::function<void(const ConnectionError&)> onError)
{
    if (!d || !d->thread.joinable()) {
        if (onError)
            detail::Dispatcher::instance().post(
                [onError] { onError(ConnectionError("The connection is null", ErrNotConnected)); });
        return;
    }
    d->core->post([host, port, onOpen = std::move(onOpen), onError = std::move(onError)](detail::ConnectionCore& c) {
        c.open(host, port, onOpen, onError);
    });
}

void Connection::close()
{
    if (d)
        d->core->post([](detail::ConnectionCore& c) { c.close(); });
}

} // namespace pelmar::vantor
