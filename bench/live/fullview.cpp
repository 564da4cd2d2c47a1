// SPDX-License-Identifier: MIT
// The full view, after the tiles' window in the same client: double clicks as an operator gives
// them, through the X server (bench_click), with the full view's picture read off the screen from
// just before each double click. One unmeasured round first (it finds where the full view lies),
// then K rounds on the next tiles, each left again by a double click:
//   fullview round=R tile=I click_ns=T sub_port=P main_port=P samples=FILE request_ms=M loaded_ms=M
// request_ms is when the client asked its player for the main stream ("loadFile:" in its log),
// loaded_ms when its statistics first showed the full view playing it, both from the double click
// (-1: never).
#include <algorithm>
#include <functional>

#include <QProcess>

#include "commands.h"
#include "liveclient.h"
#include "livecommon.h"
#include "screenreader.h"
#include "tilefigures.h"
#include "tilestatsrecord.h"

namespace {

// How long the screen is read after the client says the full view plays its new stream: the
// picture reaches the glass after the player has it.
constexpr int FullViewReadOnMs = 2000;
// Time for the tile to settle on its own stream again before the next round.
constexpr int FullViewSettleMs = 2000;

// The pointer's double click at a point of the screen; returns when its second press went to the
// X server (CLOCK_MONOTONIC, ns), 0 when it could not be given.
qint64 doubleClick(const QString& clicker, const QPoint& at)
{
    QProcess process;
    process.start(clicker, {QString::number(at.x()), QString::number(at.y())});
    const bool ran =
        process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString line = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    const qint64 sent = valueOf(line, QStringLiteral("sent_ns")).toLongLong();
    if (!ran || sent <= 0) {
        fail(QStringLiteral("%1 could not double-click at %2,%3: %4 %5")
                 .arg(clicker)
                 .arg(at.x())
                 .arg(at.y())
                 .arg(process.errorString(), QString::fromLocal8Bit(process.readAllStandardError()).trimmed()));
        return 0;
    }
    return sent;
}

// The tile of a tick drawn largest (the full view, when there is one); -1 for none.
int largestTile(const TileStatsTick& tick)
{
    int largest = -1;
    qint64 area = 0;
    for (std::size_t i = 0; i < tick.samples.size(); ++i) {
        const QRect& rect = tick.samples[i].rect;
        const qint64 tileArea = static_cast<qint64>(rect.width()) * rect.height();
        if (tileArea > area) {
            area = tileArea;
            largest = static_cast<int>(i);
        }
    }
    return largest;
}

// Waits for the first tick from now on that `accept` takes.
bool waitForTick(LiveClient& client, const std::function<bool(const TileStatsTick&)>& accept, int timeoutMs,
                 TileStatsTick* found = nullptr)
{
    client.poll();
    const std::size_t from = client.ticks().size();
    const qint64 sinceMs = nowMs();
    return waitUntil(
               [&] {
                   client.poll();
                   const std::vector<TileStatsTick>& ticks = client.ticks();
                   for (std::size_t i = from; i < ticks.size(); ++i) {
                       if (ticks[i].ms >= sinceMs && accept(ticks[i])) {
                           if (found)
                               *found = ticks[i];
                           return true;
                       }
                   }
                   return !client.running();
               },
               timeoutMs, 20) &&
           client.running();
}

} // namespace

int runFullView(LiveClient& client, const LiveOptions& options, const TileStatsTick& first)
{
    if (options.screen.isEmpty() || options.clicker.isEmpty()) {
        fail(QStringLiteral("--fullview needs --screen to see the main stream's first frame and --click to "
                            "double-click"));
        return 1;
    }
    const int rounds = std::min(options.fullviewRounds, first.tiles - 1);
    const QRect tileRect = first.samples.front().rect;
    QRect fullRect;
    for (int round = 0; round <= rounds; ++round) {
        const TileSample& tile = first.samples[static_cast<std::size_t>(round)];
        const QRect rect = tile.rect.translated(first.window.topLeft());
        const int subPort = QUrl(tile.path).port();
        const bool measured = round > 0;
        ScreenReader reader;
        const QString samples = QStringLiteral("%1.fullview-%2").arg(options.samples).arg(round);
        if (measured) {
            if (!reader.start(options.screen, {rectText(fullRect)}, samples, options.rateHz))
                return 1;
            // A few samples of the tiles before the double click.
            sleepWithEvents(300);
        }
        client.poll();
        const std::size_t clickLine = client.log().lines().size();
        const qint64 clickNs = doubleClick(options.clicker, rect.center());
        if (clickNs == 0)
            return 1;
        const qint64 clickMs = clickNs / 1000000;
        // Full size, on a stream other than the one it had.
        TileStatsTick shown;
        int full = -1;
        const bool switched = waitForTick(
            client,
            [&](const TileStatsTick& tick) {
                full = largestTile(tick);
                if (full < 0)
                    return false;
                const TileSample& sample = tick.samples[static_cast<std::size_t>(full)];
                return sample.rect.width() >= 2 * tileRect.width() && sample.loaded &&
                       QUrl(sample.path).port() != subPort;
            },
            options.loadTimeoutMs, &shown);
        const qint64 loadedMs = switched ? shown.ms - clickMs : -1;
        int mainPort = -1;
        qint64 requestMs = -1;
        if (switched) {
            const TileSample& sample = shown.samples[static_cast<std::size_t>(full)];
            mainPort = QUrl(sample.path).port();
            fullRect = sample.rect.translated(shown.window.topLeft());
            // The client's own line, from its log.
            client.poll();
            const std::vector<LogLine> loads = client.log().matching(QStringLiteral(":%1/").arg(mainPort), clickLine);
            for (const LogLine& line : loads) {
                if (line.text.contains(QLatin1String("loadFile:"))) {
                    requestMs = line.ms - clickMs;
                    break;
                }
            }
        }
        if (measured) {
            sleepWithEvents(FullViewReadOnMs);
            reader.stop();
            emitLine(QStringLiteral("fullview round=%1 tile=%2 click_ns=%3 sub_port=%4 main_port=%5 samples=%6 "
                                    "request_ms=%7 loaded_ms=%8")
                         .arg(round)
                         .arg(round)
                         .arg(clickNs)
                         .arg(subPort)
                         .arg(mainPort)
                         .arg(samples)
                         .arg(requestMs)
                         .arg(loadedMs));
        }
        if (!switched) {
            fail(QStringLiteral("full view of tile %1: no other stream within %2 ms")
                     .arg(round)
                     .arg(options.loadTimeoutMs));
            return 1;
        }
        // Back to the wall: a double click on the full view, then every tile its own size again.
        if (doubleClick(options.clicker, fullRect.center()) == 0)
            return 1;
        const bool back = waitForTick(
            client,
            [&](const TileStatsTick& tick) {
                const int largest = largestTile(tick);
                return largest >= 0 && tick.samples[static_cast<std::size_t>(largest)].rect.width() <= tileRect.width();
            },
            options.loadTimeoutMs);
        if (!back) {
            fail(QStringLiteral("full view of tile %1 was not left").arg(round));
            return 1;
        }
        sleepWithEvents(FullViewSettleMs);
    }
    return 0;
}
