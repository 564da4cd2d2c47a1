// SPDX-License-Identifier: MIT
// Drives the real client, and standalone mpv players as its baseline, for the live-view benchmarks
// of scripts/bench.sh. Every figure goes to standard output as one line of key=value pairs.
//
//   bench_live tiles      --client PATH --log FILE [--stats FILE] --ipc URL --layout NAME --tiles N
//                         --seconds S [--screen PATH --samples FILE [--rate HZ] [--stall S --stall-observe S]]
//                         [--fullview K --click PATH]
//   bench_live mpv-tiles  --url URL,... --geometry WxH+X+Y,... --seconds S [--mpv PATH] [--screen ...]
//   bench_live switch     --client PATH --log FILE --ipc URL --layout A --other B --tiles N --switches K
//   bench_live firstframe --url URL [--mpv PATH]
//   bench_live signin     --client PATH --log FILE [--stats FILE] --ipc URL
//   bench_live events     --client PATH --log FILE --ipc URL --layout NAME --tiles N --control HOST:PORT
//                         --event-stats FILE [--event-rates 1,100,1000] [--seconds S] [--priority P]
//   bench_live memory     --client PATH --log FILE --ipc URL --layout SMALL --tiles N --other LARGE
//                         --other-tiles M --switches K --seconds S
//   bench_live sync       --client PATH --log FILE --ipc URL --layout NAME --tiles N --seconds S
//                         --screen PATH --samples FILE [--rate HZ] --click PATH --anchors FILE
//                         [--seeks K] [--area MS] [--chunk-ms C] [--chunk-offsets O,...]
//
// One source file per command (commands.h). The client's figures come from its statistics file
// (--stats, by default tileStats.txt beside the log), which the client is told in
// STATION_TILE_STATS_FILE; its samples need STATION_TILE_STATS_MS in the environment. Its own log
// lines ("Logged in, id:", "loadFile:", ...) are read from its log, which must be written with a
// message pattern that begins with "%{time boot}" (the monotonic clock). scripts/bench.sh sets both.
//
// With --screen (the bench_screen program) the tile commands also read the screen for the whole
// measuring window: bench_screen writes its samples to --samples, and the command writes
//   window who=W start_ns=T end_ns=T         the measuring window, CLOCK_MONOTONIC
//   screen who=W samples=FILE                where the samples are
// With --stall S, after the window the client (or every player) is stopped with SIGSTOP for S
// seconds and continued, and the screen is read for --stall-observe seconds more:
//   stall who=W stop_ns=T cont_ns=T end_ns=T
// bench/lag.py turns these, with the stream server's log, into lag and frames shown. --fullview:
// see fullview.cpp. The recorded page's cameras in step: see synccommand.cpp.
#include <algorithm>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "commands.h"
#include "livecommon.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Live-view benchmarks of the client against standalone mpv"));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("tiles, mpv-tiles, switch, firstframe, signin, events, memory or sync"));
    const QList<QCommandLineOption> list{
        {QStringLiteral("client"), QStringLiteral("client executable"), QStringLiteral("path")},
        {QStringLiteral("log"), QStringLiteral("the client's log file"), QStringLiteral("path")},
        {QStringLiteral("stats"),
         QStringLiteral("the client's statistics file (default: tileStats.txt beside the log)"),
         QStringLiteral("path")},
        {QStringLiteral("ipc"), QStringLiteral("the client's remote interface"), QStringLiteral("url"),
         QStringLiteral("tcp://127.0.0.1:12230")},
        {QStringLiteral("layout"), QStringLiteral("layout to show"), QStringLiteral("name")},
        {QStringLiteral("other"), QStringLiteral("second layout of the switches"), QStringLiteral("name")},
        {QStringLiteral("tiles"), QStringLiteral("video tiles of the layout"), QStringLiteral("n")},
        {QStringLiteral("other-tiles"), QStringLiteral("tiles of the second layout that play"), QStringLiteral("n")},
        {QStringLiteral("seconds"), QStringLiteral("measuring window"), QStringLiteral("s"), QStringLiteral("30")},
        {QStringLiteral("switches"), QStringLiteral("measured layout switches"), QStringLiteral("n"),
         QStringLiteral("10")},
        {QStringLiteral("url"), QStringLiteral("stream URLs, comma-separated"), QStringLiteral("urls")},
        {QStringLiteral("geometry"), QStringLiteral("mpv window geometries, comma-separated"), QStringLiteral("list")},
        {QStringLiteral("mpv"), QStringLiteral("mpv executable"), QStringLiteral("path"), QStringLiteral("mpv")},
        {QStringLiteral("timeout"), QStringLiteral("load time-out"), QStringLiteral("ms"), QStringLiteral("30000")},
        {QStringLiteral("screen"), QStringLiteral("bench_screen executable: read the tiles off the screen"),
         QStringLiteral("path")},
        {QStringLiteral("samples"), QStringLiteral("file for bench_screen's samples"), QStringLiteral("path")},
        {QStringLiteral("rate"), QStringLiteral("screen samples a second"), QStringLiteral("hz"),
         QStringLiteral("100")},
        {QStringLiteral("stall"), QStringLiteral("after the window, stop the players for this long (0: no)"),
         QStringLiteral("s"), QStringLiteral("0")},
        {QStringLiteral("stall-observe"), QStringLiteral("read the screen this long after the stall"),
         QStringLiteral("s"), QStringLiteral("15")},
        {QStringLiteral("fullview"), QStringLiteral("after the window, measured full views by double click"),
         QStringLiteral("k"), QStringLiteral("0")},
        {QStringLiteral("click"), QStringLiteral("bench_click executable (double clicks)"), QStringLiteral("path")},
        {QStringLiteral("control"), QStringLiteral("the simulator's control channel"), QStringLiteral("host:port")},
        {QStringLiteral("event-stats"), QStringLiteral("the client's event statistics file (STATION_EVENT_STATS_FILE)"),
         QStringLiteral("path")},
        {QStringLiteral("event-rates"), QStringLiteral("events a second, comma-separated"), QStringLiteral("list"),
         QStringLiteral("1,100,1000")},
        {QStringLiteral("priority"), QStringLiteral("the events' priority"), QStringLiteral("p"), QStringLiteral("60")},
        {QStringLiteral("seeks"), QStringLiteral("sync: clicks on the time bar"), QStringLiteral("k"),
         QStringLiteral("20")},
        {QStringLiteral("area"), QStringLiteral("sync: where the seeks happen, ms after the day's start"),
         QStringLiteral("ms"), QStringLiteral("36000000")},
        {QStringLiteral("chunk-ms"), QStringLiteral("sync: the recorded chunks' length"), QStringLiteral("ms"),
         QStringLiteral("10000")},
        {QStringLiteral("chunk-offsets"),
         QStringLiteral("sync: the cameras' chunk boundaries after the day's start, camera i the i-th modulo their "
                        "number"),
         QStringLiteral("list"), QStringLiteral("0")},
        {QStringLiteral("anchors"), QStringLiteral("sync: file for the shared clock's anchor lines"),
         QStringLiteral("path")},
    };
    parser.addOptions(list);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);

    // A client or player left behind would spoil the next run: on these signals the waits end
    // and the command stops what it started.
    installStopHandlers();

    LiveOptions options;
    options.client = QFileInfo(parser.value(QStringLiteral("client"))).absoluteFilePath();
    options.log = parser.value(QStringLiteral("log"));
    options.stats = parser.value(QStringLiteral("stats"));
    if (options.stats.isEmpty() && !options.log.isEmpty())
        options.stats = QFileInfo(options.log).absoluteDir().filePath(QStringLiteral("tileStats.txt"));
    options.ipc = QUrl(parser.value(QStringLiteral("ipc")));
    options.layout = parser.value(QStringLiteral("layout"));
    options.other = parser.value(QStringLiteral("other"));
    options.tiles = parser.value(QStringLiteral("tiles")).toInt();
    options.otherTiles = parser.value(QStringLiteral("other-tiles")).toInt();
    options.seconds = parser.value(QStringLiteral("seconds")).toInt();
    options.switches = parser.value(QStringLiteral("switches")).toInt();
    options.urls = parser.value(QStringLiteral("url")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    options.geometries = parser.value(QStringLiteral("geometry")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    options.mpv = parser.value(QStringLiteral("mpv"));
    options.loadTimeoutMs = parser.value(QStringLiteral("timeout")).toInt();
    options.screen = parser.value(QStringLiteral("screen"));
    options.samples = parser.value(QStringLiteral("samples"));
    options.rateHz = parser.value(QStringLiteral("rate")).toInt();
    options.stallSeconds = parser.value(QStringLiteral("stall")).toInt();
    options.stallObserveSeconds = parser.value(QStringLiteral("stall-observe")).toInt();
    options.fullviewRounds = parser.value(QStringLiteral("fullview")).toInt();
    options.clicker = parser.value(QStringLiteral("click"));
    options.control = parser.value(QStringLiteral("control"));
    options.eventStats = parser.value(QStringLiteral("event-stats"));
    options.priority = parser.value(QStringLiteral("priority")).toInt();
    for (const QString& rate : parser.value(QStringLiteral("event-rates")).split(QLatin1Char(','), Qt::SkipEmptyParts))
        options.rates.push_back(rate.toInt());
    options.seeks = parser.value(QStringLiteral("seeks")).toInt();
    options.areaMs = parser.value(QStringLiteral("area")).toLongLong();
    options.chunkMs = parser.value(QStringLiteral("chunk-ms")).toInt();
    bool offsetsOk = true;
    for (const QString& offset :
         parser.value(QStringLiteral("chunk-offsets")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        options.chunkOffsets.push_back(offset.toInt(&ok));
        offsetsOk = offsetsOk && ok;
    }
    options.anchors = parser.value(QStringLiteral("anchors"));
    if (!options.screen.isEmpty() && (options.samples.isEmpty() || options.rateHz <= 0)) {
        fail(QStringLiteral("--screen needs --samples FILE and a positive --rate"));
        return 2;
    }

    const QString command = parser.positionalArguments().first();
    if (command == QLatin1String("tiles"))
        return runTiles(options);
    if (command == QLatin1String("mpv-tiles"))
        return runMpvTiles(options);
    if (command == QLatin1String("switch"))
        return runSwitch(options);
    if (command == QLatin1String("firstframe"))
        return runFirstFrame(options);
    if (command == QLatin1String("signin"))
        return runSignIn(options);
    if (command == QLatin1String("memory")) {
        if (options.layout.isEmpty() || options.other.isEmpty() || options.tiles <= 0 || options.otherTiles <= 0 ||
            options.switches <= 0 || options.seconds <= 0) {
            fail(QStringLiteral("memory needs --layout, --tiles, --other, --other-tiles, --switches and --seconds"));
            return 2;
        }
        return runMemory(options);
    }
    if (command == QLatin1String("events")) {
        if (options.control.isEmpty() || options.eventStats.isEmpty() || options.rates.empty() ||
            std::any_of(options.rates.begin(), options.rates.end(), [](int rate) { return rate <= 0; })) {
            fail(QStringLiteral("events needs --control HOST:PORT, --event-stats FILE and positive --event-rates"));
            return 2;
        }
        return runEvents(options);
    }
    if (command == QLatin1String("sync")) {
        if (options.layout.isEmpty() || options.tiles < 2 || options.seconds <= 0 || options.screen.isEmpty() ||
            options.clicker.isEmpty() || options.anchors.isEmpty() || options.seeks < 0 || options.chunkMs <= 0 ||
            options.areaMs < 0 || options.chunkOffsets.empty() || !offsetsOk) {
            fail(QStringLiteral("sync needs --layout, --tiles (2 or more), --seconds, --screen, --samples, --click, "
                                "--anchors, and numbers for --seeks, --area, --chunk-ms and --chunk-offsets"));
            return 2;
        }
        return runSync(options);
    }
    fail(QStringLiteral("unknown command %1").arg(command));
    return 2;
}
