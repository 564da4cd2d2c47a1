// SPDX-License-Identifier: MIT
#include "pospublisher.h"

#include "posgen.h"
#include "site.h"

namespace vantorsim {

PosPublisher::PosPublisher(zmq::context_t& context, const Site& site) : m_context(context), m_site(site) {}

bool PosPublisher::bind(std::string& error)
{
    for (const auto& g : m_site.gateways) {
        const std::string endpoint = "tcp://" + g.address + ":" + std::to_string(g.posPort);
        auto socket = std::make_unique<zmq::socket_t>(m_context, zmq::socket_type::pub);
        socket->set(zmq::sockopt::linger, 0);
        try {
            socket->bind(endpoint);
        } catch (const zmq::error_t& e) {
            error = g.address + ":" + std::to_string(g.posPort) + " (POS publisher of gateway " + std::to_string(g.id) +
                    "): " + e.what();
            return false;
        }
        for (auto stream : g.streams)
            m_channels.push_back({stream, m_sockets.size()});
        m_sockets.push_back(std::move(socket));
    }
    return true;
}

void PosPublisher::setRate(double perSecond, Clock::time_point now)
{
    m_rate = perSecond < 0 ? 0 : perSecond;
    m_epoch = now;
    m_round = 0;
}

PosPublisher::Clock::time_point PosPublisher::publishDue(Clock::time_point now)
{
    const auto idle = now + std::chrono::hours(1);
    if (m_rate <= 0 || m_channels.empty())
        return idle;
    auto dueAt = [this](std::uint64_t round) {
        return m_epoch + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(round / m_rate));
    };
    // Every channel publishes once per round; a round every 1/rate seconds. A late loop catches up
    // by at most a few rounds instead of flooding.
    int burst = 0;
    while (dueAt(m_round) <= now && burst++ < 5) {
        for (auto& ch : m_channels) {
            const std::string topic = std::to_string(ch.streamId);
            const std::string text = posReceipt(m_site.posSeed, ch.streamId, ch.next++);
            try {
                m_sockets[ch.socket]->send(zmq::buffer(topic), zmq::send_flags::sndmore | zmq::send_flags::dontwait);
                m_sockets[ch.socket]->send(zmq::buffer(text), zmq::send_flags::dontwait);
            } catch (const zmq::error_t&) {
                // PUB never blocks; an error here only loses this message.
            }
        }
        ++m_round;
    }
    if (dueAt(m_round) <= now) {
        // Too far behind: start the schedule again from now.
        m_round = 0;
        m_epoch = now;
    }
    return dueAt(m_round);
}

void PosPublisher::close()
{
    for (auto& s : m_sockets)
        s->close();
    m_sockets.clear();
}

} // namespace vantorsim
