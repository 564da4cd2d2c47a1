// POS delivery over loopback: a paced publisher thread sends timestamped messages on one channel,
// received once through PosReceiver on the Qt event loop and once by a plain SUB poll loop.
// Prints one line per receiver and rate (--receiver runs only one of them, for profiling):
//   pos receiver=<posreceiver|plain> rate=<msg/s> sent=.. delivered=.. lost=.. duplicates=..
//       reordered=.. achieved_rate=.. pace_p99_us=.. p50_us=.. p99_us=.. max_us=.. cpu_us_per_msg=..
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <zmq.hpp>

#include "posreceiver.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread, user and system.
std::int64_t threadCpuUs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (std::int64_t(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// A line of a receipt, as the terminals send them; the first line carries sequence and send time.
const char* const kReceiptText = "\nPOS 3  CASHIER 17\nITEM 000123 COFFEE LARGE    1 x 2.50\nTOTAL 2.50";
const char* const kProbe = "probe";

// The last stretch before a send that the publisher spins instead of sleeping (--spin-us).
std::int64_t s_spinNs = 40000;

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "warning: %s\n", qPrintable(message));
}

int code(char c)
{
    return static_cast<unsigned char>(c);
}

int code(QChar c)
{
    return c.unicode();
}

std::string s_dumpPrefix;

// What the publisher achieved: its rate, and how late its sends were against their schedule.
struct PublisherStats
{
    std::size_t sent = 0;
    double achievedRate = 0;
    double paceP99Us = 0;
};

// What the receiver saw, indexed by sequence number (1-based).
class Tally
{
public:
    explicit Tally(std::size_t count) : m_latencyNs(count + 1, -1) {}

    // Parses "<seq> <send ns>" at the start of a message text; false for anything else.
    template <typename CharT>
    bool record(const CharT* text, std::size_t size, std::int64_t receivedNs)
    {
        std::uint64_t seq = 0;
        std::int64_t sent = 0;
        std::size_t i = 0;
        for (; i < size && code(text[i]) >= '0' && code(text[i]) <= '9'; ++i)
            seq = seq * 10 + std::uint64_t(code(text[i]) - '0');
        if (i == 0 || i >= size || code(text[i]) != ' ')
            return false;
        const std::size_t start = ++i;
        for (; i < size && code(text[i]) >= '0' && code(text[i]) <= '9'; ++i)
            sent = sent * 10 + std::int64_t(code(text[i]) - '0');
        if (i == start || seq == 0 || seq >= m_latencyNs.size())
            return false;
        if (m_latencyNs[seq] >= 0)
            ++m_duplicates;
        else
            m_latencyNs[seq] = receivedNs - sent;
        if (seq < m_lastSeq)
            ++m_reordered;
        m_lastSeq = seq;
        return true;
    }

    // With --dump PREFIX: "<seq> <latency ns>" per delivered message, for a look at when delays occur.
    void dump(const char* receiver, int rate) const
    {
        if (s_dumpPrefix.empty())
            return;
        const std::string path = s_dumpPrefix + "." + receiver + "." + std::to_string(rate);
        std::FILE* file = std::fopen(path.c_str(), "w");
        if (!file) {
            std::fprintf(stderr, "bench_pos: cannot write %s\n", path.c_str());
            return;
        }
        for (std::size_t i = 1; i < m_latencyNs.size(); ++i)
            if (m_latencyNs[i] >= 0)
                std::fprintf(file, "%zu %lld\n", i, static_cast<long long>(m_latencyNs[i]));
        std::fclose(file);
    }

    void print(const char* receiver, int rate, const PublisherStats& publisher, double cpuUs) const
    {
        dump(receiver, rate);
        std::vector<std::int64_t> latencies;
        latencies.reserve(m_latencyNs.size());
        for (std::size_t i = 1; i < m_latencyNs.size(); ++i)
            if (m_latencyNs[i] >= 0)
                latencies.push_back(m_latencyNs[i]);
        std::sort(latencies.begin(), latencies.end());
        const auto at = [&](double q) {
            if (latencies.empty())
                return 0.0;
            const std::size_t index = std::min(latencies.size() - 1, std::size_t(q * double(latencies.size())));
            return double(latencies[index]) / 1000.0;
        };
        const std::size_t delivered = latencies.size();
        std::printf("pos receiver=%s rate=%d sent=%zu delivered=%zu lost=%zu duplicates=%zu reordered=%zu "
                    "achieved_rate=%.0f pace_p99_us=%.1f p50_us=%.1f p99_us=%.1f max_us=%.1f cpu_us_per_msg=%.3f\n",
                    receiver, rate, publisher.sent, delivered, publisher.sent - delivered, m_duplicates, m_reordered,
                    publisher.achievedRate, publisher.paceP99Us, at(0.50), at(0.99),
                    latencies.empty() ? 0.0 : double(latencies.back()) / 1000.0,
                    delivered ? cpuUs / double(delivered) : 0.0);
        std::fflush(stdout);
    }

private:
    std::vector<std::int64_t> m_latencyNs;
    std::size_t m_duplicates = 0;
    std::size_t m_reordered = 0;
    std::uint64_t m_lastSeq = 0;
};

