// SPDX-License-Identifier: MIT
// bench_live mpv-tiles: the tiles' baseline, one standalone mpv per stream URL, each window where
// its geometry puts it; their CPU and memory summed and each player's counters over the window,
// read over its IPC socket. --screen and --stall as for the client's tiles.
#include <algorithm>
#include <memory>
#include <vector>

#include <QTemporaryDir>

#include "commands.h"
#include "livecommon.h"
#include "mpvplayer.h"
#include "screenreader.h"
#include "tilefigures.h"

int runMpvTiles(const LiveOptions& options)
{
    QTemporaryDir sockets;
    std::vector<std::unique_ptr<MpvPlayer>> players;
    for (int i = 0; i < options.urls.size(); ++i) {
        players.push_back(std::make_unique<MpvPlayer>(options.mpv, sockets.filePath(QStringLiteral("mpv%1").arg(i)),
                                                      options.urls.at(i), options.geometries.value(i)));
        if (!players.back()->start()) {
            fail(QStringLiteral("cannot start %1").arg(options.mpv));
            return 1;
        }
    }
    for (auto& player : players) {
        if (!player->connect(10000)) {
            fail(QStringLiteral("no IPC connection to an mpv player"));
            return 1;
        }
    }
    const qint64 startedMs = nowMs();
    const bool loaded = waitUntil(
        [&] { return std::all_of(players.begin(), players.end(), [](auto& player) { return player->loaded(); }); },
        options.loadTimeoutMs, 20);
    if (!loaded) {
        fail(QStringLiteral("not all %1 players loaded within %2 ms").arg(players.size()).arg(options.loadTimeoutMs));
        return 1;
    }
    const qint64 loadMs = nowMs() - startedMs;

    std::vector<Placement> placements;
    QStringList rects;
    for (int i = 0; i < options.urls.size(); ++i) {
        Placement placement;
        placement.port = QUrl(options.urls.at(i)).port();
        // No window manager under Xvfb: each window is where its geometry asks.
        placement.rect = rectOfGeometry(options.geometries.value(i));
        rects << placement.rect;
        placements.push_back(placement);
    }
    ScreenReader reader;
    bool reading = false;
    if (!options.screen.isEmpty()) {
        if (rects.contains(QString()))
            fail(QStringLiteral("every player needs a geometry WxH+X+Y to read the screen; it is not read"));
        else
            reading = reader.start(options.screen, rects, options.samples, options.rateHz);
    }

    std::vector<Counters> before;
    std::vector<double> cpuBefore;
    const qint64 wallStart = nowMs();
    const qint64 windowStartNs = monotonicNs();
    for (auto& player : players) {
        before.push_back(player->counters());
        cpuBefore.push_back(processCpuSeconds(player->pid()));
    }
    sleepWithEvents(options.seconds * 1000);
    double cpu = 0;
    qint64 hwm = 0;
    qint64 rss = 0;
    std::vector<Counters> after;
    for (std::size_t i = 0; i < players.size(); ++i) {
        const double end = processCpuSeconds(players[i]->pid());
        if (end < 0 || !players[i]->running()) {
            fail(QStringLiteral("an mpv player ended during the window"));
            return 1;
        }
        cpu += end - cpuBefore[i];
        hwm += processStatusKb(players[i]->pid(), "VmHWM");
        rss += processStatusKb(players[i]->pid(), "VmRSS");
        after.push_back(players[i]->counters());
    }
    const qint64 wallEnd = nowMs();
    const qint64 windowEndNs = monotonicNs();
    const double wallS = (wallEnd - wallStart) / 1000.0;
    emitLine(QStringLiteral("mpv tiles=%1 load_ms=%2 wall_s=%3 cpu_s=%4 cpu_pct=%5 hwm_kb=%6 rss_kb=%7")
                 .arg(players.size())
                 .arg(loadMs)
                 .arg(wallS, 0, 'f', 3)
                 .arg(cpu, 0, 'f', 3)
                 .arg(cpu / wallS * 100.0, 0, 'f', 2)
                 .arg(hwm)
                 .arg(rss));
    for (std::size_t i = 0; i < players.size(); ++i) {
        const QString size = options.geometries.value(static_cast<int>(i)).section(QLatin1Char('+'), 0, 0);
        emitTile(QStringLiteral("mpv"), static_cast<int>(i), before[i], after[i], wallS, size, placements[i]);
    }
    if (reading) {
        emitLine(QStringLiteral("window who=mpv start_ns=%1 end_ns=%2").arg(windowStartNs).arg(windowEndNs));
        if (options.stallSeconds > 0) {
            std::vector<qint64> pids;
            for (auto& player : players)
                pids.push_back(player->pid());
            stallTest(QStringLiteral("mpv"), pids, options.stallSeconds, options.stallObserveSeconds);
        }
        reader.stop();
        emitLine(QStringLiteral("screen who=mpv samples=%1").arg(options.samples));
    }
    return 0;
}
