// SPDX-License-Identifier: MIT
// A POS publisher for tests: an XPUB socket on a free loopback port, which also shows the
// subscription messages that reach it ("+S1" for a subscribe, "-S1" for an unsubscribe), so that
// tests know when a filter is in place instead of waiting a fixed time.
#pragma once

#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <zmq.hpp>

class TestPublisher
{
public:
    TestPublisher() : m_context(1), m_socket(m_context, zmq::socket_type::xpub)
    {
        m_socket.set(zmq::sockopt::xpub_verbose, 1); // duplicates too
        m_socket.set(zmq::sockopt::sndhwm, 0);       // a burst must not be dropped here
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.bind("tcp://127.0.0.1:*");
        const std::string endpoint = m_socket.get(zmq::sockopt::last_endpoint);
        m_endpoint = QString::fromStdString(endpoint);
        m_port = m_endpoint.section(QLatin1Char(':'), -1).toInt();
    }

    QString endpoint() const { return m_endpoint; }
    int port() const { return m_port; }

    // Everything that arrived so far, oldest first.
    QStringList subscriptions()
    {
        zmq::message_t message;
        while (m_socket.recv(message, zmq::recv_flags::dontwait)) {
            const auto* bytes = message.data<char>();
            if (message.size() == 0)
                continue;
            const QString topic = QString::fromUtf8(bytes + 1, static_cast<int>(message.size()) - 1);
            m_seen << (bytes[0] == 1 ? QStringLiteral("+") : QStringLiteral("-")) + topic;
        }
        return m_seen;
    }

    void publish(const std::vector<QByteArray>& frames)
    {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto flags = i + 1 < frames.size() ? zmq::send_flags::sndmore : zmq::send_flags::none;
            m_socket.send(zmq::buffer(frames[i].constData(), static_cast<std::size_t>(frames[i].size())), flags);
        }
    }

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
    QString m_endpoint;
    int m_port = 0;
    QStringList m_seen;
};
