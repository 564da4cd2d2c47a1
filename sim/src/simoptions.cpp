// SPDX-License-Identifier: MIT
#include "simoptions.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <cxxopts.hpp>

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

const char* const Description = "Plays a Vantor site from a site file: the server endpoint for libvantor, the\n"
                                "stream gateways (HTTP) and their POS publishers (ZeroMQ PUB).";

const char* const Epilogue = "\nPrints \"vantor-sim: ready\" on standard output once every socket is bound.\n"
                             "Exit codes: 0 stopped, 1 bad command line, 2 bad site file, 3 address in use or not\n"
                             "bindable, 4 other failure.\n";

// Every option once: its name, what it is, and the name of its value. The values are checked
// after parsing, where each has its own range and message.
cxxopts::Options makeParser()
{
    cxxopts::Options parser("vantor-sim", Description);
    parser.custom_help("--site FILE [options]");
    parser.set_width(100);
    // clang-format off
    parser.add_options()
        ("site", "site file (JSON, see sim/SITE-FORMAT.md); required", cxxopts::value<std::string>(), "FILE")
        ("bind", "address of the server endpoint and the control channel (127.0.0.1)",
         cxxopts::value<std::string>(), "ADDR")
        ("port", "server endpoint port (20101)", cxxopts::value<std::string>(), "N")
        ("control-port", "line-based control channel on ADDR:N (off unless given)", cxxopts::value<std::string>(), "N")
        ("gateway-address", "put every gateway on ADDR (default: each gateway's \"address\")",
         cxxopts::value<std::string>(), "ADDR")
        ("gateway-port", "gateway i (site order, from 0) serves HTTP on N+i (default: its \"httpPort\", 9554)",
         cxxopts::value<std::string>(), "N")
        ("pos-port", "gateway i publishes POS on N+i (default: its \"posPort\", 5556)", cxxopts::value<std::string>(),
         "N")
        ("pos-rate", "POS messages per second per stream, 0 = off (site, else 1)", cxxopts::value<std::string>(), "R")
        ("seed", "seed of the POS receipts (site, else 1)", cxxopts::value<std::string>(), "N")
        ("door-delay", "delay of a door sensor after its actuator (site, else 1500)", cxxopts::value<std::string>(),
         "MS")
        ("media-dir", "cache folder of the chunk media ($XDG_CACHE_HOME/vantor-sim)", cxxopts::value<std::string>(),
         "DIR")
        ("ffmpeg", "ffmpeg program that makes the chunk media (ffmpeg)", cxxopts::value<std::string>(), "PATH")
        ("protocol-version", "protocol version to speak, for tests of mismatches (1)", cxxopts::value<std::string>(),
         "N")
        ("no-value-reports", "send no sensor or actuator values after a client fetched the objects, only changes "
                             "(a server that reports nothing at first)")
        ("verbose", "log every request")
        ("h,help", "show this text");
    // clang-format on
    return parser;
}

} // namespace

std::string usageText()
{
    return makeParser().help() + Epilogue;
}

std::optional<int> parseArguments(int argc, char** argv, SimOptions& options)
{
    auto bad = [](const std::string& message) {
        std::fprintf(stderr, "vantor-sim: %s\nTry vantor-sim --help.\n", message.c_str());
        return std::optional<int>(ExitUsage);
    };
    cxxopts::Options parser = makeParser();
    cxxopts::ParseResult given;
    try {
        given = parser.parse(argc, argv);
    } catch (const cxxopts::exceptions::exception& error) {
        return bad(error.what());
    }
    if (!given.unmatched().empty())
        return bad("unexpected argument \"" + given.unmatched().front() + "\"");
    if (given.count("help")) {
        std::fputs(usageText().c_str(), stdout);
        return ExitOk;
    }
    options.verbose = given.count("verbose") > 0;
    options.reportValues = given.count("no-value-reports") == 0;

    // The value of `name` when given; each kind of value is checked where it is read.
    auto text = [&given](const char* name) -> std::optional<std::string> {
        if (!given.count(name))
            return std::nullopt;
        return given[name].as<std::string>();
    };
    long long n = 0;
    double r = 0;
    auto port = [&](const char* name, auto&& store) -> bool {
        const std::optional<std::string> value = text(name);
        if (!value)
            return true;
        if (!toInt(*value, 1, 65535, n))
            return false;
        store(static_cast<int>(n));
        return true;
    };

    if (auto value = text("site"))
        options.sitePath = *value;
    if (auto value = text("bind"))
        options.bind = *value;
    if (auto value = text("gateway-address"))
        options.overrides.gatewayAddress = *value;
    if (auto value = text("media-dir"))
        options.mediaDir = *value;
    if (auto value = text("ffmpeg"))
        options.ffmpeg = *value;
    if (!port("port", [&](int v) { options.port = v; }))
        return bad("--port needs a port number, not \"" + *text("port") + "\"");
    if (!port("control-port", [&](int v) { options.controlPort = v; }))
        return bad("--control-port needs a port number, not \"" + *text("control-port") + "\"");
    if (!port("gateway-port", [&](int v) { options.overrides.gatewayPort = v; }))
        return bad("--gateway-port needs a port number, not \"" + *text("gateway-port") + "\"");
    if (!port("pos-port", [&](int v) { options.overrides.posPort = v; }))
        return bad("--pos-port needs a port number, not \"" + *text("pos-port") + "\"");
    if (auto value = text("pos-rate")) {
        if (!toDouble(*value, 0, 1000, r))
            return bad("--pos-rate needs a number from 0 to 1000, not \"" + *value + "\"");
        options.overrides.posRate = r;
    }
    if (auto value = text("seed")) {
        if (!toInt(*value, 0, INT64_MAX, n))
            return bad("--seed needs a non-negative integer, not \"" + *value + "\"");
        options.overrides.posSeed = static_cast<std::uint64_t>(n);
    }
    if (auto value = text("door-delay")) {
        if (!toInt(*value, 0, 3600000, n))
            return bad("--door-delay needs milliseconds, not \"" + *value + "\"");
        options.overrides.doorDelayMs = static_cast<int>(n);
    }
    if (auto value = text("protocol-version")) {
        if (!toInt(*value, 0, 1000000, n))
            return bad("--protocol-version needs a number, not \"" + *value + "\"");
        options.protocolVersion = static_cast<int>(n);
    }
    if (options.sitePath.empty())
        return bad("no site file given (--site FILE)");
    return std::nullopt;
}

} // namespace vantorsim
