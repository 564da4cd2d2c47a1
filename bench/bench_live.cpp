// SPDX-License-Identifier: MIT
// Drives the real client, and standalone mpv players as its baseline, for the live-view benchmarks
// of scripts/bench.sh. Every figure goes to standard output as one line of key=value pairs.
//
//   bench_live tiles      --client PATH --log FILE --ipc URL --layout NAME --tiles N --seconds S
//                         [--screen PATH --samples FILE [--rate HZ] [--stall S --stall-observe S]]
//                         [--fullview K --click PATH]
//   bench_live mpv-tiles  --url URL,... --geometry WxH+X+Y,... --seconds S [--mpv PATH] [--screen ...]
//   bench_live switch     --client PATH --log FILE --ipc URL --layout A --other B --tiles N --switches K
//   bench_live firstframe --url URL [--mpv PATH]
//   bench_live signin     --client PATH --log FILE --ipc URL
//
// The client is started here, so that its start time, its pid and its whole life are known. It
// must log with a message pattern that begins with "%{time boot}" (the monotonic clock, as
// QElapsedTimer::msecsSinceReference counts it here) and, for `tiles`, with STATION_TILE_STATS_MS
// set; scripts/bench.sh sets both.
//
// With --screen (the bench_screen program) the tile scenarios also read the screen for the whole
// measuring window: bench_screen writes its samples to --samples, and the scenario writes
//   window who=W start_ns=T end_ns=T         the measuring window, CLOCK_MONOTONIC
//   screen who=W samples=FILE                where the samples are
// With --stall S, after the window the client (or every player) is stopped with SIGSTOP for S
// seconds and continued, and the screen is read for --stall-observe seconds more:
//   stall who=W stop_ns=T cont_ns=T end_ns=T
// bench/lag.py turns these, with the stream server's log, into lag and frames shown.
//
// With --fullview K (and --screen, and the bench_click program), after all that the scenario
// double-clicks tiles as an operator does to show them full size, and reads the full view's picture off the
// screen from just before each double click: one unmeasured round first (it finds where the full
// view lies), then K rounds on the next tiles, each left again by a double click:
//   fullview round=R tile=I click_ns=T sub_port=P main_port=P samples=FILE request_ms=M loaded_ms=M
// click_ns is when the second press of the double click went to the X server; request_ms is when the client asked its
// player for the main stream ("loadFile:" in its log) and loaded_ms when its statistics hook first saw the full view
// play it (ticks of STATION_TILE_STATS_MS), both from the double click (-1: never). The first frame of the main stream
// on the screen is found by bench/lag.py, from the samples and the stream server's log.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QRemoteObjectNode>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "rep_client_service_replica.h"

namespace {

// Set by SIGTERM or SIGINT: every wait gives up, and the scenario ends its client and players.
volatile sig_atomic_t s_stopRequested = 0;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

void emitLine(const QString& line)
{
    out() << line << Qt::endl;
}

void fail(const QString& message)
{
    err() << "bench_live: " << message << Qt::endl;
}

qint64 nowMs()
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

// CLOCK_MONOTONIC in ns, the clock of bench_screen's samples and of the stream server's log.
qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Spins the event loop until `done` holds or `timeoutMs` passes; `pollMs` between checks.
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 5)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs || s_stopRequested)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, pollMs);
        QThread::msleep(static_cast<unsigned long>(pollMs));
    }
    return true;
}

void sleepWithEvents(int ms)
{
    const qint64 end = nowMs() + ms;
    waitUntil([end] { return nowMs() >= end; }, ms + 1000, 20);
}

// CPU time (user + system, all threads) of a process, in seconds; -1 when it is gone.
double processCpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = file.readAll();
    // The command name may hold spaces; the fields after it are counted from the last ')'.
    const int close = text.lastIndexOf(')');
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
}

// A "VmHWM"-style field of /proc/PID/status, in kB; -1 when missing.
qint64 processStatusKb(qint64 pid, const char* key)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// The client's log, read as it grows.

struct LogLine
{
    qint64 ms = 0; // from the "%{time boot}" at its start; 0 when it has none
    QString text;  // the rest
};

class LogTail
{
public:
    explicit LogTail(QString path) : m_file(std::move(path)) {}

