// SPDX-License-Identifier: MIT
// The working part of a connection: the I/O thread, its socket, the pending requests and the
// registered clients. It is shared between the connection handle and the running thread, so the
// thread can finish its loop safely after the last handle has gone (even from inside a callback).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <zmq.hpp>

#include "context_p.h"
#include "vantor/vantor.h"
#include "wire.h"

namespace pelmar::vantor {

struct PendingRequest::State
{
    explicit State(std::uint64_t id) : id(id) {}
    const std::uint64_t id;
    std::atomic<bool> finished{false};
};

namespace detail {

using Clock = std::chrono::steady_clock;

// The push callbacks of one Client; the core holds it weakly, so a released client gets no more pushes.
struct ClientSink
{
    ClientCallbacks callbacks;
};

// Decodes the "result" member of a successful reply and returns the call of the caller's success
// callback (empty when there is none). Decoding errors (wire::WireError) become ErrProtocol failures;
// decoding and calling are kept apart so that an exception of the caller is not taken for one.
using ReplyHandler = std::function<std::function<void()>(const wire::Json& result)>;

class ConnectionCore : public std::enable_shared_from_this<ConnectionCore>
{
public:
    using Task = std::function<void(ConnectionCore&)>;

    ConnectionCore(std::shared_ptr<Context::Impl> context, ConnectionCallbacks callbacks, ConnectionOptions options);
    ~ConnectionCore();

    ConnectionCore(const ConnectionCore&) = delete;
    ConnectionCore& operator=(const ConnectionCore&) = delete;

    // Any thread.
    void post(Task task);
    void requestStop();
    int state() const { return m_state.load(); }
    std::uint64_t nextRequestId() { return m_nextRequestId.fetch_add(1); }
    void addSink(const std::shared_ptr<ClientSink>& sink);

    // Entry point of the I/O thread.
    void run();

    // I/O thread only: the work behind the public calls.
    void open(const std::string& host, int port, std::function<void()> onOpen,
              std::function<void(const ConnectionError&)> onError);
    void close();
    void request(const std::string& op, wire::Json args, std::shared_ptr<PendingRequest::State> state,
                 ReplyHandler onReply, ErrorCallback onError);

private:
    struct Pending
    {
        std::shared_ptr<PendingRequest::State> state;
        std::string op;
        ReplyHandler onReply;
        ErrorCallback onError;
        Clock::time_point deadline;
    };

    struct Resolved
    {
        std::string endpoint; // tcp://address:port, empty when resolution failed
        bool ipv6 = false;
        std::string error;
    };

    void runTasks();
    void checkTimers(Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;
    void receiveAll();
    void handleMessage(const wire::Json& message);
    void handleReply(const wire::Json& message);
    void handlePush(const wire::Json& message);

    void startResolve(const std::string& host, int port);
    void connectTo(const Resolved& resolved);
    void failOpen(const ConnectionError& error);
    void lose(const std::string& reason);
    void finishPending(int code, const std::string& message);
    void closeSocket(bool sayBye);
    bool sendJson(const wire::Json& message);
    void setState(Connection::State state);
    void log(LogLevel level, const std::string& message) const;

    template <typename F, typename... Args>
    void invoke(const char* what, const F& callback, Args&&... args);

    // Declared first so that it goes last: the ZeroMQ context must outlive the socket.
    std::shared_ptr<Context::Impl> m_context;
    ConnectionCallbacks m_callbacks;
    ConnectionOptions m_options;

    std::atomic<int> m_state{Connection::Closed};
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_nextRequestId{1};

    mutable std::mutex m_mutex; // guards m_tasks and m_sinks
    std::deque<Task> m_tasks;
    std::vector<std::weak_ptr<ClientSink>> m_sinks;
    int m_wakeFd = -1;

    // I/O thread only.
    std::unique_ptr<zmq::socket_t> m_socket;
    std::map<std::uint64_t, Pending> m_pending;
    std::function<void()> m_onOpen;
    std::function<void(const ConnectionError&)> m_onOpenError;
    std::string m_peer; // host:port of the current attempt, for messages
    std::uint64_t m_attempt = 0;
    bool m_awaitingWelcome = false;
    Clock::time_point m_openDeadline;
    Clock::time_point m_lastReceived;
    Clock::time_point m_nextHeartbeat;
};

} // namespace detail

struct Connection::Impl
{
    Impl(ConnectionCallbacks callbacks, std::shared_ptr<Context::Impl> context, ConnectionOptions options);
    ~Impl();

    std::shared_ptr<detail::ConnectionCore> core;
    std::thread thread;
};

} // namespace pelmar::vantor
