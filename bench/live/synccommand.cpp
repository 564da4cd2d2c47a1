// SPDX-License-Identifier: MIT
// bench_live sync: the recorded page's cameras in step, driven as an operator drives them, with
// every tile read off the screen from the first seek on (once the tiles keep their places). The client shows the
// recorded page and the layout (over its remote interface); L plays the layout's cameras in step; a click on the time
// bar takes the clock near the seeking area (--area, ms after the day's start), the wheel zooms the bar to its
// narrowest (two minutes), and K clicks seek: the even ones 3 to 9 s ahead, within the chunks every camera has fetched
// (the one it plays and the next), the odd ones 15 to 35 s away, outside them. Then the clock plays S seconds at 1x
// and, after two presses of '=' (the speed up), S seconds at 4x. What it writes:
//   sync tiles=N day_start_ms=D chunk_ms=C offsets=O,... samples=FILE anchors=FILE
//   tile index=I rect=X,Y,W,H chosen=0|1                 a tile in step, where it is on the screen, and
//                                                        whether it is the grid's chosen one
//   seek index=K aim=inside|outside before_ms=P press_ns=T release_ns=T x=X held_ms=H released_ms=R
//        target_ms=M                                     P: the clock's moment as the click was
//                                                        aimed; H and R: the monotonic ms of the
//                                                        hold's and the release's anchors (-1: none)
//   phase name=seeks|1x|4x start_ns=T end_ns=T cpu_s= cpu_pct= answer_max_ms= answer_p99_ms= unanswered=
//                                                        the client's CPU, and its GUI thread's answers
//                                                        to a probe every 50 ms (its stalls)
//   screen samples=FILE
// The clock's anchor lines go to --anchors as the log has them; bench/instep.py makes the figures.
#include <algorithm>
#include <cmath>

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include "clockanchors.h"
#include "commands.h"
#include "liveclient.h"
#include "livecommon.h"
#include "screenreader.h"
#include "tilefigures.h"
#include "tilestatsrecord.h"

namespace {

// 1.25 a notch: 30 notches take a day down to the narrowest view.
constexpr int ZoomNotches = 30;
constexpr qint64 NarrowestViewMs = 2 * 60 * 1000;
// After the clock goes on from a seek: its first steps, read off the screen.
constexpr int ObserveAfterReleaseMs = 1500;
// A seek whose hold has not ended by then is given up (the clock's own time-out is 3 s).
constexpr int ReleaseTimeoutMs = 10000;
// Seeks land this far inside the bar's view (which follows the clock): no click near its edges.
constexpr qint64 ViewMarginMs = 5000;
constexpr qint64 InsideAheadMs[] = {3000, 4500, 6000, 7500, 9000};
constexpr qint64 OutsideAheadMs[] = {22000, 26000, 30000};
constexpr qint64 OutsideBehindMs[] = {15000, 25000, 35000};

class SyncDriver
{
public:
    SyncDriver(LiveClient& client, const LiveOptions& options) : m_client(client), m_options(options)
    {
        m_probe.setInterval(50);
        QObject::connect(&m_probe, &QTimer::timeout, [this] { m_client.probeResponse(); });
    }

    int run();

private:
    void poll();
    bool running() const { return m_client.running(); }
    // The latest tick with at least `n` + 1 video items (the tiles and the page's own player).
    bool tilesOf(const TileStatsTick& tick, std::vector<TileSample>& tiles) const;
    bool findTiles(std::vector<TileSample>& tiles, QPoint& windowOrigin);
    // The tiles where the last two ticks agree they are (into m_tiles).
    bool stableTiles();
    bool waitForTiles(int timeoutMs);
    bool allLoaded();
    std::optional<TimelineSample> latestTimeline(qint64 sinceMs = 0) const;
    double xOf(const TimelineSample& bar, double ms) const;
    int yOf(const TimelineSample& bar) const;
    std::optional<double> clockNow() const { return m_anchors.momentAt(nowMs()); }
    // A click on the time bar at x, with its hold and release read from the anchors.
    struct Click
    {
        qint64 pressNs = 0;
        qint64 releaseNs = 0;
        qint64 heldMs = -1;
        qint64 releasedMs = -1;
        double targetMs = -1;
    };
    bool clickBar(int x, int y, Click& click);
    bool pressKey(const QString& name);
    void emitPhase(const QString& name, qint64 startNs, double cpuStart);
    bool writeAnchors() const;
    // From the cameras' start to the end of the 4x span; 0 when all went as planned.
    int measure();

