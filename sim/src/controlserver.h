// SPDX-License-Identifier: MIT
// The control channel of the simulator: a TCP listener taking one command per line and answering
// one line per command. Its sockets are served by the simulator's main loop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <zmq.h>

namespace vantorsim {

class ControlServer
{
public:
    using Handler = std::function<std::string(const std::string& line)>;

    ControlServer() = default;
    ~ControlServer();

    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool bind(const std::string& address, int port, std::string& error);
    bool isListening() const { return m_listenFd >= 0; }
    void addPollItems(std::vector<zmq_pollitem_t>& items) const;
    // Accepts new peers and answers every complete line that has arrived.
    void process(const Handler& handler);
    void close();

private:
    struct Peer
    {
        int fd;
        std::string buffer;
    };

    bool reply(int fd, const std::string& line);

    int m_listenFd = -1;
    std::vector<Peer> m_peers;
};

} // namespace vantorsim
