// SPDX-License-Identifier: MIT
// Recorded video with months of short chunks: what the recorded page does to show a day, against
// a vantor-sim whose stream holds 100,000 chunks of 10 s (11.6 days), and the POS search of a day.
//
//   bench_recorded --sim PATH [--runs N] [--raw FILE]
//
// Per run and per way of asking, one line: the chunks of one day (as the page asks now) and of the
// whole stream (from the beginning of time to now, as it asked before). fetch_ms: from the search
// to the list in this process; show_ms: the list into the time bar's chunks and the list model,
// and the time bar drawn once; heap_kib and rss_kib: what the answer and what was made of it hold.
// Then the day's POS text: fetched over HTTP, loaded, searched.
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include "chunklistmodel.h"
#include "chunkspans.h"
#include "heapusage.h"
#include "postrack.h"
#include "timelinebar.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace {

constexpr qint64 chunkMs = 10000;
constexpr int chunkCount = 100000;
constexpr qint64 firstChunk = 1714521600000; // 2024-05-01 00:00 UTC
constexpr int streamId = 11;

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QByteArray siteText(int gatewayPort, int posPort)
{
    return QStringLiteral(R"({"name": "recorded", "pos": {"rate": 0, "seed": 1}, "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "operator"},
        {"id": 10, "name": "Gateway", "type": 2, "parent": 1, "className": "device.GATEWAY",
         "gateway": {"httpPort": %1}, "settings": {"address": "127.0.0.1", "posPort": %2}},
        {"id": 11, "name": "Till", "type": 10, "parent": 10, "className": "stream.CAMERA"}],
      "recordings": [{"stream": 11, "posEveryMs": 20000,
        "chunks": {"start": %3, "count": %4, "durationMs": %5}}]})")
        .arg(gatewayPort)
        .arg(posPort)
        .arg(firstChunk)
        .arg(chunkCount)
        .arg(chunkMs)
        .toUtf8();
}

// Runs the event loop until `done` or the time is up.
template <typename Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

