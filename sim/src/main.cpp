// SPDX-License-Identifier: MIT
// vantor-sim: plays a Vantor site from a site file. See --help, sim/SITE-FORMAT.md and
// libvantor/PROTOCOL.md.
#include <cstdio>
#include <map>
#include <string>

#include <csignal>

#include "simoptions.h"
#include "simserver.h"
#include "site.h"

using namespace vantorsim;

namespace {

// Two of our own sockets on one address and port would fail at bind time with a message that
// blames someone else; say which parts of the site collide instead.
bool checkEndpoints(const Site& site, const SimOptions& options, std::string& error)
{
    std::map<std::pair<std::string, int>, std::string> used;
    auto claim = [&](const std::string& address, int port, const std::string& what) {
        auto [it, fresh] = used.emplace(std::make_pair(address, port), what);
        if (!fresh)
            error = what + " and " + it->second + " both use " + address + ":" + std::to_string(port);
        return fresh;
    };
    if (!claim(options.bind, options.port, "the server endpoint"))
        return false;
    if (options.controlPort > 0 && !claim(options.bind, options.controlPort, "the control channel"))
        return false;
    for (const auto& g : site.gateways) {
        if (!claim(g.address, g.httpPort, "the HTTP of gateway " + std::to_string(g.id)) ||
            !claim(g.address, g.posPort, "the POS publisher of gateway " + std::to_string(g.id)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    SimOptions options;
    if (auto code = parseArguments(argc, argv, options))
        return *code;

    Site site;
    try {
        site = loadSite(options.sitePath);
        applyOverrides(site, options.overrides);
    } catch (const SiteError& e) {
        std::fprintf(stderr, "vantor-sim: bad site file: %s\n", e.what());
        return ExitBadSite;
    }
    for (const auto& w : site.warnings)
        std::fprintf(stderr, "vantor-sim: warning: %s\n", w.c_str());
    std::string error;
    if (!checkEndpoints(site, options, error)) {
        std::fprintf(stderr, "vantor-sim: bad site file: %s: %s\n", options.sitePath.c_str(), error.c_str());
        return ExitBadSite;
    }

    try {
        SimServer server(site, options);
        if (!server.bind(error)) {
            std::fprintf(stderr, "vantor-sim: cannot bind %s\n", error.c_str());
            return ExitCannotBind;
        }
        return server.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-sim: error: %s\n", e.what());
        return ExitFailure;
    }
}