    LiveClient& m_client;
    const LiveOptions& m_options;
    ClockAnchors m_anchors;
    std::size_t m_linesSeen = 0;
    std::vector<TileSample> m_tiles;
    QPoint m_windowOrigin;
    ScreenReader m_reader;
    // Every 50 ms the client's remote interface is asked for its sign-in state: the answer comes
    // from its GUI thread, so the longest wait is that thread's longest stall.
    QTimer m_probe;
    std::size_t m_probesBefore = 0;
    qint64 m_dayStart = 0;
};

void SyncDriver::poll()
{
    m_client.poll();
    const std::vector<LogLine>& lines = m_client.log().lines();
    for (; m_linesSeen < lines.size(); ++m_linesSeen) {
        if (const std::optional<ClockAnchor> anchor = clockAnchorOf(lines[m_linesSeen].text))
            m_anchors.add(*anchor);
    }
}

bool SyncDriver::tilesOf(const TileStatsTick& tick, std::vector<TileSample>& tiles) const
{
    const std::size_t n = static_cast<std::size_t>(m_options.tiles);
    if (tick.samples.size() < n + 1)
        return false;
    // The tiles are the smallest video items; the page's own player, resting, spans them all.
    std::vector<TileSample> sorted = tick.samples;
    std::stable_sort(sorted.begin(), sorted.end(), [](const TileSample& a, const TileSample& b) {
        return qint64(a.rect.width()) * a.rect.height() < qint64(b.rect.width()) * b.rect.height();
    });
    sorted.resize(n);
    std::sort(sorted.begin(), sorted.end(), [](const TileSample& a, const TileSample& b) { return a.index < b.index; });
    tiles = sorted;
    return true;
}

bool SyncDriver::findTiles(std::vector<TileSample>& tiles, QPoint& windowOrigin)
{
    const std::vector<TileStatsTick>& ticks = m_client.ticks();
    if (ticks.empty() || !tilesOf(ticks.back(), tiles))
        return false;
    windowOrigin = ticks.back().window.topLeft();
    return true;
}

bool SyncDriver::stableTiles()
{
    // The grid lays its tiles out again as the page settles: two ticks in a row must agree.
    const std::vector<TileStatsTick>& ticks = m_client.ticks();
    std::vector<TileSample> last;
    std::vector<TileSample> before;
    if (ticks.size() < 2 || !tilesOf(ticks[ticks.size() - 1], last) || !tilesOf(ticks[ticks.size() - 2], before) ||
        ticks[ticks.size() - 1].window != ticks[ticks.size() - 2].window)
        return false;
    for (std::size_t i = 0; i < last.size(); ++i)
        if (last[i].rect != before[i].rect)
            return false;
    m_tiles = last;
    m_windowOrigin = ticks.back().window.topLeft();
    return true;
}

bool SyncDriver::waitForTiles(int timeoutMs)
{
    return waitUntil(
               [&] {
                   poll();
                   return findTiles(m_tiles, m_windowOrigin) || !running();
               },
               timeoutMs, 20) &&
           running();
}

bool SyncDriver::allLoaded()
{
    std::vector<TileSample> tiles;
    QPoint origin;
    return findTiles(tiles, origin) &&
           std::all_of(tiles.begin(), tiles.end(), [](const TileSample& tile) { return tile.loaded; });
}

std::optional<TimelineSample> SyncDriver::latestTimeline(qint64 sinceMs) const
{
    const std::vector<TimelineSample>& timelines = m_client.timelines();
    if (timelines.empty() || timelines.back().ms < sinceMs)
        return std::nullopt;
    return timelines.back();
}

double SyncDriver::xOf(const TimelineSample& bar, double ms) const
{
    const double fraction = (ms - double(bar.viewStart)) / double(bar.viewEnd - bar.viewStart);
    const double x = m_windowOrigin.x() + bar.rect.x() + fraction * bar.rect.width();
    return std::clamp(x, double(m_windowOrigin.x() + bar.rect.x() + 1),
                      double(m_windowOrigin.x() + bar.rect.right() - 1));
}

int SyncDriver::yOf(const TimelineSample& bar) const
{
    return m_windowOrigin.y() + bar.rect.y() + bar.rect.height() / 2;
}

bool SyncDriver::clickBar(int x, int y, Click& click)
{
    poll();
    const std::size_t from = m_anchors.all().size();
    const QString line =
        runClicker(m_options.clicker, {QStringLiteral("--click"), QString::number(x), QString::number(y)});
    if (line.isEmpty())
        return false;
    click.pressNs = valueOf(line, QStringLiteral("press_ns")).toLongLong();
    click.releaseNs = valueOf(line, QStringLiteral("release_ns")).toLongLong();
    // The seek holds the clock (running=0 at the new moment), which goes on once every camera shows it.
    std::optional<ClockAnchor> held;
    std::optional<ClockAnchor> released;
    waitUntil(
        [&] {
            poll();
            held = m_anchors.firstFrom(from, [](const ClockAnchor& anchor) { return !anchor.running; });
            if (held) {
                const qint64 heldAt = held->monotonicMs;
                released = m_anchors.firstFrom(from, [heldAt](const ClockAnchor& anchor) {
                    return anchor.running && anchor.monotonicMs >= heldAt;
                });
            }
            return released.has_value() || !running();
        },
        ReleaseTimeoutMs, 5);
    if (held) {
        click.heldMs = held->monotonicMs;
        click.targetMs = held->positionMs;
    }
    if (released)
        click.releasedMs = released->monotonicMs;
    return held.has_value();
}

bool SyncDriver::pressKey(const QString& name)
{
    return !runClicker(m_options.clicker, {QStringLiteral("--key"), name}).isEmpty();
}

void SyncDriver::emitPhase(const QString& name, qint64 startNs, double cpuStart)
{
    const qint64 endNs = monotonicNs();
    const double cpu = processCpuSeconds(m_client.pid()) - cpuStart;
    const double wall = double(endNs - startNs) / 1e9;
    // The GUI thread's answers to the probes of this phase.
    const std::vector<qint64>& all = m_client.responseTimes();
    std::vector<qint64> answers(all.begin() + static_cast<std::ptrdiff_t>(std::min(m_probesBefore, all.size())),
                                all.end());
    m_probesBefore = all.size();
    std::sort(answers.begin(), answers.end());
    const qint64 longest = answers.empty() ? -1 : answers.back();
    const qint64 p99 = answers.empty() ? -1 : answers[std::min(answers.size() - 1, answers.size() * 99 / 100)];
    emitLine(QStringLiteral("phase name=%1 start_ns=%2 end_ns=%3 cpu_s=%4 cpu_pct=%5 answer_max_ms=%6 answer_p99_ms=%7 "
                            "unanswered=%8")
                 .arg(name)
                 .arg(startNs)
                 .arg(endNs)
                 .arg(cpu, 0, 'f', 3)
                 .arg(wall > 0 ? cpu / wall * 100.0 : 0, 0, 'f', 1)
                 .arg(longest)
                 .arg(p99)
                 .arg(m_client.probesUnanswered()));
}

bool SyncDriver::writeAnchors() const
{
    QFile file(m_options.anchors);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        fail(QStringLiteral("cannot write %1: %2").arg(m_options.anchors, file.errorString()));
        return false;
    }
    QTextStream out(&file);
    for (const LogLine& line : m_client.log().lines()) {
        if (line.text.contains(QLatin1String("clock anchor:")))
            out << QString::number(double(line.ms) / 1000.0, 'f', 3) << ' ' << line.text << '\n';
    }
    return true;
}

