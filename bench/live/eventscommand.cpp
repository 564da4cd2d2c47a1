// SPDX-License-Identifier: MIT
// bench_live events: the client shows a layout of N video tiles and its event list; once every tile
// is loaded, the simulator pushes events at each rate (its control channel's "flood-events") for S
// seconds, and two things are taken:
//   - from the server's push to the row on the screen: the event's time (stamped by the server as it
//     pushes) against the first frame the window swapped with the row in it (the client's event
//     statistics file, STATION_EVENT_STATS_FILE);
//   - the GUI thread's longest stall, from outside: a question over the remote interface every
//     20 ms, answered by the client's GUI thread, and the longest time one waited for its answer.
// One line per rate:
//   events rate=R seconds=S pushed=N shown=M p50_ms= p99_ms= max_ms= probes= response_max_ms=
//          response_p99_ms= unanswered=
#include <algorithm>

#include <QDateTime>
#include <QFile>
#include <QTcpSocket>

#include "commands.h"
#include "filetail.h"
#include "liveclient.h"
#include "livecommon.h"
#include "tilestatsrecord.h"

namespace {

// One command over the simulator's control channel; its answer line, or an empty text.
QString controlCommand(const QString& address, const QString& command)
{
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    QTcpSocket socket;
    socket.connectToHost(address.left(colon), address.mid(colon + 1).toUShort());
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(command.toUtf8() + '\n');
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    return QString::fromUtf8(answer).trimmed();
}

qint64 percentile(std::vector<qint64> values, double fraction)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5));
    return values[at];
}

} // namespace

int runEvents(const LiveOptions& options)
{
    QFile::remove(options.eventStats);
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
    const bool loaded = waitUntil(
        [&] {
            client.poll();
            const std::vector<TileStatsTick>& ticks = client.ticks();
            for (std::size_t i = from; i < ticks.size(); ++i) {
                const TileStatsTick& tick = ticks[i];
                if (tick.ms >= appliedMs && tick.tiles == options.tiles &&
                    std::all_of(tick.samples.begin(), tick.samples.end(),
                                [](const TileSample& sample) { return sample.loaded; }))
                    return true;
            }
            return !client.running();
        },
        options.loadTimeoutMs, 20);
    if (!loaded || !client.running()) {
        fail(QStringLiteral("not all %1 tiles loaded within %2 ms").arg(options.tiles).arg(options.loadTimeoutMs));
        return 1;
    }
    // The tiles settle before the first rate.
    sleepWithEvents(3000);

    FileTail statsFile(options.eventStats);
    for (const int rate : options.rates) {
        statsFile.poll(); // what earlier rates left
        const std::size_t probesBefore = client.responseTimes().size();
        const qint64 startWallMs = QDateTime::currentMSecsSinceEpoch();
        const QString answer = controlCommand(
            options.control,
            QStringLiteral("flood-events %1 %2 %3").arg(rate).arg(options.seconds).arg(options.priority));
        if (!answer.startsWith(QLatin1String("ok"))) {
            fail(QStringLiteral("the simulator refused the events: %1")
                     .arg(answer.isEmpty() ? QStringLiteral("no answer") : answer));
            return 1;
        }
        // The pushes, and a second for the last rows to reach the screen.
        const qint64 endMs = nowMs() + options.seconds * 1000LL + 1000;
        while (nowMs() < endMs && client.running() && !stopRequested()) {
            client.probeResponse();
            sleepWithEvents(20);
        }
        // Answers still on their way.
        waitUntil([&] { return client.probesUnanswered() == 0 || !client.running(); }, 2000);

        std::vector<qint64> latencies;
        for (const QString& line : statsFile.poll()) {
            if (!line.startsWith(QLatin1String("shown ")))
                continue;
            const qint64 shownMs = valueOf(line, QStringLiteral("ms")).toLongLong();
            for (const QString& stamp : valueOf(line, QStringLiteral("stamps")).split(QLatin1Char(','))) {
                const qint64 at = stamp.toLongLong();
                if (at >= startWallMs) // only this rate's events
                    latencies.push_back(shownMs - at);
            }
        }
        const std::vector<qint64>& all = client.responseTimes();
        const std::vector<qint64> responses(all.begin() + static_cast<std::ptrdiff_t>(probesBefore), all.end());
        emitLine(QStringLiteral("events rate=%1 seconds=%2 pushed=%3 shown=%4 p50_ms=%5 p99_ms=%6 max_ms=%7 probes=%8 "
                                "response_max_ms=%9 response_p99_ms=%10 unanswered=%11")
                     .arg(rate)
                     .arg(options.seconds)
                     .arg(static_cast<qint64>(rate) * options.seconds)
                     .arg(latencies.size())
                     .arg(percentile(latencies, 0.5))
                     .arg(percentile(latencies, 0.99))
                     .arg(latencies.empty() ? -1 : *std::max_element(latencies.begin(), latencies.end()))
                     .arg(responses.size())
                     .arg(responses.empty() ? -1 : *std::max_element(responses.begin(), responses.end()))
                     .arg(percentile(responses, 0.99))
                     .arg(client.probesUnanswered()));
        if (!client.running()) {
            fail(QStringLiteral("the client ended during the events"));
            return 1;
        }
        sleepWithEvents(2000);
    }
    return 0;
}