double ms(const QElapsedTimer& clock)
{
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QString simPath;
    QString rawPath;
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--sim"))
            simPath = args[++i];
        else if (args[i] == QLatin1String("--runs"))
            runs = args[++i].toInt();
        else if (args[i] == QLatin1String("--raw"))
            rawPath = args[++i];
    }
    if (simPath.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: bench_recorded --sim PATH [--runs N] [--raw FILE]\n");
        return 2;
    }
    std::FILE* raw = rawPath.isEmpty() ? stdout : std::fopen(qPrintable(rawPath), "a");
    if (!raw) {
        std::fprintf(stderr, "bench_recorded: cannot write %s\n", qPrintable(rawPath));
        return 1;
    }

    QTemporaryDir dir;
    const int serverPort = freePort();
    const int gatewayPort = freePort();
    const int posPort = freePort();
    QFile site(dir.filePath(QStringLiteral("site.json")));
    if (!dir.isValid() || !site.open(QIODevice::WriteOnly) || site.write(siteText(gatewayPort, posPort)) < 0)
        return 1;
    site.close();
    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(simPath, {QStringLiteral("--site"), site.fileName(), QStringLiteral("--port"),
                        QString::number(serverPort), QStringLiteral("--media-dir"), dir.filePath(QStringLiteral("m"))});
    QByteArray simOutput;
    if (!waitFor(
            [&] {
                simOutput += sim.readAll();
                return simOutput.contains("vantor-sim: ready") || sim.state() == QProcess::NotRunning;
            },
            60000) ||
        !simOutput.contains("vantor-sim: ready")) {
        std::fprintf(stderr, "bench_recorded: the simulator did not start: %s\n", simOutput.constData());
        return 1;
    }

    VantorObjectsRepository repository;
    VantorClient client;
    client.setRepository(&repository);
    bool signedIn = false;
    QObject::connect(&client, &VantorClient::loggedIn, [&] { signedIn = true; });
    QObject::connect(&client, &VantorClient::connected, [&] { client.login(); });
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(serverPort);
    client.setUsername(QStringLiteral("operator"));
    client.setPassword(QStringLiteral("operator"));
    client.connectToVantor();
    if (!waitFor([&] { return signedIn; }, 20000)) {
        std::fprintf(stderr, "bench_recorded: no sign-in\n");
        return 1;
    }

    // A day in the middle of the recordings, from its midnight (UTC here, so that it is the same
    // day on every machine).
    const qint64 dayStart = firstChunk + 5 * 86400000LL;
    const qint64 dayEnd = dayStart + 86400000LL;
    QNetworkAccessManager network;
    for (int run = 1; run <= runs; ++run) {
        for (const bool wholeStream : {false, true}) {
            QVariantList answer;
            bool received = false;
            const auto connection =
                QObject::connect(&client, &VantorClient::streamChunksReceived, [&](const QVariantList& chunks) {
                    answer = chunks;
                    received = true;
                });
            const std::size_t heapBefore = heapInUse();
            const std::size_t rssBefore = residentBytes();
            QElapsedTimer clock;
            clock.start();
            if (wholeStream)
                client.searchChunks(QString::number(streamId), 0, 1, QDateTime::currentMSecsSinceEpoch());
            else
                client.searchChunks(QString::number(streamId), 0, dayStart - 600000, dayEnd - 1);
            if (!waitFor([&] { return received; }, 120000)) {
                std::fprintf(stderr, "bench_recorded: no chunks came\n");
                return 1;
            }
            const double fetchMs = ms(clock);
            QObject::disconnect(connection);

            clock.restart();
            auto spans = std::make_unique<ChunkSpans>();
            auto model = std::make_unique<ChunkListModel>();
            model->setSpans(spans.get());
            spans->setChunks(answer);
            TimelineBar bar;
            bar.setSpans(spans.get());
            bar.setDayStart(dayStart);
            bar.setDayEnd(dayEnd);
            QImage image(1600, 60, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&image);
            bar.paintBar(&painter, image.size());
            painter.end();
            const double showMs = ms(clock);
            const std::size_t heapAfter = heapInUse();
            const std::size_t rssAfter = residentBytes();
            std::fprintf(raw, "chunks run=%d mode=%s count=%d fetch_ms=%.2f show_ms=%.3f heap_kib=%lld rss_kib=%lld\n",
                         run, wholeStream ? "all" : "day", static_cast<int>(answer.size()), fetchMs, showMs,
                         (static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore)) / 1024,
                         (static_cast<long long>(rssAfter) - static_cast<long long>(rssBefore)) / 1024);
            std::fflush(raw);
        }

        // The day's POS text, as the page asks for it when a stream is chosen.
        QElapsedTimer clock;
        clock.start();
        QNetworkReply* reply =
            network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/pos-data?strmId=%2&from=%3&to=%4")
                                                 .arg(gatewayPort)
                                                 .arg(streamId)
                                                 .arg(dayStart)
                                                 .arg(dayEnd - 1))));
        if (!waitFor([&] { return reply->isFinished(); }, 60000) || reply->error() != QNetworkReply::NoError) {
            std::fprintf(stderr, "bench_recorded: the day's POS text did not come: %s\n",
                         qPrintable(reply->errorString()));
            return 1;
        }
        const QString text = QString::fromUtf8(reply->readAll());
        reply->deleteLater();
        const double fetchMs = ms(clock);
        clock.restart();
        PosTrack track;
        track.load(text);
        const double loadMs = ms(clock);
        clock.restart();
        const int found = track.search(QStringLiteral("coffee"), 1000000).size();
        const double searchMs = ms(clock);
        clock.restart();
        const int lines = track.linesAt(dayStart + 43200000).size();
        const double linesUs = clock.nsecsElapsed() / 1e3;
        std::fprintf(raw,
                     "pos run=%d receipts=%d bytes=%d fetch_ms=%.2f load_ms=%.2f search_ms=%.3f found=%d lines_us=%.1f "
                     "lines=%d\n",
                     run, track.count(), static_cast<int>(text.size()), fetchMs, loadMs, searchMs, found, linesUs,
                     lines);
        std::fflush(raw);
    }
    if (raw != stdout)
        std::fclose(raw);
    sim.terminate();
    sim.waitForFinished(5000);
    return 0;
}