    void poll()
    {
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
            return;
        m_pending += m_file.readAll();
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            LogLine entry;
            const QRegularExpressionMatch match = stamp().match(line);
            if (match.hasMatch()) {
                entry.ms = qRound64(match.captured(1).toDouble() * 1000.0);
                entry.text = match.captured(2);
            } else {
                entry.text = line;
            }
            m_lines.push_back(entry);
        }
    }

    const std::vector<LogLine>& lines() const { return m_lines; }
    QString path() const { return m_file.fileName(); }

    // Lines from `from` on that contain `text`.
    std::vector<LogLine> matching(const QString& text, std::size_t from = 0) const
    {
        std::vector<LogLine> found;
        for (std::size_t i = from; i < m_lines.size(); ++i) {
            if (m_lines[i].text.contains(text))
                found.push_back(m_lines[i]);
        }
        return found;
    }

private:
    static const QRegularExpression& stamp()
    {
        static const QRegularExpression expression(QStringLiteral("^\\s*(\\d+\\.\\d+) (.*)$"));
        return expression;
    }

    QFile m_file;
    QByteArray m_pending;
    std::vector<LogLine> m_lines;
};

// ---------------------------------------------------------------------------------------------
// The client and its remote interface.

class Client
{
public:
    Client(const QString& program, const QString& logPath, const QUrl& ipc) : m_log(logPath), m_ipc(ipc)
    {
        QFile::remove(logPath);
        QDir().mkpath(QFileInfo(logPath).absolutePath());
        m_program = program;
    }

    ~Client() { stop(); }

    bool start()
    {
        // The replica first, so that it sees the very first publications.
        m_node = std::make_unique<QRemoteObjectNode>();
        m_node->setHeartbeatInterval(50);
        m_node->connectToNode(m_ipc);
        m_replica.reset(m_node->acquire<client_ServiceReplica>());
        QObject::connect(m_replica.get(), &client_ServiceReplica::loggedIn, [this](bool in) {
            if (in && m_loggedInMs == 0)
                m_loggedInMs = nowMs();
        });
        QObject::connect(m_replica.get(), &client_ServiceReplica::layoutListChanged,
                         [this](const QList<client_Layout>& layouts) {
                             if (!layouts.isEmpty() && m_layoutsMs == 0)
                                 m_layoutsMs = nowMs();
                             for (const client_Layout& layout : layouts)
                                 m_layouts[layout.name()] = layout.json();
                         });
        QObject::connect(m_replica.get(), &QRemoteObjectReplica::initialized, [this] {
            m_sourceMs = nowMs();
            // Fast heartbeats find the client soon after it starts; once connected they would
            // take a GUI thread that is busy for a second (a layout switch) for a lost client.
            m_node->setHeartbeatInterval(5000);
        });

        m_process.setProgram(m_program);
        m_process.setWorkingDirectory(QFileInfo(m_program).absolutePath());
        // libmpv and FFmpeg write to standard error; it is kept beside the log, out of the way.
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(m_log.path() + QStringLiteral(".stderr"));
        m_startMs = nowMs();
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            fail(QStringLiteral("cannot start %1: %2").arg(m_program, m_process.errorString()));
            return false;
        }
        return true;
    }

    // Waits for the sign-in and the layout list (and asks for them, should the replica have
    // connected late).
    bool waitForLayouts(int timeoutMs)
    {
        bool asked = false;
        return waitUntil(
                   [this, &asked] {
                       poll();
                       if (!running())
                           return true;
                       if (m_sourceMs != 0 && !asked) {
                           m_replica->requestLoginStatus();
                           m_replica->requestLayoutList();
                           asked = true;
                       }
                       return !m_layouts.empty();
                   },
                   timeoutMs) &&
               running();
    }

    // Returns when the call went out (the monotonic clock, ms), 0 when it could not.
    qint64 setLayout(const QString& name)
    {
        const auto found = m_layouts.find(name);
        if (found == m_layouts.end()) {
            fail(QStringLiteral("the client published no layout \"%1\"").arg(name));
            return 0;
        }
        if (!waitUntil([this] { return m_replica->isReplicaValid() || !running(); }, 10000) || !running()) {
            fail(QStringLiteral("the replica lost the client"));
            return 0;
        }
        const qint64 sent = nowMs();
        m_replica->setLayout(found->first, found->second);
        return sent;
    }

    void poll() { m_log.poll(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    LogTail& log() { return m_log; }
    qint64 startMs() const { return m_startMs; }
    qint64 loggedInMs() const { return m_loggedInMs; }
    qint64 layoutsMs() const { return m_layoutsMs; }
    qint64 sourceMs() const { return m_sourceMs; }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        m_replica.reset();
        m_node.reset();
    }

private:
    QString m_program;
    LogTail m_log;
    QUrl m_ipc;
    QProcess m_process;
    std::unique_ptr<QRemoteObjectNode> m_node;
    std::unique_ptr<client_ServiceReplica> m_replica;
    std::map<QString, QString> m_layouts;
    qint64 m_startMs = 0;
    qint64 m_loggedInMs = 0;
    qint64 m_layoutsMs = 0;
    qint64 m_sourceMs = 0;
};