// The POS terminal's side: its own context and thread, one PUB socket on loopback.
class Publisher
{
public:
    Publisher(std::string channel, int rate, std::size_t count)
        : m_context(1),
          m_socket(m_context, zmq::socket_type::pub),
          m_channel(std::move(channel)),
          m_rate(rate),
          m_count(count)
    {
        m_socket.set(zmq::sockopt::linger, 0);
        // The publisher queues whatever its I/O thread has not sent yet instead of dropping it, so
        // that a loss is always the receiving side's.
        m_socket.set(zmq::sockopt::sndhwm, 0);
        m_socket.bind("tcp://127.0.0.1:*");
        const std::string endpoint = m_socket.get(zmq::sockopt::last_endpoint);
        m_port = std::atoi(endpoint.substr(endpoint.rfind(':') + 1).c_str());
    }

    ~Publisher()
    {
        m_abort = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    int port() const { return m_port; }
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    // Set by the receiver when a probe arrived: the subscription is in place.
    void markJoined() { m_joined = true; }
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }
    // Valid once finished.
    PublisherStats stats() const { return {m_sent, m_achievedRate, m_paceP99Us}; }

private:
    void send(const char* text, std::size_t size)
    {
        m_socket.send(zmq::const_buffer(m_channel.data(), m_channel.size()), zmq::send_flags::sndmore);
        m_socket.send(zmq::const_buffer(text, size), zmq::send_flags::none);
    }

    void run()
    {
        // Wake-ups as close to the requested time as the kernel allows.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

        // A SUB socket only receives once its subscription has reached the publisher.
        const auto joinDeadline = Clock::now() + std::chrono::seconds(5);
        while (!m_joined && !m_abort) {
            if (Clock::now() > joinDeadline) {
                m_failed = true;
                m_finished = true;
                return;
            }
            send(kProbe, std::strlen(kProbe));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // Probes still on their way are ignored by the receiver.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

        const std::int64_t periodNs = 1000000000LL / m_rate;
        const std::string receipt = kReceiptText;
        char buffer[256];
        std::vector<std::int64_t> lateness;
        lateness.reserve(m_count);
        const std::int64_t startNs = nowNs();
        for (std::size_t seq = 1; seq <= m_count && !m_abort; ++seq) {
            const std::int64_t target = startNs + std::int64_t(seq - 1) * periodNs;
            // Sleep through most of the gap and spin the rest: a wake-up can be tens of microseconds
            // late, and a publisher spinning through every gap would take a core from the receiver.
            std::int64_t now = nowNs();
            if (target - now > s_spinNs + 20000)
                std::this_thread::sleep_for(std::chrono::nanoseconds(target - now - s_spinNs));
            while ((now = nowNs()) < target)
                std::this_thread::yield();
            const int length =
                std::snprintf(buffer, sizeof buffer, "%zu %lld%s", seq, static_cast<long long>(now), receipt.c_str());
            send(buffer, std::size_t(length));
            lateness.push_back(now - target);
            m_sent = seq;
        }
        const std::int64_t elapsed = nowNs() - startNs;
        m_achievedRate = elapsed > 0 ? double(m_sent) * 1e9 / double(elapsed) : 0.0;
        if (!lateness.empty()) {
            const auto p99 = lateness.begin() + std::ptrdiff_t(double(lateness.size() - 1) * 0.99);
            std::nth_element(lateness.begin(), p99, lateness.end());
            m_paceP99Us = double(*p99) / 1000.0;
        }
        m_finished = true;
    }

    zmq::context_t m_context;
    zmq::socket_t m_socket;
    std::string m_channel;
    int m_rate;
    std::size_t m_count;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_joined{false};
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_failed{false};
    std::atomic<std::size_t> m_sent{0};
    std::atomic<double> m_achievedRate{0.0};
    std::atomic<double> m_paceP99Us{0.0};
};

// Time given to messages still in flight after the last send.
constexpr int kGraceMs = 500;

bool runPosReceiver(int rate, double seconds, int trial)
{
    const std::size_t count = std::size_t(double(rate) * seconds);
    const QString channel = QStringLiteral("BENCH%1").arg(trial);
    Publisher publisher(channel.toStdString(), rate, count);
    Tally tally(count);
    PosReceiver receiver;
    // The delivery itself is measured: the window's guard against a runaway publisher, which
    // passes on at most a few hundred messages a second, stays out of it.
    receiver.setMaxMessagesPerSecond(0);
    bool joined = false;
    std::int64_t cpuStart = 0;

    QObject::connect(&receiver, &PosReceiver::posReceived, [&](const QString& topic, const QString& msg) {
        const std::int64_t received = nowNs();
        // Camera tiles compare the topic exactly; the filter is only a prefix.
        if (topic != channel)
            return;
        if (!joined) {
            if (msg == QLatin1String(kProbe)) {
                joined = true;
                cpuStart = threadCpuUs();
                publisher.markJoined();
            }
            return;
        }
        tally.record(msg.constData(), std::size_t(msg.size()), received);
    });
    receiver.subscribe(QStringLiteral("127.0.0.1"), publisher.port(), channel);
    publisher.start();

    QEventLoop loop;
    QElapsedTimer sinceFinish;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!publisher.finished())
            return;
        if (!sinceFinish.isValid())
            sinceFinish.start();
        if (sinceFinish.elapsed() >= kGraceMs)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    const std::int64_t cpuUs = threadCpuUs() - cpuStart;
    receiver.unsubscribe(QStringLiteral("127.0.0.1"), channel);

