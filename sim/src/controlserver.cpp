// SPDX-License-Identifier: MIT
#include "controlserver.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantorsim {

namespace {

constexpr std::size_t MaxLine = 4 * 1024 * 1024;

void setNonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

ControlServer::~ControlServer()
{
    close();
}

bool ControlServer::bind(const std::string& address, int port, std::string& error)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address";
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    setNonBlocking(fd);
    m_listenFd = fd;
    return true;
}

void ControlServer::addPollItems(std::vector<zmq_pollitem_t>& items) const
{
    if (m_listenFd < 0)
        return;
    items.push_back({nullptr, m_listenFd, ZMQ_POLLIN, 0});
    for (const auto& p : m_peers)
        items.push_back({nullptr, p.fd, ZMQ_POLLIN, 0});
}

void ControlServer::process(const Handler& handler)
{
    if (m_listenFd < 0)
        return;
    for (;;) {
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            break;
        m_peers.push_back({fd, {}});
    }
    for (std::size_t i = 0; i < m_peers.size();) {
        Peer& peer = m_peers[i];
        bool open = true;
        char buf[65536];
        for (;;) {
            ssize_t n = ::recv(peer.fd, buf, sizeof buf, 0);
            if (n > 0) {
                peer.buffer.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                open = false;
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        std::size_t pos;
        while (open && (pos = peer.buffer.find('\n')) != std::string::npos) {
            std::string line = peer.buffer.substr(0, pos);
            peer.buffer.erase(0, pos + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            open = reply(peer.fd, handler(line));
        }
        if (open && peer.buffer.size() > MaxLine) {
            reply(peer.fd, "error line too long");
            open = false;
        }
        if (!open) {
            ::close(peer.fd);
            m_peers.erase(m_peers.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

bool ControlServer::reply(int fd, const std::string& line)
{
    std::string text = line + "\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 2000) <= 0)
                return false; // a peer that does not read is dropped
            continue;
        }
        return false;
    }
    return true;
}

void ControlServer::close()
{
    for (auto& p : m_peers)
        ::close(p.fd);
    m_peers.clear();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

} // namespace vantorsim