// One "tile-stats" tick of the client's hook.
struct TileCounters
{
    QString size;
    QString path;
    bool loaded = false;
    qint64 frame = 0;
    qint64 drop = 0;
    qint64 decdrop = 0;
    qint64 delayed = 0;
    double pos = 0;
    double vffps = 0;
    qint64 presented = -1;
    QString rect; // X,Y,W,H in the window
};

struct Tick
{
    qint64 number = 0;
    qint64 ms = 0;
    int tiles = -1;
    QPoint window; // the window's place on the screen
    std::vector<TileCounters> counters;
    bool complete() const { return tiles >= 0 && static_cast<int>(counters.size()) == tiles; }
};

QString valueOf(const QString& text, const QString& key)
{
    const QRegularExpression expression(QStringLiteral("(?:^| )%1=(\\S*)").arg(QRegularExpression::escape(key)));
    return expression.match(text).captured(1);
}

// The ticks logged from line `from` on, complete ones only.
std::vector<Tick> ticksSince(const LogTail& log, std::size_t from)
{
    std::map<qint64, Tick> ticks;
    const std::vector<LogLine>& lines = log.lines();
    for (std::size_t i = from; i < lines.size(); ++i) {
        const QString& text = lines[i].text;
        const int at = text.indexOf(QLatin1String("tile-stats "));
        if (at < 0)
            continue;
        const QString body = text.mid(at);
        const qint64 number = valueOf(body, QStringLiteral("tick")).toLongLong();
        Tick& tick = ticks[number];
        tick.number = number;
        if (body.contains(QLatin1String(" tiles="))) {
            tick.ms = valueOf(body, QStringLiteral("t_ms")).toLongLong();
            tick.tiles = valueOf(body, QStringLiteral("tiles")).toInt();
            const QStringList window = valueOf(body, QStringLiteral("window")).split(QLatin1Char(','));
            if (window.size() == 4)
                tick.window = QPoint(window.at(0).toInt(), window.at(1).toInt());
        } else {
            TileCounters counters;
            counters.size = valueOf(body, QStringLiteral("size"));
            counters.path = valueOf(body, QStringLiteral("path"));
            counters.loaded = valueOf(body, QStringLiteral("loaded")) == QLatin1String("1");
            counters.frame = valueOf(body, QStringLiteral("frame")).toLongLong();
            counters.drop = valueOf(body, QStringLiteral("drop")).toLongLong();
            counters.decdrop = valueOf(body, QStringLiteral("decdrop")).toLongLong();
            counters.delayed = valueOf(body, QStringLiteral("delayed")).toLongLong();
            counters.pos = valueOf(body, QStringLiteral("pos")).toDouble();
            counters.vffps = valueOf(body, QStringLiteral("vffps")).toDouble();
            const QString presented = valueOf(body, QStringLiteral("presented"));
            counters.presented = presented.isEmpty() ? -1 : presented.toLongLong();
            counters.rect = valueOf(body, QStringLiteral("rect"));
            tick.counters.push_back(counters);
        }
    }
    std::vector<Tick> complete;
    for (auto& entry : ticks) {
        if (entry.second.complete())
            complete.push_back(entry.second);
    }
    return complete;
}

// ---------------------------------------------------------------------------------------------
// Standalone mpv, through its JSON IPC socket.

