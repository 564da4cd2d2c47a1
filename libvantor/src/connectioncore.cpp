// SPDX-License-Identifier: MIT
#include "connectioncore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelmar::vantor::detail {

namespace {

ConnectionOptions sanitized(ConnectionOptions o)
{
    const ConnectionOptions defaults;
    if (o.handshakeTimeoutMs <= 0)
        o.handshakeTimeoutMs = defaults.handshakeTimeoutMs;
    if (o.requestTimeoutMs <= 0)
        o.requestTimeoutMs = defaults.requestTimeoutMs;
    if (o.heartbeatIntervalMs <= 0)
        o.heartbeatIntervalMs = defaults.heartbeatIntervalMs;
    if (o.heartbeatMissesAllowed < 1)
        o.heartbeatMissesAllowed = 1;
    return o;
}

std::chrono::milliseconds ms(int value)
{
    return std::chrono::milliseconds(value);
}

std::string dump(const wire::Json& json)
{
    // Texts that are not valid UTF-8 are replaced rather than thrown about.
    return json.dump(-1, ' ', false, wire::Json::error_handler_t::replace);
}

} // namespace

ConnectionCore::ConnectionCore(std::shared_ptr<Context::Impl> context, ConnectionCallbacks callbacks,
                               ConnectionOptions options)
    : m_context(std::move(context)), m_callbacks(std::move(callbacks)), m_options(sanitized(options))
{
    // Without an eventfd the loop still works, by polling often.
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

ConnectionCore::~ConnectionCore()
{
    m_socket.reset();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void ConnectionCore::post(Task task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop.load())
            return;
        m_tasks.push_back(std::move(task));
    }
    if (m_wakeFd >= 0) {
        std::uint64_t one = 1;
        ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        (void)written; // a full counter still wakes the loop
    }
}

void ConnectionCore::requestStop()
{
    m_stop.store(true);
    if (m_wakeFd >= 0) {
        std::uint64_t one = 1;
        ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        (void)written;
    }
}

void ConnectionCore::addSink(const std::shared_ptr<ClientSink>& sink)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sinks.erase(std::remove_if(m_sinks.begin(), m_sinks.end(), [](const auto& w) { return w.expired(); }),
                  m_sinks.end());
    m_sinks.push_back(sink);
}

void ConnectionCore::log(LogLevel level, const std::string& message) const
{
    m_context->logger.log(level, message);
}

template <typename F, typename... Args>
void ConnectionCore::invoke(const char* what, const F& callback, Args&&... args)
{
    // After the last handle has gone nothing of the caller may be called any more.
    if (m_stop.load() || !callback)
        return;
    try {
        callback(std::forward<Args>(args)...);
    } catch (const std::exception& e) {
        log(LogLevel::Error, std::string("The ") + what + " callback threw: " + e.what());
    } catch (...) {
        log(LogLevel::Error, std::string("The ") + what + " callback threw");
    }
}

void ConnectionCore::run()
{
    while (!m_stop.load()) {
        runTasks();
        if (m_stop.load())
            break;
        checkTimers(Clock::now());
        if (m_stop.load())
            break;

        zmq_pollitem_t items[2];
        int count = 0;
        if (m_wakeFd >= 0)
            items[count++] = {nullptr, m_wakeFd, ZMQ_POLLIN, 0};
        if (m_socket)
            items[count++] = {m_socket->handle(), 0, ZMQ_POLLIN, 0};
        int timeout = pollTimeoutMs(Clock::now());
        if (m_wakeFd < 0)
            timeout = std::min(timeout, 20);
        if (zmq_poll(items, count, timeout) < 0 && zmq_errno() != EINTR)
            log(LogLevel::Warning, std::string("Polling failed: ") + zmq_strerror(zmq_errno()));
        if (m_wakeFd >= 0) {
            std::uint64_t value = 0;
            ssize_t got = ::read(m_wakeFd, &value, sizeof value);
            (void)got; // EAGAIN when nothing was posted
        }
        if (m_socket)
            receiveAll();
    }

    // Last handle gone: leave quietly. Nothing of the caller is called from here on.
    closeSocket(m_state.load() == Connection::Open);
    m_state.store(Connection::Closed);
    for (auto& entry : m_pending)
        entry.second.state->finished.store(true);
    m_pending.clear();
    m_onOpen = nullptr;
    m_onOpenError = nullptr;
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_tasks);
        m_sinks.clear();
    }
}

