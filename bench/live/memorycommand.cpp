// SPDX-License-Identifier: MIT
// bench_live memory: what the client keeps after a large layout. A fresh client shows the small
// layout (--layout, --tiles video tiles) and holds it for --seconds: its resident size then is the
// baseline of a station that only ever showed it. A second fresh client makes --switches round
// trips to the large layout (--other, of which --other-tiles tiles play) and back, each held as
// long; its resident size after each return is read the same way, from /proc (outside the client):
//   memory who=baseline rss_kib=R hwm_kib=H threads=T
//   memory who=roundtrip round=N large_rss_kib=P rss_kib=R hwm_kib=H threads=T
// The resident size of a hold is the median of samples taken over its second half. With
// BENCH_MEMORY_SMAPS_DIR set, the client's /proc/PID/smaps at the end of each hold is copied there
// (baseline.smaps, large-N.smaps, small-N.smaps), to see which mappings hold the difference.
#include <algorithm>

#include <QFile>

#include "commands.h"
#include "liveclient.h"
#include "livecommon.h"

namespace {

// Until a tick after `sinceMs` shows the layout: `tiles` video items loaded, and (with `exactly`) no
// other video item, so that a tick still showing the layout before does not count.
bool waitForLoaded(LiveClient& client, int tiles, bool exactly, qint64 sinceMs, int timeoutMs)
{
    return waitUntil(
               [&] {
                   client.poll();
                   const std::vector<TileStatsTick>& ticks = client.ticks();
                   for (auto tick = ticks.rbegin(); tick != ticks.rend() && tick->ms >= sinceMs; ++tick) {
                       const auto loaded = std::count_if(tick->samples.begin(), tick->samples.end(),
                                                         [](const TileSample& sample) { return sample.loaded; });
                       if (loaded >= tiles && (!exactly || tick->tiles == tiles))
                           return true;
                   }
                   return !client.running();
               },
               timeoutMs, 50) &&
           client.running();
}

// Shows a layout, waits for its tiles, holds it, and returns the median resident size (KiB) of
// the hold's second half; -1 when the layout did not load.
void keepMappings(qint64 pid, const QString& name)
{
    const QString dir = qEnvironmentVariable("BENCH_MEMORY_SMAPS_DIR");
    if (dir.isEmpty())
        return;
    // /proc files have no size, so QFile::copy would copy nothing: read until the end instead.
    QFile source(QStringLiteral("/proc/%1/smaps").arg(pid));
    QFile target(dir + QLatin1Char('/') + name + QStringLiteral(".smaps"));
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        target.write(source.readAll()) < 0)
        fail(QStringLiteral("could not copy the mappings of %1 into %2").arg(pid).arg(dir));
}

qint64 showAndHold(LiveClient& client, const QString& layout, int tiles, bool exactly, const LiveOptions& options,
                   const QString& name)
{
    const qint64 sentMs = client.setLayout(layout);
    if (sentMs == 0)
        return -1;
    if (!waitForLoaded(client, tiles, exactly, sentMs, options.loadTimeoutMs)) {
        fail(QStringLiteral("%1: fewer than %2 tiles loaded within %3 ms")
                 .arg(layout)
                 .arg(tiles)
                 .arg(options.loadTimeoutMs));
        return -1;
    }
    const int holdMs = options.seconds * 1000;
    sleepWithEvents(holdMs / 2);
    std::vector<qint64> samples;
    const int sampleMs = 500;
    for (int waited = 0; waited < holdMs / 2 && client.running(); waited += sampleMs) {
        samples.push_back(processStatusKb(client.pid(), "VmRSS"));
        sleepWithEvents(sampleMs);
    }
    if (samples.empty() || !client.running())
        return -1;
    keepMappings(client.pid(), name);
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

bool startClient(LiveClient& client, const LiveOptions& options)
{
    if (client.start() && client.waitForLayouts(options.loadTimeoutMs))
        return true;
    fail(QStringLiteral("the client did not sign in and publish its layouts"));
    return false;
}

} // namespace

int runMemory(const LiveOptions& options)
{
    {
        LiveClient baseline(options.client, options.log, options.stats, options.ipc);
        if (!startClient(baseline, options))
            return 1;
        const qint64 rss =
            showAndHold(baseline, options.layout, options.tiles, true, options, QStringLiteral("baseline"));
        if (rss < 0)
            return 1;
        emitLine(QStringLiteral("memory who=baseline rss_kib=%1 hwm_kib=%2 threads=%3")
                     .arg(rss)
                     .arg(processStatusKb(baseline.pid(), "VmHWM"))
                     .arg(processStatusKb(baseline.pid(), "Threads")));
    }
    LiveClient client(options.client, options.log, options.stats, options.ipc);
    if (!startClient(client, options))
        return 1;
    for (int round = 1; round <= options.switches; ++round) {
        const qint64 large = showAndHold(client, options.other, options.otherTiles, false, options,
                                         QStringLiteral("large-%1").arg(round));
        const qint64 small = large < 0 ? -1
                                       : showAndHold(client, options.layout, options.tiles, true, options,
                                                     QStringLiteral("small-%1").arg(round));
        if (small < 0)
            return 1;
        emitLine(QStringLiteral("memory who=roundtrip round=%1 large_rss_kib=%2 rss_kib=%3 hwm_kib=%4 threads=%5")
                     .arg(round)
                     .arg(large)
                     .arg(small)
                     .arg(processStatusKb(client.pid(), "VmHWM"))
                     .arg(processStatusKb(client.pid(), "Threads")));
    }
    return 0;
}