class MpvPlayer
{
public:
    MpvPlayer(const QString& program, const QString& socketPath, const QString& url, const QString& geometry)
        : m_socketPath(socketPath)
    {
        // What a camera tile sets: the low-latency profile, no cache, desynchronised video, no
        // audio, the same hardware decoding; the player's own extras (on-screen controller,
        // scripts, configuration files) are off, as they are in the library.
        QStringList arguments{
            QStringLiteral("--no-config"), QStringLiteral("--no-terminal"), QStringLiteral("--osc=no"),
            QStringLiteral("--ytdl=no"), QStringLiteral("--load-stats-overlay=no"),
            QStringLiteral("--load-osd-console=no"), QStringLiteral("--load-auto-profiles=no"),
            QStringLiteral("--input-default-bindings=no"), QStringLiteral("--profile=low-latency"),
            QStringLiteral("--cache=no"), QStringLiteral("--video-sync=desync"), QStringLiteral("--aid=no"),
            QStringLiteral("--ao=null"), QStringLiteral("--hwdec=auto"),
            // OpenGL on whatever renders it, as in the client (software under Xvfb).
            QStringLiteral("--vo=gpu"), QStringLiteral("--gpu-api=opengl"), QStringLiteral("--gpu-sw=yes"),
            QStringLiteral("--border=no"), QStringLiteral("--input-ipc-server=%1").arg(socketPath)};
        if (!geometry.isEmpty())
            arguments << QStringLiteral("--geometry=%1").arg(geometry);
        arguments << url;
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
    }

    ~MpvPlayer()
    {
        m_socket.abort();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }

    bool start()
    {
        m_startMs = nowMs();
        m_process.start();
        return m_process.waitForStarted(10000);
    }

    // Connects to the IPC socket as soon as it exists.
    bool connect(int timeoutMs)
    {
        return waitUntil(
                   [this] {
                       if (m_process.state() != QProcess::Running)
                           return true;
                       m_socket.connectToServer(m_socketPath);
                       return m_socket.waitForConnected(50);
                   },
                   timeoutMs, 2) &&
               m_socket.state() == QLocalSocket::ConnectedState;
    }

    QJsonValue get(const QString& property, int timeoutMs = 2000)
    {
        const int id = ++m_requestId;
        QJsonObject request{{QStringLiteral("command"), QJsonArray{QStringLiteral("get_property"), property}},
                            {QStringLiteral("request_id"), id}};
        m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (m_socket.canReadLine()) {
                const QJsonObject reply = QJsonDocument::fromJson(m_socket.readLine()).object();
                if (reply.value(QStringLiteral("request_id")).toInt() == id)
                    return reply.value(QStringLiteral("data"));
            }
            if (!m_socket.waitForReadyRead(50) && m_socket.state() != QLocalSocket::ConnectedState)
                break;
        }
        return QJsonValue();
    }

    bool loaded()
    {
        return get(QStringLiteral("playlist-count")).toInt() >= 1 && get(QStringLiteral("dwidth")).toInt() > 0 &&
               get(QStringLiteral("dheight")).toInt() > 0;
    }

    // Watches the displayed size and returns when the first frame's size is known (as a tile's
    // "videoLoaded"), in ms since the process start; -1 on time-out.
    qint64 waitFirstFrame(int timeoutMs)
    {
        QJsonObject observe{
            {QStringLiteral("command"), QJsonArray{QStringLiteral("observe_property"), 1, QStringLiteral("dwidth")}}};
        m_socket.write(QJsonDocument(observe).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs && m_socket.state() == QLocalSocket::ConnectedState) {
            while (m_socket.canReadLine()) {
                const QJsonObject event = QJsonDocument::fromJson(m_socket.readLine()).object();
                if (event.value(QStringLiteral("event")) == QLatin1String("property-change") &&
                    event.value(QStringLiteral("name")) == QLatin1String("dwidth") &&
                    event.value(QStringLiteral("data")).toInt() > 0)
                    return nowMs() - m_startMs;
            }
            m_socket.waitForReadyRead(20);
        }
        return -1;
    }

    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QString m_socketPath;
    QProcess m_process;
    QLocalSocket m_socket;
    qint64 m_startMs = 0;
    int m_requestId = 0;
};

struct Counters
{
    qint64 frame = 0;
    qint64 drop = 0;
    qint64 decdrop = 0;
    qint64 delayed = 0;
    double pos = 0;
    double vffps = 0;
    qint64 presented = -1; // the client's own count of frames presented; -1 for the players
};

Counters mpvCounters(MpvPlayer& player)
{
    return {player.get(QStringLiteral("estimated-frame-number")).toVariant().toLongLong(),
            player.get(QStringLiteral("frame-drop-count")).toVariant().toLongLong(),
            player.get(QStringLiteral("decoder-frame-drop-count")).toVariant().toLongLong(),
            player.get(QStringLiteral("vo-delayed-frame-count")).toVariant().toLongLong(),
            player.get(QStringLiteral("time-pos")).toDouble(),
            player.get(QStringLiteral("estimated-vf-fps")).toDouble()};
}

