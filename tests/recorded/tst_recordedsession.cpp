// SPDX-License-Identifier: MIT
// The recorded page's logic without the page: a chunk fetched from the simulator's gateway with
// its POS text and played, the next one fetched ahead and played on, the day's POS text and its
// search, answers to choices made since, a gateway that never answers the POS query, seeks and
// steps inside and across chunks, and the export marks. The player is played by the test: it sets
// the player's path, position and duration as the page's bindings would.
#include <memory>

#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "downloader.h"
#include "logcapture.h"
#include "recordedsession.h"
#include "simprocess.h"
#include "testfiles.h"
#include "timelinebar.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"
#include "vantorsetting.h"

namespace {

// The simulator makes its media with ffmpeg on first use.
constexpr int TransferMs = 60000;

QByteArray recordedSite()
{
    return R"({
    "name": "session",
    "pos": {"rate": 0, "seed": 9},
    "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 11, "name": "Gateway", "type": 2, "parent": 1, "gateway": {}, "settings": {"address": "127.0.0.1"}},
        {"id": 21, "name": "Camera", "type": 10, "parent": 11}
    ],
    "recordings": [
        {"stream": 21,
         "chunks": [{"start": 1000, "end": 2000, "size": 100}, {"start": 2000, "end": 3000, "size": 100},
                    {"start": 8000, "end": 9000, "size": 100}],
         "pos": [{"time": 1500, "text": "TOTAL 3.50"}, {"time": 2500, "text": "CASH 5.00"}]}
    ]
})";
}

QVariantMap chunk(qlonglong start, qlonglong end)
{
    return {{QStringLiteral("streamId"), 21LL},
            {QStringLiteral("start"), start},
            {QStringLiteral("end"), end},
            {QStringLiteral("size"), 100LL}};
}

const QVariantList dayOfChunks{chunk(1000, 2000), chunk(2000, 3000), chunk(8000, 9000)};

VantorObjectPtr object(const QString& id, const QString& name, VantorObject::Type type, const QString& path)
{
    auto result = std::make_shared<VantorObject>();
    result->setId(id);
    result->setName(name);
    result->setType(type);
    result->setPath(path);
    return result;
}

// What the page gives its session.
struct Page
{
    VantorClient client;
    Downloader downloader;
    Downloader prefetcher;
    TimelineBar timeline;
    RecordedSession session;

    Page(VantorObjectsRepository* repository, int gatewayPort)
    {
        session.setClient(&client);
        session.setRepository(repository);
        session.setTimeline(&timeline);
        session.setDownloader(&downloader);
        session.setPrefetcher(&prefetcher);
        session.setGatewayPort(gatewayPort);
    }

    // The player has the file the session asked for, at this position of its chunk.
    void playerAt(const QString& file, qreal seconds)
    {
        const bool newFile = session.playerPath() != file;
        session.setPlayerPath(file);
        session.setPlayerDuration(1.0);
        session.setPlayerPosition(seconds);
        if (newFile)
            session.handleFileLoaded();
    }
};

} // namespace

class TestRecordedSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void chunkPlaysAndTheNextFollows();
    void answersToEarlierChoicesStartNothing();
    void unansweredPosQueryStillFetchesTheChunk();
    void seeksAndSteps_data();
    void seeksAndSteps();
    void marksAndExportChoices();

private:
    // A page whose chunk 1000-2000 plays from the file "chunk-a" at 0.4 s, without any transfer.
    void playFirstChunk(Page& page);

    QTemporaryDir m_dir;
    SimProcess m_sim;
    VantorObjectsRepository m_repository;
    int m_httpPort = 0;
};

void TestRecordedSession::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString site = m_dir.filePath(QStringLiteral("site.json"));
    QVERIFY(testsupport::writeFile(site, recordedSite()));
    QVERIFY2(m_sim.start(site, {QStringLiteral("--verbose")}), qPrintable(m_sim.output()));
    m_httpPort = m_sim.gateway(11).http;
    QVERIFY(m_httpPort > 0);

    // The server's objects as the client keeps them.
    QVERIFY(m_repository.add(
        object(QStringLiteral("1"), QStringLiteral("Site"), VantorObject::Location, QStringLiteral("Site")),
        QStringLiteral(",")));
    const VantorObjectPtr gateway =
        object(QStringLiteral("11"), QStringLiteral("Gateway"), VantorObject::Device, QStringLiteral("Site,Gateway"));
    gateway->settings()->insert(QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    QVERIFY(m_repository.add(gateway, QStringLiteral(",")));
    QVERIFY(m_repository.add(object(QStringLiteral("21"), QStringLiteral("Camera"), VantorObject::Stream,
                                    QStringLiteral("Site,Gateway,Camera")),
                             QStringLiteral(",")));
}

