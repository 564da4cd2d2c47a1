// SPDX-License-Identifier: MIT
// bench_live signin: from the client's start to its first log line ("DEBUG:"), to "Logged in, id:"
// in its log, and to the layout list's first rows by its statistics file (right after the
// layouts went to the remote interface); and what a replica connected from before the start saw:
//   signin loggedin_ms= listed_ms= replica_loggedin_ms= replica_layouts_ms= replica_connected_ms=
//          first_log_ms=
#include "commands.h"
#include "liveclient.h"
#include "livecommon.h"

int runSignIn(const LiveOptions& options)
{
    LiveClient client(options.client, options.log, options.stats, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    waitUntil(
        [&] {
            client.poll();
            return !client.log().matching(QStringLiteral("Logged in, id:")).empty();
        },
        2000);
    waitUntil(
        [&] {
            client.poll();
            return !client.layoutListings().empty();
        },
        2000);
    const std::vector<LogLine> signedIn = client.log().matching(QStringLiteral("Logged in, id:"));
    const std::vector<LogLine> started = client.log().matching(QStringLiteral("DEBUG:"));
    const std::vector<qint64>& listed = client.layoutListings();
    // The replica's own times are live only when it was connected before the publications;
    // otherwise they are the answers to its requests.
    emitLine(QStringLiteral("signin loggedin_ms=%1 listed_ms=%2 replica_loggedin_ms=%3 replica_layouts_ms=%4 "
                            "replica_connected_ms=%5 first_log_ms=%6")
                 .arg(signedIn.empty() ? -1 : signedIn.front().ms - client.startMs())
                 .arg(listed.empty() ? -1 : listed.front() - client.startMs())
                 .arg(client.loggedInMs() ? client.loggedInMs() - client.startMs() : -1)
                 .arg(client.layoutsMs() ? client.layoutsMs() - client.startMs() : -1)
                 .arg(client.sourceMs() ? client.sourceMs() - client.startMs() : -1)
                 .arg(started.empty() ? -1 : started.front().ms - client.startMs()));
    return 0;
}