void ConnectionCore::runTasks()
{
    std::deque<Task> tasks;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tasks.swap(m_tasks);
    }
    for (auto& task : tasks) {
        if (m_stop.load())
            return;
        try {
            task(*this);
        } catch (const std::exception& e) {
            log(LogLevel::Error, std::string("Internal task failed: ") + e.what());
        }
    }
}

int ConnectionCore::pollTimeoutMs(Clock::time_point now) const
{
    Clock::time_point next = now + std::chrono::seconds(1);
    const int state = m_state.load();
    if (state == Connection::Opening)
        next = std::min(next, m_openDeadline);
    if (state == Connection::Open) {
        next = std::min(next, m_nextHeartbeat);
        next = std::min(next, m_lastReceived + ms(m_options.heartbeatIntervalMs * m_options.heartbeatMissesAllowed));
    }
    for (const auto& entry : m_pending)
        next = std::min(next, entry.second.deadline);
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    // Round up so that a deadline a fraction of a millisecond away does not spin.
    return static_cast<int>(std::clamp<long long>(wait + 1, 0, 1000));
}

void ConnectionCore::checkTimers(Clock::time_point now)
{
    const int state = m_state.load();
    if (state == Connection::Opening && now >= m_openDeadline) {
        failOpen(ConnectionError("No answer from " + m_peer + " within " +
                                     std::to_string(m_options.handshakeTimeoutMs) + " ms",
                                 ErrTimeout));
        return;
    }
    if (state == Connection::Open) {
        const int silence = m_options.heartbeatIntervalMs * m_options.heartbeatMissesAllowed;
        if (now >= m_lastReceived + ms(silence)) {
            lose("no heartbeat from " + m_peer + " for " + std::to_string(silence) + " ms");
            return;
        }
        if (now >= m_nextHeartbeat) {
            sendJson({{"type", "hb"}});
            m_nextHeartbeat = now + ms(m_options.heartbeatIntervalMs);
        }
    }

    std::vector<std::uint64_t> expired;
    for (const auto& entry : m_pending)
        if (now >= entry.second.deadline)
            expired.push_back(entry.first);
    for (auto id : expired) {
        auto it = m_pending.find(id);
        if (it == m_pending.end())
            continue;
        Pending pending = std::move(it->second);
        m_pending.erase(it);
        pending.state->finished.store(true);
        log(LogLevel::Warning, "Request " + pending.op + " timed out");
        invoke(
            "request error", pending.onError,
            HandlerError("No answer to " + pending.op + " within " + std::to_string(m_options.requestTimeoutMs) + " ms",
                         ErrTimeout));
    }
}

void ConnectionCore::receiveAll()
{
    while (m_socket && !m_stop.load()) {
        zmq::message_t frame;
        zmq::recv_result_t got;
        try {
            got = m_socket->recv(frame, zmq::recv_flags::dontwait);
        } catch (const zmq::error_t& e) {
            log(LogLevel::Warning, std::string("Receiving failed: ") + e.what());
            return;
        }
        if (!got)
            return;
        bool extra = frame.more();
        while (extra && m_socket) {
            // Only single-frame messages are part of the protocol; drop the rest of others.
            zmq::message_t rest;
            if (!m_socket->recv(rest, zmq::recv_flags::dontwait))
                break;
            extra = rest.more();
        }
        wire::Json message = wire::Json::parse(frame.to_string_view(), nullptr, false);
        if (message.is_discarded() || !message.is_object()) {
            log(LogLevel::Warning, "Dropped a message that is not a JSON object");
            continue;
        }
        m_lastReceived = Clock::now();
        try {
            handleMessage(message);
        } catch (const wire::WireError& e) {
            log(LogLevel::Warning, std::string("Dropped a malformed message: ") + e.what());
        }
    }
}