int SyncDriver::run()
{
    const int n = m_options.tiles;
    if (!m_client.showRecordedPage(true))
        return 1;
    if (!waitUntil(
            [&] {
                poll();
                return latestTimeline().has_value() || !running();
            },
            m_options.loadTimeoutMs, 20) ||
        !running()) {
        fail(QStringLiteral("the recorded page's time bar did not show"));
        return 1;
    }
    if (m_client.setLayout(m_options.layout) == 0)
        return 1;
    // The page reads the layout's cells from the layout model.
    sleepWithEvents(1000);
    if (!pressKey(QStringLiteral("l")))
        return 1;
    if (!waitForTiles(8000)) {
        // The page lost the keyboard: a click on the time bar gives it back (and seeks nothing,
        // no stream being chosen yet).
        poll();
        const std::optional<TimelineSample> bar = latestTimeline();
        if (!bar ||
            runClicker(m_options.clicker,
                       {QStringLiteral("--click"), QString::number(qRound(xOf(*bar, double(bar->viewStart)))),
                        QString::number(yOf(*bar))})
                .isEmpty() ||
            !pressKey(QStringLiteral("l")) || !waitForTiles(m_options.loadTimeoutMs)) {
            fail(QStringLiteral("L did not play the layout's %1 cameras in step").arg(n));
            return 1;
        }
    }
    m_dayStart = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    QStringList offsets;
    for (int offset : m_options.chunkOffsets)
        offsets << QString::number(offset);
    emitLine(QStringLiteral("sync tiles=%1 day_start_ms=%2 chunk_ms=%3 offsets=%4 samples=%5 anchors=%6")
                 .arg(n)
                 .arg(m_dayStart)
                 .arg(m_options.chunkMs)
                 .arg(offsets.join(QLatin1Char(',')), m_options.samples, m_options.anchors));
    const int measured = measure();
    // Whatever came of it, the samples and the anchors so far are kept for the figures.
    m_reader.stop();
    poll();
    emitLine(QStringLiteral("screen samples=%1").arg(m_options.samples));
    const bool written = writeAnchors();
    return measured == 0 && written && running() ? 0 : 1;
}