    if (publisher.failed()) {
        std::fprintf(stderr, "bench_pos: PosReceiver never received a probe at %d msg/s\n", rate);
        return false;
    }
    tally.print("posreceiver", rate, publisher.stats(), double(cpuUs));
    return true;
}

// The baseline: what the socket alone delivers, poll and non-blocking receives, no event loop.
bool runPlain(int rate, double seconds, int trial)
{
    const std::size_t count = std::size_t(double(rate) * seconds);
    const std::string channel = "PLAIN" + std::to_string(trial);
    Publisher publisher(channel, rate, count);
    Tally tally(count);
    zmq::context_t context(1);
    zmq::socket_t socket(context, zmq::socket_type::sub);
    socket.set(zmq::sockopt::linger, 0);
    socket.connect("tcp://127.0.0.1:" + std::to_string(publisher.port()));
    socket.set(zmq::sockopt::subscribe, channel);
    publisher.start();

    bool joined = false;
    std::int64_t cpuStart = 0;
    std::int64_t finishedAt = 0;
    zmq::pollitem_t items[] = {{socket.handle(), 0, ZMQ_POLLIN, 0}};
    zmq::message_t topic;
    zmq::message_t text;
    while (true) {
        zmq::poll(items, 1, std::chrono::milliseconds(20));
        while (socket.recv(topic, zmq::recv_flags::dontwait)) {
            if (!topic.more() || !socket.recv(text, zmq::recv_flags::dontwait))
                continue;
            const std::int64_t received = nowNs();
            while (text.more()) {
                zmq::message_t rest;
                (void)socket.recv(rest, zmq::recv_flags::dontwait);
                text.swap(rest);
            }
            if (topic.to_string_view() != channel)
                continue;
            if (!joined) {
                if (text.to_string_view() == kProbe) {
                    joined = true;
                    cpuStart = threadCpuUs();
                    publisher.markJoined();
                }
                continue;
            }
            tally.record(text.data<char>(), text.size(), received);
        }
        if (publisher.finished()) {
            if (finishedAt == 0)
                finishedAt = nowNs();
            else if (nowNs() - finishedAt >= std::int64_t(kGraceMs) * 1000000)
                break;
        }
    }
    const std::int64_t cpuUs = threadCpuUs() - cpuStart;
    if (publisher.failed()) {
        std::fprintf(stderr, "bench_pos: the plain SUB loop never received a probe at %d msg/s\n", rate);
        return false;
    }
    tally.print("plain", rate, publisher.stats(), double(cpuUs));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);

    double seconds = 3.0;
    QString receiver;
    QList<int> rates{1000, 10000, 50000};
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size()) {
            seconds = args[++i].toDouble();
        } else if (args[i] == QLatin1String("--spin-us") && i + 1 < args.size()) {
            s_spinNs = std::int64_t(args[++i].toDouble() * 1000.0);
        } else if (args[i] == QLatin1String("--dump") && i + 1 < args.size()) {
            s_dumpPrefix = args[++i].toStdString();
        } else if (args[i] == QLatin1String("--receiver") && i + 1 < args.size()) {
            receiver = args[++i];
        } else if (args[i] == QLatin1String("--rates") && i + 1 < args.size()) {
            rates.clear();
            for (const QString& rate : args[++i].split(QLatin1Char(',')))
                rates.append(rate.toInt());
        } else {
            std::fprintf(stderr, "usage: bench_pos [--seconds S] [--rates R1,R2,...] [--receiver plain|posreceiver] "
                                 "[--spin-us U] [--dump PREFIX]\n");
            return 2;
        }
    }
    if (seconds <= 0 || s_spinNs < 0 || rates.isEmpty() ||
        std::any_of(rates.begin(), rates.end(), [](int r) { return r <= 0; })) {
        std::fprintf(stderr, "bench_pos: seconds and rates must be positive, the spin not negative\n");
        return 2;
    }
    if (!receiver.isEmpty() && receiver != QLatin1String("plain") && receiver != QLatin1String("posreceiver")) {
        std::fprintf(stderr, "bench_pos: the receiver is plain or posreceiver\n");
        return 2;
    }

    int trial = 0;
    bool ok = true;
    for (int rate : rates) {
        // The baseline first, then the receiver, each with a fresh publisher and socket.
        if (receiver.isEmpty() || receiver == QLatin1String("plain"))
            ok = runPlain(rate, seconds, ++trial) && ok;
        if (receiver.isEmpty() || receiver == QLatin1String("posreceiver"))
            ok = runPosReceiver(rate, seconds, ++trial) && ok;
    }
    return ok ? 0 : 1;
}