void ConnectionCore::handleMessage(const wire::Json& message)
{
    const std::string type = wire::getString(message, "type");
    const int state = m_state.load();
    if (type == "welcome") {
        if (state != Connection::Opening || !m_awaitingWelcome)
            return;
        const auto version = wire::getInt(message, "version");
        if (version != wire::ProtocolVersion) {
            failOpen(ConnectionError("The server speaks protocol version " + std::to_string(version) +
                                         ", this library version " + std::to_string(wire::ProtocolVersion),
                                     ErrVersionMismatch));
            return;
        }
        m_awaitingWelcome = false;
        m_nextHeartbeat = Clock::now() + ms(m_options.heartbeatIntervalMs);
        log(LogLevel::Info, "Connected to " + m_peer);
        setState(Connection::Open);
        auto onOpen = std::move(m_onOpen);
        m_onOpen = nullptr;
        m_onOpenError = nullptr;
        invoke("open", onOpen);
    } else if (type == "refused") {
        if (state == Connection::Opening)
            failOpen(ConnectionError(wire::getString(message, "message", "The server refused the connection"),
                                     static_cast<int>(wire::getInt(message, "code", ErrVersionMismatch))));
    } else if (type == "hb") {
        // Liveness only; m_lastReceived is already updated.
    } else if (type == "reply") {
        handleReply(message);
    } else if (type == "push") {
        if (state == Connection::Open)
            handlePush(message);
    } else if (type == "bye") {
        const std::string reason = wire::getString(message, "reason", "no reason given");
        if (state == Connection::Open)
            lose("the server ended the session (" + reason + ")");
        else if (state == Connection::Opening)
            failOpen(ConnectionError("The server ended the session (" + reason + ")", ErrConnectionLost));
    } else {
        log(LogLevel::Debug, "Ignored a message of type " + type);
    }
}

void ConnectionCore::handleReply(const wire::Json& message)
{
    const auto id = static_cast<std::uint64_t>(wire::getInt(message, "id"));
    auto it = m_pending.find(id);
    if (it == m_pending.end()) {
        log(LogLevel::Debug, "Reply to request " + std::to_string(id) + " came after it had ended");
        return;
    }
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    pending.state->finished.store(true);

    auto okIt = message.find("ok");
    if (okIt == message.end() || !okIt->is_boolean()) {
        invoke("request error", pending.onError, HandlerError("Malformed reply to " + pending.op, ErrProtocol));
        return;
    }
    if (!okIt->get<bool>()) {
        int code = ErrServer;
        std::string text = "The server failed";
        auto err = message.find("error");
        if (err != message.end() && err->is_object()) {
            try {
                code = static_cast<int>(wire::getInt(*err, "code", ErrServer));
                text = wire::getString(*err, "message", text);
            } catch (const wire::WireError&) {
            }
        }
        invoke("request error", pending.onError, HandlerError(text, code));
        return;
    }
    std::function<void()> deliver;
    try {
        static const wire::Json empty = wire::Json::object();
        auto result = message.find("result");
        if (pending.onReply)
            deliver = pending.onReply(result != message.end() ? *result : empty);
    } catch (const std::exception& e) {
        invoke("request error", pending.onError,
               HandlerError("Malformed reply to " + pending.op + ": " + e.what(), ErrProtocol));
        return;
    }
    invoke("request", deliver);
}

void ConnectionCore::handlePush(const wire::Json& message)
{
    const std::string event = wire::getString(message, "kind");
    std::function<void(const ClientCallbacks&)> dispatch;
    if (event == "objectDataChanged") {
        dispatch = [this](const ClientCallbacks& c) { invoke("object data", c.objectDataChanged); };
    } else if (event == "eventReceived" || event == "eventUpdated") {
        const Event e = wire::eventFromJson(wire::getObject(message, "event"));
        const bool updated = event == "eventUpdated";
        dispatch = [this, e, updated](const ClientCallbacks& c) {
            invoke("event", updated ? c.eventUpdated : c.eventReceived, e);
        };
    } else if (event == "sensorValue" || event == "actuatorValue") {
        const ObjectId id = wire::getInt(message, "id");
        const ValuePtr value(std::shared_ptr<const Value>(wire::valueFromJson(wire::getObject(message, "value"))));
        const bool sensor = event == "sensorValue";
        dispatch = [this, id, value, sensor](const ClientCallbacks& c) {
            invoke("value", sensor ? c.sensorValueChanged : c.actuatorValueChanged, id, value);
        };
    } else {
        log(LogLevel::Debug, "Ignored a push of kind " + event);
        return;
    }

    std::vector<std::weak_ptr<ClientSink>> sinks;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sinks = m_sinks;
    }
    for (const auto& weak : sinks) {
        if (m_stop.load())
            return;
        if (auto sink = weak.lock())
            dispatch(sink->callbacks);
    }
}