// The streams run at 25 frames per second; a live stream opened with the low-latency profile's
// short probe reports no container rate, so its estimated frame number stays 0 and the frames
// are counted from the position instead: the video time played over the window, times 25.
constexpr double StreamFps = 25.0;

// Where a tile is and what it plays, for the screen readings: its stream's port and its
// rectangle on the screen.
struct Placement
{
    int port = -1;
    QString rect; // X,Y,W,H
};

void emitTile(const QString& who, int index, const Counters& a, const Counters& b, double spanS, const QString& size,
              const Placement& placement)
{
    const double played = b.pos - a.pos;
    // Frames a second by the player's own counters: the client's presented frames, else the
    // position's progress.
    const double fps = spanS <= 0                               ? 0.0
                       : (a.presented >= 0 && b.presented >= 0) ? (b.presented - a.presented) / spanS
                                                                : played * StreamFps / spanS;
    emitLine(QStringLiteral("tile who=%1 index=%2 size=%3 span_s=%4 frames=%5 est_frames=%6 realtime=%7 vffps=%8 "
                            "drop=%9 decdrop=%10 delayed=%11 presented=%12 fps=%13 port=%14 rect=%15")
                 .arg(who)
                 .arg(index)
                 .arg(size)
                 .arg(spanS, 0, 'f', 3)
                 .arg(qRound64(played * StreamFps))
                 .arg(b.frame - a.frame)
                 .arg(spanS > 0 ? played / spanS : 0.0, 0, 'f', 3)
                 .arg(b.vffps, 0, 'f', 2)
                 .arg(b.drop - a.drop)
                 .arg(b.decdrop - a.decdrop)
                 .arg(b.delayed - a.delayed)
                 .arg(a.presented >= 0 && b.presented >= 0 ? b.presented - a.presented : -1)
                 .arg(fps, 0, 'f', 2)
                 .arg(placement.port)
                 .arg(placement.rect.isEmpty() ? QStringLiteral("-") : placement.rect));
}

// bench_screen, reading the tiles' frame numbers off the screen into a file while it runs.
class ScreenReader
{
public:
    ~ScreenReader() { stop(); }

    // `rects` are X,Y,W,H on the screen, one per tile in index order.
    bool start(const QString& program, const QStringList& rects, const QString& samples, int rateHz)
    {
        QStringList arguments{QStringLiteral("--aspect"), QStringLiteral("16:9"), QStringLiteral("--rate"),
                              QString::number(rateHz)};
        for (const QString& rect : rects)
            arguments << QStringLiteral("--rect") << rect;
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setStandardOutputFile(samples, QIODevice::Truncate);
        m_process.setStandardErrorFile(samples + QStringLiteral(".stderr"));
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            fail(QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString()));
            return false;
        }
        // Its first sample comes within a few ms; a wrong rectangle ends it at once.
        if (m_process.waitForFinished(300)) {
            fail(QStringLiteral("%1 ended at once; see %2.stderr").arg(program, samples));
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};

// X,Y,W,H from a geometry WxH+X+Y; empty if it is not one.
QString rectOfGeometry(const QString& geometry)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)$")).match(geometry);
    if (!match.hasMatch())
        return QString();
    return QStringLiteral("%1,%2,%3,%4")
        .arg(match.captured(3), match.captured(4), match.captured(1), match.captured(2));
}

// The client's item rectangle X,Y,W,H moved by its window's place on the screen.
QString rectOnScreen(const QString& rect, const QPoint& window)
{
    const QStringList parts = rect.split(QLatin1Char(','));
    if (parts.size() != 4)
        return QString();
    return QStringLiteral("%1,%2,%3,%4")
        .arg(parts.at(0).toInt() + window.x())
        .arg(parts.at(1).toInt() + window.y())
        .arg(parts.at(2))
        .arg(parts.at(3));
}

// ---------------------------------------------------------------------------------------------
// Scenarios

struct Options
{
    QString client;
    QString log;
    QUrl ipc;
    QString layout;
    QString other;
    QString mpv;
    QStringList urls;
    QStringList geometries;
    int tiles = 0;
    int seconds = 30;
    int switches = 10;
    int loadTimeoutMs = 30000;
    // Reading the screen, and the stall test after the window (0: none).
    QString screen;
    QString samples;
    int rateHz = 100;
    int stallSeconds = 0;
    int stallObserveSeconds = 15;
    // Full-view rounds after the window (0: none), and the program that double-clicks.
    int fullviewRounds = 0;
    QString clicker;
};

