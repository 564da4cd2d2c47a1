// SPDX-License-Identifier: MIT
#include "simoptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <iterator>

namespace vantorsim {

namespace {

bool toInt(const std::string& text, long long low, long long high, long long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    out = v;
    return true;
}

bool toDouble(const std::string& text, double low, double high, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= low && v <= high))
        return false;
    out = v;
    return true;
}

} // namespace

std::string usageText()
{
    return "Usage: vantor-sim --site FILE [options]\n"
           "Plays a Vantor site from a site file: the server endpoint for libvantor, the stream\n"
           "gateways (HTTP) and their POS publishers (ZeroMQ PUB).\n"
           "\n"
           "Options:\n"
           "  --site FILE            site file (JSON, see sim/SITE-FORMAT.md); required\n"
           "  --bind ADDR            address of the server endpoint and the control channel (127.0.0.1)\n"
           "  --port N               server endpoint port (20101)\n"
           "  --control-port N       line-based control channel on ADDR:N (off unless given)\n"
           "  --gateway-address ADDR put every gateway on ADDR (default: each gateway's \"address\")\n"
           "  --gateway-port N       gateway i (site order, from 0) serves HTTP on N+i (default: its\n"
           "                         \"httpPort\", 9554)\n"
           "  --pos-port N           gateway i publishes POS on N+i (default: its \"posPort\", 5556)\n"
           "  --pos-rate R           POS messages per second per stream, 0 = off (site, else 1)\n"
           "  --seed N               seed of the POS receipts (site, else 1)\n"
           "  --door-delay MS        delay of a door sensor after its actuator (site, else 1500)\n"
           "  --media-dir DIR        cache folder of the chunk media ($XDG_CACHE_HOME/vantor-sim)\n"
           "  --ffmpeg PATH          ffmpeg program that makes the chunk media (ffmpeg)\n"
           "  --protocol-version N   protocol version to speak, for tests of mismatches (1)\n"
           "  --no-value-reports     send no sensor or actuator values after a client fetched the\n"
           "                         objects, only changes (a server that reports nothing at first)\n"
           "  --verbose              log every request\n"
           "  --help                 show this text\n"
           "\n"
           "Prints \"vantor-sim: ready\" on standard output once every socket is bound.\n"
           "Exit codes: 0 stopped, 1 bad command line, 2 bad site file, 3 address in use or not\n"
           "bindable, 4 other failure.\n";
}

std::optional<int> parseArguments(int argc, char** argv, SimOptions& options)
{
    auto bad = [](const std::string& message) {
        std::fprintf(stderr, "vantor-sim: %s\nTry vantor-sim --help.\n", message.c_str());
        return std::optional<int>(ExitUsage);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usageText().c_str(), stdout);
            return ExitOk;
        }
        if (arg == "--verbose") {
            options.verbose = true;
            continue;
        }
        if (arg == "--no-value-reports") {
            options.reportValues = false;
            continue;
        }
        static const char* const valued[] = {"--site",
                                             "--bind",
                                             "--port",
                                             "--control-port",
                                             "--gateway-address",
                                             "--gateway-port",
                                             "--pos-port",
                                             "--pos-rate",
                                             "--seed",
                                             "--door-delay",
                                             "--media-dir",
                                             "--ffmpeg",
                                             "--protocol-version"};
        if (std::find(std::begin(valued), std::end(valued), arg) == std::end(valued))
            return bad("unknown option " + arg);
        if (i + 1 >= argc)
            return bad("option " + arg + " needs a value");
        const std::string value = argv[++i];
        long long n = 0;
        double r = 0;
        if (arg == "--site") {
            options.sitePath = value;
        } else if (arg == "--bind") {
            options.bind = value;
        } else if (arg == "--port") {
            if (!toInt(value, 1, 65535, n))
                return bad("--port needs a port number, not \"" + value + "\"");
            options.port = static_cast<int>(n);
        } else if (arg == "--control-port") {
            if (!toInt(value, 1, 65535, n))
                return bad("--control-port needs a port number, not \"" + value + "\"");
            options.controlPort = static_cast<int>(n);
        } else if (arg == "--gateway-address") {
            options.overrides.gatewayAddress = value;
        } else if (arg == "--gateway-port") {
            if (!toInt(value, 1, 65535, n))
                return bad("--gateway-port needs a port number, not \"" + value + "\"");
            options.overrides.gatewayPort = static_cast<int>(n);
        } else if (arg == "--pos-port") {
            if (!toInt(value, 1, 65535, n))
                return bad("--pos-port needs a port number, not \"" + value + "\"");
            options.overrides.posPort = static_cast<int>(n);
        } else if (arg == "--pos-rate") {
            if (!toDouble(value, 0, 1000, r))
                return bad("--pos-rate needs a number from 0 to 1000, not \"" + value + "\"");
            options.overrides.posRate = r;
        } else if (arg == "--seed") {
            if (!toInt(value, 0, INT64_MAX, n))
                return bad("--seed needs a non-negative integer, not \"" + value + "\"");
            options.overrides.posSeed = static_cast<std::uint64_t>(n);
        } else if (arg == "--door-delay") {
            if (!toInt(value, 0, 3600000, n))
                return bad("--door-delay needs milliseconds, not \"" + value + "\"");
            options.overrides.doorDelayMs = static_cast<int>(n);
        } else if (arg == "--media-dir") {
            options.mediaDir = value;
        } else if (arg == "--ffmpeg") {
            options.ffmpeg = value;
        } else if (arg == "--protocol-version") {
            if (!toInt(value, 0, 1000000, n))
                return bad("--protocol-version needs a number, not \"" + value + "\"");
            options.protocolVersion = static_cast<int>(n);
        } else {
            return bad("unknown option " + arg);
        }
    }
    if (options.sitePath.empty())
        return bad("no site file given (--site FILE)");
    return std::nullopt;
}

} // namespace vantorsim
