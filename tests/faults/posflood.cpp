// SPDX-License-Identifier: MIT
// A POS publisher that floods: binds an XPUB socket on a free loopback port, prints "port N",
// waits until every channel given is subscribed and a line comes on standard input, prints
// "flooding", then sends RATE two-frame
// messages a second, spread over the channels in turn, for SECONDS, and prints "sent COUNT".
//   posflood RATE SECONDS CHANNEL...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <zmq.hpp>

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: posflood RATE SECONDS CHANNEL...\n");
        return 1;
    }
    const long rate = std::strtol(argv[1], nullptr, 10);
    const double seconds = std::strtod(argv[2], nullptr);
    const std::vector<std::string> channels(argv + 3, argv + argc);
    if (rate <= 0 || seconds <= 0) {
        std::fprintf(stderr, "posflood: RATE and SECONDS must be positive\n");
        return 1;
    }

    zmq::context_t context(1);
    zmq::socket_t socket(context, zmq::socket_type::xpub);
    socket.set(zmq::sockopt::linger, 0);
    socket.bind("tcp://127.0.0.1:*");
    const std::string endpoint = socket.get(zmq::sockopt::last_endpoint);
    std::printf("port %s\n", endpoint.substr(endpoint.rfind(':') + 1).c_str());
    std::fflush(stdout);

    std::set<std::string> waiting(channels.begin(), channels.end());
    // The test may switch layouts for many minutes before its tiles subscribe.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::hours(1);
    while (!waiting.empty()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            std::fprintf(stderr, "posflood: %zu channel(s) never subscribed\n", waiting.size());
            return 2;
        }
        socket.set(zmq::sockopt::rcvtimeo, 200);
        zmq::message_t message;
        if (socket.recv(message) && message.size() > 1 && message.data<char>()[0] == 1)
            waiting.erase(std::string(message.data<char>() + 1, message.size() - 1));
    }
    std::printf("subscribed\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 0;
    std::printf("flooding\n");
    std::fflush(stdout);

    // Sent in slices of a millisecond, each catching up with the schedule.
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    long long sent = 0;
    std::size_t next = 0;
    for (auto now = start; now < end; now = std::chrono::steady_clock::now()) {
        const double elapsed = std::chrono::duration<double>(now - start).count();
        const auto due = static_cast<long long>(elapsed * static_cast<double>(rate));
        for (; sent < due; ++sent) {
            const std::string& channel = channels[next];
            next = (next + 1) % channels.size();
            const std::string text = "POS " + channel + " #" + std::to_string(sent) + "\n1 x Coffee 1.50\nTOTAL 1.50";
            socket.send(zmq::buffer(channel), zmq::send_flags::sndmore);
            socket.send(zmq::buffer(text), zmq::send_flags::none);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("sent %lld\n", sent);
    std::fflush(stdout);
    return 0;
}