void TestRecordedSession::chunkPlaysAndTheNextFollows()
{
    Page page(&m_repository, m_httpPort);
    RecordedSession& session = page.session;
    QSignalSpy plays(&session, &RecordedSession::playRequested);
    QSignalSpy lines(&session, &RecordedSession::posLinesUpdated);
    QSignalSpy commands(&session, &RecordedSession::playerCommand);
    QSignalSpy shown(&session, &RecordedSession::playingChunkShown);

    // The recordings' day, then its stream.
    session.showDay(1500);
    QVERIFY(session.dayStart() <= 1000 && session.dayEnd() > 9000);
    QCOMPARE(page.timeline.dayStart(), qlonglong(session.dayStart()));
    session.chooseStream(QStringLiteral("11"), QStringLiteral("21"));
    QCOMPARE(session.cameraName(), QStringLiteral("Camera"));
    emit page.client.streamChunksReceived(dayOfChunks);
    QCOMPARE(session.chunks()->count(), 3);

    // From 200 ms into the first chunk.
    session.chooseChunk(1000, 2000, 1200);
    QCOMPARE(session.startTime(), QStringLiteral("1000"));
    QCOMPARE(shown.last().first().toInt(), 0);
    emit page.client.streamInfoReceived(QStringLiteral("11"), QStringLiteral("21"), QString(), QString());
    QCOMPARE(session.streamHost(), QStringLiteral("127.0.0.1"));
    QTRY_COMPARE_WITH_TIMEOUT(plays.count(), 1, TransferMs);
    const QString first = plays.first().first().toString();
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("recorder-a"));
    QVERIFY2(QFileInfo(first).size() > 1000, qPrintable(first));
    QCOMPARE(page.downloader.url(), QStringLiteral("http://127.0.0.1:%1/21-1000-2000").arg(m_httpPort));
    QCOMPARE(session.playingFile(), first);
    QVERIFY(!session.downloading());
    QCOMPARE(session.chunkPos()->count(), 1);

    page.playerAt(first, 0);
    QCOMPARE(session.positionMs(), 1000.0);
    session.handleFileLoaded();
    QCOMPARE(commands.last().first().toList(), QVariantList({"seek", "0.2", "absolute", "exact"}));
    QCOMPARE(session.pendingSeekMs(), -1.0);
    page.playerAt(first, 0.6);
    QCOMPARE(session.positionMs(), 1600.0);
    QCOMPARE(lines.last().first().toStringList(), QStringList{QStringLiteral("TOTAL 3.50")});

    // The next chunk comes ahead, with its own POS text, into the other file.
    QTRY_VERIFY_WITH_TIMEOUT(session.nextReady(), TransferMs);
    QCOMPARE(session.nextStart(), QStringLiteral("2000"));
    QCOMPARE(page.prefetcher.fileName(), QStringLiteral("recorder-b"));
    QVERIFY(m_sim.output().contains(QStringLiteral("GET /pos-data?strmId=21&from=2000&to=3000 -> 200")));

    // The first ends: the next plays on at once.
    session.handleFileEnded(QStringLiteral("eof"));
    QCOMPARE(session.startTime(), QStringLiteral("2000"));
    QCOMPARE(session.endTime(), QStringLiteral("3000"));
    QCOMPARE(plays.count(), 2);
    const QString second = plays.last().first().toString();
    QCOMPARE(second, page.prefetcher.filePath());
    QVERIFY(second != first);
    QCOMPARE(session.positionMs(), -1.0);
    QCOMPARE(shown.last().first().toInt(), 1);
    page.playerAt(second, 0.6);
    QCOMPARE(session.positionMs(), 2600.0);
    QCOMPARE(lines.last().first().toStringList(), QStringList{QStringLiteral("CASH 5.00")});

    // The day's POS text came with the stream's gateway: a search finds the receipt, and showing
    // it seeks within the chunk that plays.
    QTRY_COMPARE_WITH_TIMEOUT(session.dayPos()->count(), 2, TransferMs);
    session.setSearchText(QStringLiteral("cash"));
    QCOMPARE(session.searchResults().size(), 1);
    commands.clear();
    session.showResult(session.searchResults().first().toMap());
    QCOMPARE(session.markedLine(), QStringLiteral("CASH 5.00"));
    QCOMPARE(commands.count(), 1);
    QCOMPARE(commands.last().first().toList(), QVariantList({"seek", "0.5", "absolute", "exact"}));
    QCOMPARE(session.startTime(), QStringLiteral("2000"));
}

