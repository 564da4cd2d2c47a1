// SPDX-License-Identifier: MIT
// The POS publishers: one PUB socket per gateway, each publishing the receipts of the gateway's
// streams as two-frame messages (stream id, receipt text). Driven by the simulator's main loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <zmq.hpp>

namespace vantorsim {

struct Site;

class PosPublisher
{
public:
    using Clock = std::chrono::steady_clock;

    PosPublisher(zmq::context_t& context, const Site& site);

    // Binds every gateway's socket; on failure names the endpoint in `error`.
    bool bind(std::string& error);
    // Messages per second for each stream; 0 stops publishing.
    void setRate(double perSecond, Clock::time_point now);
    double rate() const { return m_rate; }
    // Publishes what is due and tells when the next message is.
    Clock::time_point publishDue(Clock::time_point now);
    void close();

private:
    struct Channel
    {
        std::int64_t streamId;
        std::size_t socket;
        std::uint64_t next = 0; // number of the next message
    };

    zmq::context_t& m_context;
    const Site& m_site;
    std::vector<std::unique_ptr<zmq::socket_t>> m_sockets;
    std::vector<Channel> m_channels;
    double m_rate = 0;
    Clock::time_point m_epoch; // when the first round of the current schedule was due
    std::uint64_t m_round = 0; // rounds published since m_epoch
};

} // namespace vantorsim