void ConnectionCore::open(const std::string& host, int port, std::function<void()> onOpen,
                          std::function<void(const ConnectionError&)> onError)
{
    if (m_state.load() != Connection::Closed) {
        invoke("open error", onError, ConnectionError("The connection is already open or opening", ErrInvalidArgument));
        return;
    }
    if (port <= 0 || port > 65535) {
        invoke("open error", onError, ConnectionError("Invalid port " + std::to_string(port), ErrInvalidArgument));
        return;
    }
    if (host.empty()) {
        invoke("open error", onError, ConnectionError("Empty host name", ErrHostNotFound));
        return;
    }
    ++m_attempt;
    m_peer = host + ":" + std::to_string(port);
    m_onOpen = std::move(onOpen);
    m_onOpenError = std::move(onError);
    m_openDeadline = Clock::now() + ms(m_options.handshakeTimeoutMs);
    log(LogLevel::Info, "Opening " + m_peer);
    setState(Connection::Opening);
    if (m_state.load() == Connection::Opening)
        startResolve(host, port);
}

void ConnectionCore::startResolve(const std::string& host, int port)
{
    const std::string portText = std::to_string(port);
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        connectTo({"tcp://" + host + ":" + portText, false, {}});
        return;
    }
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        connectTo({"tcp://[" + host + "]:" + portText, true, {}});
        return;
    }

    // Names are resolved on a helper thread: a slow resolver must not hold up the I/O thread, and
    // the handshake timeout keeps counting meanwhile.
    std::weak_ptr<ConnectionCore> weak = shared_from_this();
    const std::uint64_t attempt = m_attempt;
    auto resolve = [weak, host, portText, attempt] {
        Resolved result;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
        if (rc != 0) {
            result.error = gai_strerror(rc);
        } else {
            std::string v4Text, v6Text;
            for (addrinfo* ai = list; ai; ai = ai->ai_next) {
                char text[INET6_ADDRSTRLEN] = {};
                if (ai->ai_family == AF_INET && v4Text.empty()) {
                    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr, text, sizeof text);
                    v4Text = text;
                } else if (ai->ai_family == AF_INET6 && v6Text.empty()) {
                    inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(ai->ai_addr)->sin6_addr, text, sizeof text);
                    v6Text = text;
                }
            }
            ::freeaddrinfo(list);
            if (!v4Text.empty())
                result.endpoint = "tcp://" + v4Text + ":" + portText;
            else if (!v6Text.empty())
                result = {"tcp://[" + v6Text + "]:" + portText, true, {}};
            else
                result.error = "no IPv4 or IPv6 address";
        }
        if (auto self = weak.lock()) {
            self->post([result, attempt, host](ConnectionCore& core) {
                if (core.m_attempt != attempt || core.m_state.load() != Connection::Opening || core.m_socket)
                    return;
                if (result.endpoint.empty())
                    core.failOpen(
                        ConnectionError("Cannot resolve host " + host + ": " + result.error, ErrHostNotFound));
                else
                    core.connectTo(result);
            });
        }
    };
    try {
        std::thread(std::move(resolve)).detach();
    } catch (const std::system_error& e) {
        failOpen(ConnectionError(std::string("Cannot start host name resolution: ") + e.what(), ErrHostNotFound));
    }
}

void ConnectionCore::connectTo(const Resolved& resolved)
{
    try {
        m_socket = std::make_unique<zmq::socket_t>(m_context->zmq, zmq::socket_type::dealer);
        m_socket->set(zmq::sockopt::linger, 0);
        if (resolved.ipv6)
            m_socket->set(zmq::sockopt::ipv6, 1);
        m_socket->connect(resolved.endpoint);
    } catch (const zmq::error_t& e) {
        m_socket.reset();
        failOpen(ConnectionError("Cannot connect to " + m_peer + ": " + e.what(), ErrNotConnected));
        return;
    }
    log(LogLevel::Debug, "Connecting to " + resolved.endpoint);
    m_awaitingWelcome = true;
    m_lastReceived = Clock::now();
    sendJson({{"type", "hello"},
              {"version", wire::ProtocolVersion},
              {"client", "libvantor"},
              {"heartbeatMs", m_options.heartbeatIntervalMs},
              {"heartbeatMisses", m_options.heartbeatMissesAllowed}});
}