int SyncDriver::measure()
{
    // The cameras start from the day's start; then the clock goes near the area, on the whole day.
    if (!waitUntil(
            [&] {
                poll();
                return m_anchors.firstFrom(0, [](const ClockAnchor& anchor) { return anchor.running; }).has_value() ||
                       !running();
            },
            m_options.loadTimeoutMs, 20) ||
        !running()) {
        fail(QStringLiteral("the shared clock never ran"));
        return 1;
    }
    std::optional<TimelineSample> bar = latestTimeline();
    Click click;
    if (!bar || !clickBar(qRound(xOf(*bar, double(m_dayStart + m_options.areaMs))), yOf(*bar), click)) {
        fail(QStringLiteral("the click on the whole day's time bar did not seek"));
        return 1;
    }
    if (!waitUntil(
            [&] {
                poll();
                return allLoaded() || !running();
            },
            m_options.loadTimeoutMs, 20) &&
        running()) {
        // What the tiles show is measured all the same: a tile that never shows the moment is a figure.
        fail(QStringLiteral("not every tile loaded within %1 ms; measuring anyway").arg(m_options.loadTimeoutMs));
    }
    // Zoomed around the playing moment, which the wheel keeps under the pointer.
    poll();
    bar = latestTimeline();
    const std::optional<double> now = clockNow();
    if (!bar || !now ||
        runClicker(m_options.clicker, {QStringLiteral("--wheel"), QString::number(ZoomNotches),
                                       QString::number(qRound(xOf(*bar, *now))), QString::number(yOf(*bar))})
            .isEmpty()) {
        fail(QStringLiteral("could not zoom the time bar"));
        return 1;
    }
    const qint64 zoomedAt = nowMs();
    if (!waitUntil(
            [&] {
                poll();
                const std::optional<TimelineSample> latest = latestTimeline(zoomedAt);
                return (latest && latest->viewEnd - latest->viewStart <= NarrowestViewMs) || !running();
            },
            5000, 20) ||
        !running()) {
        fail(QStringLiteral("the time bar did not zoom to two minutes"));
        return 1;
    }
    // The screen is read from here on, where the tiles have settled.
    if (!waitUntil(
            [&] {
                poll();
                return stableTiles() || !running();
            },
            5000, 20) ||
        !running()) {
        fail(QStringLiteral("the tiles did not keep their places"));
        return 1;
    }
    QStringList rects;
    for (std::size_t i = 0; i < m_tiles.size(); ++i) {
        const QString rect = rectText(m_tiles[i].rect.translated(m_windowOrigin));
        rects << rect;
        // The grid chooses its first tile, whose "Out of step" button then covers the right end of
        // the strip at full opacity: the screen cannot read it.
        emitLine(QStringLiteral("tile index=%1 rect=%2 chosen=%3").arg(i).arg(rect).arg(i == 0 ? 1 : 0));
    }
    if (!m_reader.start(m_options.screen, rects, m_options.samples, m_options.rateHz))
        return 1;
    sleepWithEvents(1000);

    m_probesBefore = m_client.responseTimes().size();
    m_probe.start();
    double cpuStart = processCpuSeconds(m_client.pid());
    qint64 phaseStart = monotonicNs();
    for (int k = 0; k < m_options.seeks && running(); ++k) {
        poll();
        bar = latestTimeline();
        const std::optional<double> before = clockNow();
        if (!bar || !before) {
            fail(QStringLiteral("no time bar or no clock before seek %1").arg(k));
            return 1;
        }
        const bool inside = k % 2 == 0;
        const double centre = (double(bar->viewStart) + double(bar->viewEnd)) / 2;
        const int turn = k / 2;
        double target = 0;
        if (inside)
            target = *before + double(InsideAheadMs[turn % std::size(InsideAheadMs)]);
        else if (*before > centre)
            target = *before - double(OutsideBehindMs[turn % std::size(OutsideBehindMs)]);
        else
            target = *before + double(OutsideAheadMs[turn % std::size(OutsideAheadMs)]);
        target = std::clamp(target, double(bar->viewStart + ViewMarginMs), double(bar->viewEnd - ViewMarginMs));
        const int x = qRound(xOf(*bar, target));
        Click seek;
        const bool held = clickBar(x, yOf(*bar), seek);
        emitLine(QStringLiteral("seek index=%1 aim=%2 before_ms=%3 press_ns=%4 release_ns=%5 x=%6 held_ms=%7 "
                                "released_ms=%8 target_ms=%9")
                     .arg(k)
                     .arg(inside ? QStringLiteral("inside") : QStringLiteral("outside"))
                     .arg(*before, 0, 'f', 1)
                     .arg(seek.pressNs)
                     .arg(seek.releaseNs)
                     .arg(x)
                     .arg(seek.heldMs)
                     .arg(seek.releasedMs)
                     .arg(seek.targetMs, 0, 'f', 1));
        if (!held)
            fail(QStringLiteral("seek %1: the clock did not hold at a new moment").arg(k));
        sleepWithEvents(ObserveAfterReleaseMs);
    }
    emitPhase(QStringLiteral("seeks"), phaseStart, cpuStart);

    // At 1x: the clock plays on from the last seek.
    cpuStart = processCpuSeconds(m_client.pid());
    phaseStart = monotonicNs();
    sleepWithEvents(m_options.seconds * 1000);
    emitPhase(QStringLiteral("1x"), phaseStart, cpuStart);

    // Two steps up the speeds (1, 2, 4).
    poll();
    const std::size_t from = m_anchors.all().size();
    bool faster = pressKey(QStringLiteral("equal"));
    sleepWithEvents(300);
    faster = faster && pressKey(QStringLiteral("equal")) &&
             waitUntil(
                 [&] {
                     poll();
                     return m_anchors.firstFrom(from, [](const ClockAnchor& anchor) { return anchor.rate >= 4; })
                                .has_value() ||
                            !running();
                 },
                 3000, 20) &&
             running();
    if (!faster) {
        fail(QStringLiteral("the speed did not go up to 4x"));
        return 1;
    }
    sleepWithEvents(1000);
    cpuStart = processCpuSeconds(m_client.pid());
    phaseStart = monotonicNs();
    sleepWithEvents(m_options.seconds * 1000);
    emitPhase(QStringLiteral("4x"), phaseStart, cpuStart);

    return 0;
}

} // namespace

int runSync(const LiveOptions& options)
{
    LiveClient client(options.client, options.log, options.stats, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    SyncDriver driver(client, options);
    return driver.run();
}