// After the window: every process in `pids` is stopped for the stall time, then continued, and
// the screen is read on for the observation time.
void stallTest(const QString& who, const std::vector<qint64>& pids, const Options& options)
{
    const qint64 stopNs = monotonicNs();
    for (qint64 pid : pids)
        kill(static_cast<pid_t>(pid), SIGSTOP);
    // Returns early on SIGTERM; the processes are continued whatever happens.
    sleepWithEvents(options.stallSeconds * 1000);
    for (qint64 pid : pids)
        kill(static_cast<pid_t>(pid), SIGCONT);
    const qint64 contNs = monotonicNs();
    sleepWithEvents(options.stallObserveSeconds * 1000);
    emitLine(QStringLiteral("stall who=%1 stop_ns=%2 cont_ns=%3 end_ns=%4")
                 .arg(who)
                 .arg(stopNs)
                 .arg(contNs)
                 .arg(monotonicNs()));
}

// ---------------------------------------------------------------------------------------------
// Full view: double clicks as an operator gives them, through the X server.

// The pointer's double click at a point of the screen (bench_click); returns when its second
// press went to the X server (CLOCK_MONOTONIC, ns), 0 when it could not be given.
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

QRect rectOf(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return QRect();
    return QRect(parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt(), parts.at(3).toInt());
}

// The tile of a tick drawn largest (the full view, when there is one); -1 for none.
int largestTile(const Tick& tick)
{
    int largest = -1;
    qint64 area = 0;
    for (std::size_t i = 0; i < tick.counters.size(); ++i) {
        const QRect rect = rectOf(tick.counters[i].rect);
        const qint64 tileArea = static_cast<qint64>(rect.width()) * rect.height();
        if (tileArea > area) {
            area = tileArea;
            largest = static_cast<int>(i);
        }
    }
    return largest;
}

// Waits for the first tick logged from now on that `accept` takes.
bool waitForTick(Client& client, const std::function<bool(const Tick&)>& accept, int timeoutMs, Tick* found = nullptr)
{
    client.poll();
    // Only the lines from here on are parsed, again at every poll: a few ticks' worth.
    const std::size_t from = client.log().lines().size();
    const qint64 sinceMs = nowMs();
    return waitUntil(
               [&] {
                   client.poll();
                   for (const Tick& tick : ticksSince(client.log(), from)) {
                       if (tick.ms >= sinceMs && accept(tick)) {
                           if (found)
                               *found = tick;
                           return true;
                       }
                   }
                   return !client.running();
               },
               timeoutMs, 20) &&
           client.running();
}

// How long the screen is read after the client says the full view plays its new stream: the
// picture reaches the glass after the player has it.
constexpr int FullViewReadOnMs = 2000;
// Time for the tile to settle on its own stream again before the next round.
constexpr int FullViewSettleMs = 2000;