void TestRecordedSession::answersToEarlierChoicesStartNothing()
{
    Page page(&m_repository, m_httpPort);
    RecordedSession& session = page.session;
    QSignalSpy plays(&session, &RecordedSession::playRequested);
    session.chooseStream(QStringLiteral("11"), QStringLiteral("21"));
    emit page.client.streamChunksReceived(dayOfChunks);

    LogCapture log;
    // Two choices before the server answers: the answer serves the last one only.
    session.chooseChunk(1000, 2000);
    session.chooseChunk(2000, 3000);
    emit page.client.streamInfoReceived(QStringLiteral("11"), QStringLiteral("21"), QString(), QString());
    // An answer nobody asked for.
    emit page.client.streamInfoReceived(QStringLiteral("11"), QStringLiteral("21"), QString(), QString());
    const QStringList queries = log.lines().filter(QStringLiteral("Querying URL:"));
    QCOMPARE(
        queries,
        QStringList{
            QStringLiteral("Querying URL: http://127.0.0.1:%1/pos-data?strmId=21&from=2000&to=3000").arg(m_httpPort)});
    QTRY_COMPARE_WITH_TIMEOUT(plays.count(), 1, TransferMs);
    QCOMPARE(page.downloader.url(), QStringLiteral("http://127.0.0.1:%1/21-2000-3000").arg(m_httpPort));
    QCOMPARE(log.lines().filter(QStringLiteral("Fetching:")).size(), 1);

    // Another stream: the chunks the server still sends for this one are not listed.
    session.chooseStream(QStringLiteral("11"), QStringLiteral("22"));
    QCOMPARE(session.chunks()->count(), 0);
    emit page.client.streamChunksReceived(dayOfChunks);
    QCOMPARE(session.chunks()->count(), 0);
}

