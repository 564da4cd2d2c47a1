// SPDX-License-Identifier: MIT
// bench_live tiles: the client shows a layout of N video tiles; once every tile is loaded, its CPU,
// memory and each tile's counters over a window of S seconds, all from its statistics file.
// With --screen the screen is read for the window (and the stall test after it, with --stall);
// with --fullview the full-view rounds follow (fullview.cpp).
#include <algorithm>

#include "commands.h"
#include "liveclient.h"
#include "livecommon.h"
#include "screenreader.h"
#include "tilefigures.h"
#include "tilestatsrecord.h"

namespace {

QString sizeText(const QSize& size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

} // namespace

int runTiles(const LiveOptions& options)
{
    LiveClient client(options.client, options.log, options.stats, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    client.poll();
    const std::size_t from = client.ticks().size();
    const qint64 appliedMs = client.setLayout(options.layout);
    if (appliedMs == 0)
        return 1;

    // Every tile loaded, by the hook's counters: each at least once since the layout came (a wall
    // the machine cannot decode in full reloads some tile at almost any moment).
    TileStatsTick first;
    std::vector<bool> seenLoaded(std::size_t(qMax(0, options.tiles)), false);
    const bool loaded = waitUntil(
        [&] {
            client.poll();
            const std::vector<TileStatsTick>& ticks = client.ticks();
            for (std::size_t i = from; i < ticks.size(); ++i) {
                const TileStatsTick& tick = ticks[i];
                if (tick.ms < appliedMs || tick.tiles != options.tiles)
                    continue;
                for (std::size_t t = 0; t < tick.samples.size() && t < seenLoaded.size(); ++t) {
                    if (tick.samples[t].loaded)
                        seenLoaded[t] = true;
                }
                if (std::all_of(seenLoaded.begin(), seenLoaded.end(), [](bool seen) { return seen; })) {
                    first = tick;
                    return true;
                }
            }
            return !client.running();
        },
        options.loadTimeoutMs, 20);
    if (!loaded || first.tiles != options.tiles) {
        fail(QStringLiteral("not all %1 tiles loaded within %2 ms").arg(options.tiles).arg(options.loadTimeoutMs));
        return 1;
    }

    std::vector<Placement> placements;
    QStringList rects;
    for (const TileSample& sample : first.samples) {
        Placement placement;
        placement.port = QUrl(sample.path).port();
        placement.rect = rectText(sample.rect.translated(first.window.topLeft()));
        rects << placement.rect;
        placements.push_back(placement);
    }
    // Without the screen the counters are still measured.
    ScreenReader reader;
    bool reading = false;
    if (!options.screen.isEmpty()) {
        if (rects.contains(QString()))
            fail(QStringLiteral("the client gave no rectangle for some tiles; the screen is not read"));
        else
            reading = reader.start(options.screen, rects, options.samples, options.rateHz);
    }

    // The window: from the first tick with every tile loaded to the first tick `seconds` later.
    const double cpuStart = processCpuSeconds(client.pid());
    const qint64 wallStart = nowMs();
    const qint64 windowStartNs = monotonicNs();
    sleepWithEvents(options.seconds * 1000);
    const qint64 windowEndNs = monotonicNs();
    const double cpuEnd = processCpuSeconds(client.pid());
    const qint64 wallEnd = nowMs();
    const qint64 hwm = processStatusKb(client.pid(), "VmHWM");
    const qint64 rss = processStatusKb(client.pid(), "VmRSS");
    TileStatsTick last;
    last.tiles = -1;
    waitUntil(
        [&] {
            client.poll();
            const std::vector<TileStatsTick>& ticks = client.ticks();
            for (std::size_t i = from; i < ticks.size(); ++i) {
                if (ticks[i].number > first.number && ticks[i].ms >= first.ms + options.seconds * 1000) {
                    last = ticks[i];
                    return true;
                }
            }
            return !client.running();
        },
        10000, 20);
    if (cpuEnd < 0 || last.tiles != first.tiles) {
        fail(QStringLiteral("the client ended or changed its tiles during the window"));
        return 1;
    }
    const double wallS = (wallEnd - wallStart) / 1000.0;
    emitLine(QStringLiteral("client tiles=%1 load_ms=%2 wall_s=%3 cpu_s=%4 cpu_pct=%5 hwm_kb=%6 rss_kb=%7")
                 .arg(options.tiles)
                 .arg(first.ms - appliedMs)
                 .arg(wallS, 0, 'f', 3)
                 .arg(cpuEnd - cpuStart, 0, 'f', 3)
                 .arg((cpuEnd - cpuStart) / wallS * 100.0, 0, 'f', 2)
                 .arg(hwm)
                 .arg(rss));
    const double spanS = (last.ms - first.ms) / 1000.0;
    for (std::size_t i = 0; i < first.samples.size(); ++i) {
        emitTile(QStringLiteral("client"), static_cast<int>(i), countersOf(first.samples[i]),
                 countersOf(last.samples[i]), spanS, sizeText(first.samples[i].size), placements[i]);
    }
    if (reading) {
        emitLine(QStringLiteral("window who=client start_ns=%1 end_ns=%2").arg(windowStartNs).arg(windowEndNs));
        if (options.stallSeconds > 0 && client.running())
            stallTest(QStringLiteral("client"), {client.pid()}, options.stallSeconds, options.stallObserveSeconds);
        reader.stop();
        emitLine(QStringLiteral("screen who=client samples=%1").arg(options.samples));
    }
    if (options.fullviewRounds > 0)
        return runFullView(client, options, first);
    return 0;
}