int runFullView(Client& client, const Options& options, const Tick& first)
{
    if (options.screen.isEmpty() || options.clicker.isEmpty()) {
        fail(QStringLiteral("--fullview needs --screen to see the main stream's first frame and --click to "
                            "double-click"));
        return 1;
    }
    const int rounds = std::min(options.fullviewRounds, first.tiles - 1);
    const QRect tileRect = rectOf(first.counters.front().rect);
    QRect fullRect;
    for (int round = 0; round <= rounds; ++round) {
        const TileCounters& tile = first.counters[static_cast<std::size_t>(round)];
        const QRect rect = rectOf(rectOnScreen(tile.rect, first.window));
        const int subPort = QUrl(tile.path).port();
        const bool measured = round > 0;
        ScreenReader reader;
        const QString samples = QStringLiteral("%1.fullview-%2").arg(options.samples).arg(round);
        if (measured) {
            const QString area = QStringLiteral("%1,%2,%3,%4")
                                     .arg(fullRect.x())
                                     .arg(fullRect.y())
                                     .arg(fullRect.width())
                                     .arg(fullRect.height());
            if (!reader.start(options.screen, {area}, samples, options.rateHz))
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
        Tick shown;
        int full = -1;
        const bool switched = waitForTick(
            client,
            [&](const Tick& tick) {
                full = largestTile(tick);
                if (full < 0)
                    return false;
                const TileCounters& counters = tick.counters[static_cast<std::size_t>(full)];
                return rectOf(counters.rect).width() >= 2 * tileRect.width() && counters.loaded &&
                       QUrl(counters.path).port() != subPort;
            },
            options.loadTimeoutMs, &shown);
        const qint64 loadedMs = switched ? shown.ms - clickMs : -1;
        int mainPort = -1;
        qint64 requestMs = -1;
        if (switched) {
            const TileCounters& counters = shown.counters[static_cast<std::size_t>(full)];
            mainPort = QUrl(counters.path).port();
            fullRect = rectOf(rectOnScreen(counters.rect, shown.window));
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
            [&](const Tick& tick) {
                const int largest = largestTile(tick);
                return largest >= 0 &&
                       rectOf(tick.counters[static_cast<std::size_t>(largest)].rect).width() <= tileRect.width();
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

int runTiles(const Options& options)
{
    Client client(options.client, options.log, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    client.poll();
    const std::size_t from = client.log().lines().size();
    const qint64 appliedMs = client.setLayout(options.layout);
    if (appliedMs == 0)
        return 1;

    // Every tile loaded, by the hook's counters.
    Tick first;
    const bool loaded = waitUntil(
        [&] {
            client.poll();
            for (const Tick& tick : ticksSince(client.log(), from)) {
                if (tick.ms < appliedMs || tick.tiles != options.tiles)
                    continue;
                if (std::all_of(tick.counters.begin(), tick.counters.end(),
                                [](const TileCounters& c) { return c.loaded; })) {
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
    for (const TileCounters& counters : first.counters) {
        Placement placement;
        placement.port = QUrl(counters.path).port();
        placement.rect = rectOnScreen(counters.rect, first.window);
        rects << placement.rect;
        placements.push_back(placement);
    }
    // Without the screen the counters are still measured.
    ScreenReader reader;
    bool reading = false;
    if (!options.screen.isEmpty()) {
        if (rects.contains(QString()))
            fail(QStringLiteral("the client logged no rectangle for some tiles; the screen is not read"));
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
    Tick last;
    waitUntil(
        [&] {
            client.poll();
            for (const Tick& tick : ticksSince(client.log(), from)) {
                if (tick.number > first.number && tick.ms >= first.ms + options.seconds * 1000) {
                    last = tick;
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
    for (int i = 0; i < first.tiles; ++i) {
        const TileCounters& a = first.counters[static_cast<std::size_t>(i)];
        const TileCounters& b = last.counters[static_cast<std::size_t>(i)];
        emitTile(QStringLiteral("client"), i, {a.frame, a.drop, a.decdrop, a.delayed, a.pos, a.vffps, a.presented},
                 {b.frame, b.drop, b.decdrop, b.delayed, b.pos, b.vffps, b.presented}, spanS, a.size,
                 placements[static_cast<std::size_t>(i)]);
    }
    if (reading) {
        emitLine(QStringLiteral("window who=client start_ns=%1 end_ns=%2").arg(windowStartNs).arg(windowEndNs));
        if (options.stallSeconds > 0 && client.running())
            stallTest(QStringLiteral("client"), {client.pid()}, options);
        reader.stop();
        emitLine(QStringLiteral("screen who=client samples=%1").arg(options.samples));
    }
    if (options.fullviewRounds > 0)
        return runFullView(client, options, first);
    return 0;
}

int runMpvTiles(const Options& options)
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
        before.push_back(mpvCounters(*player));
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
        after.push_back(mpvCounters(*players[i]));
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
            stallTest(QStringLiteral("mpv"), pids, options);
        }
        reader.stop();
        emitLine(QStringLiteral("screen who=mpv samples=%1").arg(options.samples));
    }
    return 0;
}

int runSwitch(const Options& options)
{
    Client client(options.client, options.log, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    // Layout A once first, unmeasured, then K switches: B, A, B, ...
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

int runFirstFrame(const Options& options)
{
    QTemporaryDir sockets;
    MpvPlayer player(options.mpv, sockets.filePath(QStringLiteral("mpv")), options.urls.value(0),
                     options.geometries.value(0));
    if (!player.start() || !player.connect(10000)) {
        fail(QStringLiteral("cannot start %1 or reach its IPC socket").arg(options.mpv));
        return 1;
    }
    const qint64 firstFrame = player.waitFirstFrame(options.loadTimeoutMs);
    if (firstFrame < 0) {
        fail(QStringLiteral("no first frame within %1 ms").arg(options.loadTimeoutMs));
        return 1;
    }
    emitLine(QStringLiteral("firstframe ms=%1").arg(firstFrame));
    return 0;
}

int runSignIn(const Options& options)
{
    Client client(options.client, options.log, options.ipc);
    if (!client.start() || !client.waitForLayouts(options.loadTimeoutMs)) {
        fail(QStringLiteral("the client did not sign in and publish its layouts"));
        return 1;
    }
    client.poll();
    waitUntil(
        [&] {
            client.poll();
            return !client.log().matching(QStringLiteral("Logged in, id:")).empty();
        },
        2000);
    waitUntil(
        [&] {
            client.poll();
            return !client.log().matching(QStringLiteral("tile-stats layouts")).empty();
        },
        2000);
    const std::vector<LogLine> signedIn = client.log().matching(QStringLiteral("Logged in, id:"));
    const std::vector<LogLine> listed = client.log().matching(QStringLiteral("tile-stats layouts"));
    const std::vector<LogLine> started = client.log().matching(QStringLiteral("DEBUG:"));
    // The replica's own times are live only when it was connected before the publications;
    // otherwise they are the answers to its requests.
    emitLine(QStringLiteral("signin loggedin_ms=%1 listed_ms=%2 replica_loggedin_ms=%3 replica_layouts_ms=%4 "
                            "replica_connected_ms=%5 first_log_ms=%6")
                 .arg(signedIn.empty() ? -1 : signedIn.front().ms - client.startMs())
                 .arg(listed.empty() ? -1 : listed.front().ms - client.startMs())
                 .arg(client.loggedInMs() ? client.loggedInMs() - client.startMs() : -1)
                 .arg(client.layoutsMs() ? client.layoutsMs() - client.startMs() : -1)
                 .arg(client.sourceMs() ? client.sourceMs() - client.startMs() : -1)
                 .arg(started.empty() ? -1 : started.front().ms - client.startMs()));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Live-view benchmarks of the client against standalone mpv"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scenario"),
                                 QStringLiteral("tiles, mpv-tiles, switch, firstframe or signin"));
    const QList<QCommandLineOption> list{
        {QStringLiteral("client"), QStringLiteral("client executable"), QStringLiteral("path")},
        {QStringLiteral("log"), QStringLiteral("the client's log file"), QStringLiteral("path")},
        {QStringLiteral("ipc"), QStringLiteral("the client's remote interface"), QStringLiteral("url"),
         QStringLiteral("tcp://127.0.0.1:12230")},
        {QStringLiteral("layout"), QStringLiteral("layout to show"), QStringLiteral("name")},
        {QStringLiteral("other"), QStringLiteral("second layout of the switches"), QStringLiteral("name")},
        {QStringLiteral("tiles"), QStringLiteral("video tiles of the layout"), QStringLiteral("n")},
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
    };
    parser.addOptions(list);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(1);

    // A client or player left behind would spoil the next run: on these signals the waits end
    // and the scenario stops what it started.
    signal(SIGTERM, [](int) { s_stopRequested = 1; });
    signal(SIGINT, [](int) { s_stopRequested = 1; });

    Options options;
    options.client = QFileInfo(parser.value(QStringLiteral("client"))).absoluteFilePath();
    options.log = parser.value(QStringLiteral("log"));
    options.ipc = QUrl(parser.value(QStringLiteral("ipc")));
    options.layout = parser.value(QStringLiteral("layout"));
    options.other = parser.value(QStringLiteral("other"));
    options.tiles = parser.value(QStringLiteral("tiles")).toInt();
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
    if (!options.screen.isEmpty() && (options.samples.isEmpty() || options.rateHz <= 0)) {
        fail(QStringLiteral("--screen needs --samples FILE and a positive --rate"));
        return 2;
    }

    const QString scenario = parser.positionalArguments().first();
    if (scenario == QLatin1String("tiles"))
        return runTiles(options);
    if (scenario == QLatin1String("mpv-tiles"))
        return runMpvTiles(options);
    if (scenario == QLatin1String("switch"))
        return runSwitch(options);
    if (scenario == QLatin1String("firstframe"))
        return runFirstFrame(options);
    if (scenario == QLatin1String("signin"))
        return runSignIn(options);
    fail(QStringLiteral("unknown scenario %1").arg(scenario));
    return 2;
}
