// SPDX-License-Identifier: MIT
// bench_live switch: the client shows layout A once, unmeasured, then K switches B, A, B, ... of
// N tiles each, 1 s apart; each is timed by the client's own log lines ("Applying layout:",
// "loadFile:", "videoLoaded: true"), which carry the monotonic clock:
//   switch round=R to=NAME total_ms= applied_ms= first_load_ms= last_load_ms= first_loaded_ms=
#include "commands.h"
#include "liveclient.h"
#include "livecommon.h"

int runSwitch(const LiveOptions& options)
{
    LiveClient client(options.client, options.log, options.stats, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    for (int round = 0; round <= options.switches; ++round) {
        const QString name = round % 2 == 0 ? options.layout : options.other;
        client.poll();
        const std::size_t from = client.log().lines().size();
        const qint64 sentMs = client.setLayout(name);
        if (sentMs == 0)
            return 1;
        std::vector<LogLine> loaded;
        const bool done = waitUntil(
            [&] {
                client.poll();
                loaded = client.log().matching(QStringLiteral("videoLoaded: true"), from);
                return static_cast<int>(loaded.size()) >= options.tiles || !client.running();
            },
            options.loadTimeoutMs, 2);
        if (!done || static_cast<int>(loaded.size()) < options.tiles) {
            fail(QStringLiteral("switch %1: only %2 of %3 tiles loaded")
                     .arg(round)
                     .arg(loaded.size())
                     .arg(options.tiles));
            return 1;
        }
        const std::vector<LogLine> applied = client.log().matching(QStringLiteral("Applying layout:"), from);
        const std::vector<LogLine> loads = client.log().matching(QStringLiteral("loadFile:"), from);
        const qint64 doneMs = loaded[static_cast<std::size_t>(options.tiles) - 1].ms;
        if (round > 0) {
            emitLine(QStringLiteral("switch round=%1 to=%2 total_ms=%3 applied_ms=%4 first_load_ms=%5 "
                                    "last_load_ms=%6 first_loaded_ms=%7")
                         .arg(round)
                         .arg(QString(name).replace(QLatin1Char(' '), QLatin1Char('_')))
                         .arg(doneMs - sentMs)
                         .arg(applied.empty() ? -1 : applied.front().ms - sentMs)
                         .arg(loads.empty() ? -1 : loads.front().ms - sentMs)
                         .arg(loads.empty() ? -1 : loads.back().ms - sentMs)
                         .arg(loaded.front().ms - sentMs));
        }
        // The old tiles' players wind down off the GUI thread; let that pass before the next.
        sleepWithEvents(1000);
    }
    return 0;
}
