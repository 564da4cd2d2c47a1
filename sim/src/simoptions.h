// SPDX-License-Identifier: MIT
// Command line of vantor-sim.
#pragma once

#include <optional>
#include <string>

#include "site.h"

namespace vantorsim {

struct SimOptions
{
    std::string sitePath;
    std::string bind = "127.0.0.1"; // server endpoint and control channel
    int port = 20101;               // server endpoint (ZeroMQ ROUTER)
    int controlPort = 0;            // 0: no control channel
    SiteOverrides overrides;
    std::string mediaDir; // empty: MediaCache::defaultFolder()
    std::string ffmpeg = "ffmpeg";
    int protocolVersion = 1;
    bool verbose = false;
    // Every sensor's and actuator's value goes to a client once it has fetched the objects.
    bool reportValues = true;
};

enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    ExitBadSite = 2,
    ExitCannotBind = 3,
    ExitFailure = 4,
};

// Parses the arguments. Returns an exit code to leave with at once (after --help, or on a bad
// argument, with the message already printed), or nothing to go on.
std::optional<int> parseArguments(int argc, char** argv, SimOptions& options);

std::string usageText();

} // namespace vantorsim