void ConnectionCore::failOpen(const ConnectionError& error)
{
    if (m_state.load() != Connection::Opening)
        return;
    ++m_attempt; // a resolution still under way is of no use any more
    m_awaitingWelcome = false;
    log(LogLevel::Warning, "Opening " + m_peer + " failed: " + error.message());
    auto onError = std::move(m_onOpenError);
    m_onOpenError = nullptr;
    m_onOpen = nullptr;
    setState(Connection::Closing);
    closeSocket(false);
    setState(Connection::Closed);
    invoke("open error", onError, error);
}

void ConnectionCore::lose(const std::string& reason)
{
    if (m_state.load() != Connection::Open)
        return;
    log(LogLevel::Warning, "Connection lost: " + reason);
    setState(Connection::Closing);
    closeSocket(false);
    invoke("connection error", m_callbacks.connectionError,
           ConnectionError("Connection lost: " + reason, ErrConnectionLost));
    finishPending(ErrConnectionLost, "Connection lost: " + reason);
    setState(Connection::Closed);
}

void ConnectionCore::close()
{
    const int state = m_state.load();
    if (state == Connection::Opening) {
        failOpen(ConnectionError("The connection was closed before it was open", ErrConnectionLost));
    } else if (state == Connection::Open) {
        log(LogLevel::Info, "Closing " + m_peer);
        setState(Connection::Closing);
        closeSocket(true);
        finishPending(ErrConnectionLost, "The connection was closed");
        setState(Connection::Closed);
    }
}

void ConnectionCore::finishPending(int code, const std::string& message)
{
    std::map<std::uint64_t, Pending> pending;
    pending.swap(m_pending);
    for (auto& entry : pending) {
        entry.second.state->finished.store(true);
        invoke("request error", entry.second.onError, HandlerError(message, code));
    }
}

void ConnectionCore::request(const std::string& op, wire::Json args, std::shared_ptr<PendingRequest::State> state,
                             ReplyHandler onReply, ErrorCallback onError)
{
    if (m_state.load() != Connection::Open) {
        state->finished.store(true);
        invoke("request error", onError, HandlerError("Not connected", ErrNotConnected));
        return;
    }
    const std::uint64_t id = state->id;
    if (!sendJson({{"type", "request"}, {"id", id}, {"op", op}, {"args", std::move(args)}})) {
        state->finished.store(true);
        invoke("request error", onError,
               HandlerError("Cannot send " + op + ": the send queue is full", ErrNotConnected));
        return;
    }
    m_pending.emplace(id, Pending{std::move(state), op, std::move(onReply), std::move(onError),
                                  Clock::now() + ms(m_options.requestTimeoutMs)});
}

bool ConnectionCore::sendJson(const wire::Json& message)
{
    if (!m_socket)
        return false;
    try {
        const std::string text = dump(message);
        return static_cast<bool>(m_socket->send(zmq::buffer(text), zmq::send_flags::dontwait));
    } catch (const zmq::error_t& e) {
        log(LogLevel::Warning, std::string("Sending failed: ") + e.what());
        return false;
    }
}

void ConnectionCore::closeSocket(bool sayBye)
{
    if (!m_socket)
        return;
    if (sayBye)
        sendJson({{"type", "bye"}}); // best effort: with linger 0 it may not leave
    try {
        m_socket->close();
    } catch (const zmq::error_t&) {
    }
    m_socket.reset();
}

void ConnectionCore::setState(Connection::State state)
{
    const int previous = m_state.exchange(state);
    if (previous != state)
        invoke("state change", m_callbacks.stateChanged, static_cast<int>(state), previous);
}

} // namespace pelmar::vantor::detail

namespace pelmar::vantor {

Connection::Impl::Impl(ConnectionCallbacks callbacks, std::shared_ptr<Context::Impl> context, ConnectionOptions options)
    : core(std::make_shared<detail::ConnectionCore>(std::move(context), std::move(callbacks), options))
{
    try {
        thread = std::thread([core = core] { core->run(); });
    } catch (const std::system_error&) {
        // No thread: the connection then behaves as a null one (see Connection::open).
        core->requestStop();
    }
}

Connection::Impl::~Impl()
{
    core->requestStop();
    if (!thread.joinable())
        return;
    // Released from inside one of its own callbacks: the thread cannot wait for itself, so it is let
    // go; it finishes its loop on its own, and the core it shares stays alive until then.
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

} // namespace pelmar::vantor