void TestRecordedSession::unansweredPosQueryStillFetchesTheChunk()
{
    // Takes the connections, never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    auto page = std::make_unique<Page>(&m_repository, silent.serverPort());
    RecordedSession& session = page->session;
    session.setPosQueryTimeoutMs(300);
    session.chooseStream(QStringLiteral("11"), QStringLiteral("21"));
    emit page->client.streamChunksReceived(dayOfChunks);
    session.parsePOS(R"({"from": 0, "to": 5000, "arr": [{"time": 1200, "text": "an earlier chunk's"}]})");
    QCOMPARE(session.chunkPos()->count(), 1);

    LogCapture log;
    session.chooseChunk(1000, 2000);
    QCOMPARE(session.chunkPos()->count(), 0);
    emit page->client.streamInfoReceived(QStringLiteral("11"), QStringLiteral("21"), QString(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(session.downloading(), 10000);
    QVERIFY2(log.contains(QStringLiteral("POS query failed: no answer in 300 ms - the chunk plays without POS lines")),
             qPrintable(log.lines().join('\n')));
    QCOMPARE(page->downloader.url(), QStringLiteral("http://127.0.0.1:%1/21-1000-2000").arg(silent.serverPort()));
    QCOMPARE(session.chunkPos()->count(), 0);
    QCOMPARE(session.downloadTotal(), -1.0);

    // Gone while the day's POS query and the download still wait: nothing calls back into it.
    page.reset();
    QCoreApplication::processEvents();
}

void TestRecordedSession::playFirstChunk(Page& page)
{
    RecordedSession& session = page.session;
    session.showDay(1500);
    session.chooseStream(QStringLiteral("11"), QStringLiteral("21"));
    emit page.client.streamChunksReceived(dayOfChunks);
    session.chooseChunk(1000, 2000);
    // The transfer is the Downloader's; here it ends at once.
    page.downloader.setFilePath(m_dir.filePath(QStringLiteral("chunk-a")));
    emit page.downloader.finished();
    QCOMPARE(session.playingFile(), page.downloader.filePath());
    page.playerAt(session.playingFile(), 0.4);
    QCOMPARE(session.positionMs(), 1400.0);
}

void TestRecordedSession::seeksAndSteps_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<qreal>("ms");
    QTest::addColumn<QVariantList>("command");
    QTest::addColumn<QString>("startTime");
    QTest::addColumn<qreal>("pendingSeekMs");

    const QVariantList none;
    QTest::newRow("seek in the playing chunk")
        << "seek" << 1700.0 << QVariantList{"seek", "0.7", "absolute", "exact"} << "1000" << -1.0;
    QTest::newRow("seek into the next chunk") << "seek" << 2500.0 << none << "2000" << 2500.0;
    QTest::newRow("seek into a gap: the next recorded chunk") << "seek" << 5000.0 << none << "8000" << 8000.0;
    QTest::newRow("seek past the last chunk: nothing") << "seek" << 9500.0 << none << "1000" << -1.0;
    QTest::newRow("step on in the chunk")
        << "step" << 300.0 << QVariantList{"seek", "0.3", "relative", "exact"} << "1000" << -1.0;
    QTest::newRow("step back in the chunk")
        << "step" << -300.0 << QVariantList{"seek", "-0.3", "relative", "exact"} << "1000" << -1.0;
    QTest::newRow("step past its end") << "step" << 1000.0 << none << "2000" << 2400.0;
    // The day starts before the first chunk, which is the one playing: back to its start.
    QTest::newRow("step back before the first chunk")
        << "step" << -5000.0 << QVariantList{"seek", "0", "absolute", "exact"} << "1000" << -1.0;
}

void TestRecordedSession::seeksAndSteps()
{
    QFETCH(QString, action);
    QFETCH(qreal, ms);
    QFETCH(QVariantList, command);
    QFETCH(QString, startTime);
    QFETCH(qreal, pendingSeekMs);

    Page page(&m_repository, 1);
    playFirstChunk(page);
    RecordedSession& session = page.session;
    QSignalSpy commands(&session, &RecordedSession::playerCommand);
    if (action == QLatin1String("seek"))
        session.seekTo(ms);
    else
        session.step(ms);

    QCOMPARE(commands.count(), command.isEmpty() ? 0 : 1);
    if (!command.isEmpty())
        QCOMPARE(commands.first().first().toList(), command);
    QCOMPARE(session.startTime(), startTime);
    QCOMPARE(session.pendingSeekMs(), pendingSeekMs);
}

void TestRecordedSession::marksAndExportChoices()
{
    {
        Page idle(&m_repository, 1);
        QCOMPARE(idle.session.exportVideo(), RecordedSession::NothingToExport);
        idle.session.setMark();
        QCOMPARE(idle.session.markA(), -1.0);
    }

    Page page(&m_repository, 1);
    playFirstChunk(page);
    RecordedSession& session = page.session;
    QSignalSpy marks(&session, &RecordedSession::marksChanged);
    session.setMark();
    QCOMPARE(session.markA(), 1400.0);
    QCOMPARE(session.markB(), -1.0);
    page.playerAt(session.playingFile(), 0.8);
    session.setMark();
    QCOMPARE(session.markB(), 1800.0);
    // A third mark starts a new span.
    session.setMark();
    QCOMPARE(session.markA(), 1800.0);
    QCOMPARE(session.markB(), -1.0);
    QVERIFY(marks.count() >= 3);

    // Between the marks lies only a gap.
    session.setMarkA(5000);
    session.setMarkB(4000);
    QCOMPARE(session.exportVideo(), RecordedSession::NothingBetweenMarks);
    QVERIFY(!session.exporter()->busy());
    session.clearMarks();
    QCOMPARE(session.markA(), -1.0);
    QCOMPARE(session.markB(), -1.0);
}

QTEST_MAIN(TestRecordedSession)
#include "tst_recordedsession.moc"
