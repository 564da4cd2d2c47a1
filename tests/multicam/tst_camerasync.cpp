// SPDX-License-Identifier: MIT
// Cameras in step without video: each camera is a RecordedSession whose downloads and player are
// played by the test. The downloads end at once; the players move their position with the test's
// clock at the speed they were asked for (times a slowness of their own, the seam for a camera
// that cannot keep up), stand still when paused and land where a seek sends them. The clock's
// time source is the test's, and so are the ticks.
#include <cmath>
#include <memory>

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "camerasync.h"
#include "chunkspans.h"
#include "recordedsession.h"
#include "vantorclient.h"

namespace {

constexpr qreal FrameMs = 40;

// What the session needs of a Downloader: a file path, and the signals. A download ends at once,
// or fails when the gateway is said to be down.
class FakeDownloader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url MEMBER m_url)
    Q_PROPERTY(QString fileName MEMBER m_fileName)
    Q_PROPERTY(QString filePath MEMBER m_filePath)

public:
    bool gatewayDown = false;

public slots:
    void download()
    {
        const int ticket = ++m_ticket;
        QTimer::singleShot(0, this, [this, ticket] {
            if (ticket != m_ticket)
                return;
            if (gatewayDown) {
                emit failed(QStringLiteral("Connection refused"));
                return;
            }
            m_filePath = m_fileName + QLatin1Char(':') + m_url.section(QLatin1Char('/'), -1);
            emit finished();
        });
    }
    void cancel() { ++m_ticket; }

signals:
    void finished();
    void failed(const QString& message);
    void cancelled();
    void progress(qint64 received, qint64 total);

private:
    QString m_url;
    QString m_fileName;
    QString m_filePath;
    int m_ticket = 0;
};

// One camera: its session, downloads and a player that follows its commands.
struct Camera
{
    QString streamId;
    FakeDownloader downloader;
    FakeDownloader prefetcher;
    RecordedSession session;
    QString file;
    qreal seconds = 0;
    qreal duration = 0;
    bool paused = false;
    qreal speed = 1;
    // Below 1 the player cannot keep up with the speed asked of it.
    qreal slowness = 1;
    int seeks = 0;
    bool ended = false;
    // The chunk queued after the playing one, and how often the player went on into one (by
    // itself at its end, or asked to).
    QString queued;
    int playedOn = 0;

    Camera(VantorClient* client, const QString& stream) : streamId(stream)
    {
        session.setClient(client);
        session.setDownloader(&downloader);
        session.setPrefetcher(&prefetcher);
        // Nothing answers there: the POS query fails at once and the chunk plays without lines.
        session.setGatewayPort(9);
        // As a tile does, it opens a queued chunk ahead: asked to play it, it shows it at once.
        QObject::connect(&session, &RecordedSession::playRequested, [this](const QString& path) {
            if (!path.isEmpty() && path == queued)
                ++playedOn;
            queued.clear();
            open(path, 0);
        });
        QObject::connect(&session, &RecordedSession::appendRequested, [this](const QString& path) { queued = path; });
        QObject::connect(&session, &RecordedSession::queueDropped, [this] { queued.clear(); });
        QObject::connect(&session, &RecordedSession::playerCommand, [this](const QVariantList& args) {
            const QString name = args.value(0).toString();
            if (name == QLatin1String("seek") && args.value(2) == QLatin1String("absolute")) {
                // As libmpv does: exactly, the first frame at or after the point, give or take
                // 5 ms; else the key frame at or before it (one a second).
                const qreal point = args.value(1).toDouble() * 1000;
                const qreal frame = args.value(3) == QLatin1String("keyframes")
                                        ? std::floor(point / 1000)
                                        : std::ceil((point - 5) / FrameMs) * FrameMs / 1000;
                seconds = std::min(std::max<qreal>(0, frame), duration);
                ended = false;
                ++seeks;
            } else if (name == QLatin1String("set") && args.value(1) == QLatin1String("pause")) {
                paused = args.value(2) == QLatin1String("yes");
            } else if (name == QLatin1String("set") && args.value(1) == QLatin1String("speed")) {
                speed = args.value(2).toDouble();
            } else if (name == QLatin1String("stop")) {
                file.clear();
                queued.clear();
                duration = 0;
            }
            show();
        });
    }

    void open(const QString& path, qreal at)
    {
        file = path;
        seconds = at;
        const QString range = path.section(QLatin1Char(':'), 1);
        const qint64 start = range.section(QLatin1Char('-'), 1, 1).toLongLong();
        const qint64 end = range.section(QLatin1Char('-'), 2, 2).toLongLong();
        duration = path.isEmpty() ? 0 : qreal(end - start) / 1000;
        ended = false;
        show();
        // The player reports the file loaded once it has it, as libmpv does.
        if (!path.isEmpty())
            QTimer::singleShot(0, &session, [this, path] {
                if (file == path)
                    session.handleFileLoaded();
            });
    }

    // The player's time moves on by ms of the wall clock; at its chunk's end it goes on into the
    // queued one, else stops there.
    void run(qreal ms)
    {
        if (file.isEmpty() || paused)
            return;
        const qreal to = seconds + ms / 1000 * speed * slowness;
        if (to >= duration && !queued.isEmpty()) {
            ++playedOn;
            const QString next = queued;
            queued.clear();
            open(next, to - duration);
            return;
        }
        seconds = std::min(duration, to);
        show();
        if (seconds >= duration && !ended) {
            ended = true;
            session.handleFileEnded(QStringLiteral("eof"));
        }
    }

    // Its frames are FrameMs apart: the position it reports is the last frame's.
    void show()
    {
        session.setPlayerPath(file);
        session.setPlayerDuration(duration);
        session.setPlayerPosition(std::floor(seconds * 1000 / FrameMs) * FrameMs / 1000);
    }
};

QVariantMap chunk(const QString& stream, qlonglong start, qlonglong end)
{
    return {{QStringLiteral("streamId"), stream.toLongLong()},
            {QStringLiteral("start"), start},
            {QStringLiteral("end"), end},
            {QStringLiteral("size"), 100LL}};
}

} // namespace

class TestCameraSync : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aSeekHoldsUntilEveryCameraShowsTheMoment();
    void playingCamerasStayWithinTwoFrames_data();
    void playingCamerasStayWithinTwoFrames();
    void oneCameraCrossingAChunkHoldsNoOther();
    void aSeekIntoTheQueuedChunkTakesIt();
    void aCameraAheadIntoTheNextChunkStaysThere();
    void aCameraWithoutRecordingJoinsWhenItStarts();
    void aCameraWhoseGatewayIsDownHoldsNoOther();
    void outOfStepAndBack();
    void aCameraAsksTheClockToMove();
    void frameStepsMoveEveryCamera();
    void anExportTakesEveryCameraInStep();

private:
    Camera& add(const QString& stream, const QVariantList& chunks);
    // The test's wall clock moves on by ms in ticks; the players run and the sync follows.
    void run(qreal ms);
    // Until every download and answer of the moment is in.
    void settle();
    // The largest distance of a camera's picture from where it should be: lead ms ahead.
    qreal worstOffset(qreal lead = 0) const;

    VantorClient m_client;
    std::vector<std::unique_ptr<Camera>> m_cameras;
    std::unique_ptr<CameraSync> m_sync;
    qint64 m_now = 0;
    // Each camera's chunks start in the day the sync shows.
    qint64 m_day = 0;
};

void TestCameraSync::init()
{
    m_now = 1000;
    m_sync = std::make_unique<CameraSync>();
    m_sync->setTimeSource([this] { return m_now; }, false);
    m_day = qint64(m_sync->dayStart()) + 3600 * 1000;
}

void TestCameraSync::cleanup()
{
    m_sync.reset();
    m_cameras.clear();
}

Camera& TestCameraSync::add(const QString& stream, const QVariantList& chunks)
{
    m_cameras.push_back(std::make_unique<Camera>(&m_client, stream));
    Camera& camera = *m_cameras.back();
    camera.session.chooseStream(QStringLiteral("11"), stream);
    // The server's answers: the gateway, then the day's chunks.
    emit m_client.streamInfoReceived(QStringLiteral("11"), stream, QString(), QStringLiteral("127.0.0.1"));
    emit m_client.streamChunksReceived(chunks);
    m_sync->addCamera(&camera.session);
    return camera;
}

void TestCameraSync::settle()
{
    for (int round = 0; round < 5; ++round) {
        // Each camera asks for its gateway again with every chunk it fetches.
        for (const auto& camera : m_cameras)
            emit m_client.streamInfoReceived(QStringLiteral("11"), camera->streamId, QString(),
                                             QStringLiteral("127.0.0.1"));
        QTest::qWait(20);
        m_sync->tick();
    }
}

void TestCameraSync::run(qreal ms)
{
    for (qreal done = 0; done < ms; done += m_sync->tickMs()) {
        m_now += m_sync->tickMs();
        for (const auto& camera : m_cameras)
            camera->run(m_sync->tickMs());
        m_sync->tick();
    }
}

qreal TestCameraSync::worstOffset(qreal lead) const
{
    qreal worst = 0;
    for (const auto& camera : m_cameras)
        if (m_sync->inStep(&camera->session) && camera->session.positionMs() >= 0)
            worst = std::max(worst, std::abs(m_sync->offsetOf(&camera->session) - lead));
    return worst;
}

void TestCameraSync::aSeekHoldsUntilEveryCameraShowsTheMoment()
{
    add(QStringLiteral("21"), {chunk("21", m_day, m_day + 60000)});
    add(QStringLiteral("22"), {chunk("22", m_day + 1000, m_day + 30000), chunk("22", m_day + 30000, m_day + 60000)});
    add(QStringLiteral("23"), {chunk("23", m_day, m_day + 60000)});
    QSignalSpy holding(m_sync.get(), &CameraSync::holdingChanged);

    m_sync->seekTo(m_day + 31234);
    QVERIFY(m_sync->holding());
    // The clock stands still while the cameras fetch their chunks.
    m_now += 500;
    m_sync->tick();
    QCOMPARE(m_sync->positionMs(), m_day + 31234.0);
    settle();
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QVERIFY(holding.count() >= 2);
    for (const auto& camera : m_cameras) {
        QVERIFY2(camera->session.positionMs() >= 0, qPrintable(camera->streamId));
        QVERIFY2(std::abs(m_sync->offsetOf(&camera->session)) <= FrameMs,
                 qPrintable(
                     QStringLiteral("%1 is %2 ms off").arg(camera->streamId).arg(m_sync->offsetOf(&camera->session))));
        QVERIFY(!camera->paused);
    }
    QCOMPARE(m_cameras[1]->session.startTime(), QString::number(m_day + 30000));
}

void TestCameraSync::playingCamerasStayWithinTwoFrames_data()
{
    QTest::addColumn<qreal>("speed");
    QTest::addColumn<qreal>("slowness");
    QTest::addColumn<qreal>("bound");
    // The screen shows a player's frame this long after the player reported it.
    QTest::addColumn<int>("displayLatency");
    // ...and this much more per step of speed above 1x.
    QTest::addColumn<int>("latencyGrowth");

    QTest::newRow("1x") << 1.0 << 1.0 << 2 * FrameMs << 0 << 0;
    QTest::newRow("1x, one camera 8 % slow") << 1.0 << 0.92 << 2 * FrameMs << 0 << 0;
    QTest::newRow("1/4x") << 0.25 << 1.0 << 2 * FrameMs << 0 << 0;
    QTest::newRow("4x, one camera 8 % slow") << 4.0 << 0.92 << 2 * FrameMs * 4 << 0 << 0;
    // The players are kept ahead by the latency times the speed.
    QTest::newRow("2x, the screen 60 ms behind the players") << 2.0 << 1.0 << 2 * FrameMs << 60 << 0;
    QTest::newRow("4x, the screen farther behind the faster it plays") << 4.0 << 1.0 << 2 * FrameMs * 4 << 30 << 15;
    // Key frames only: within half a second.
    QTest::newRow("16x") << 16.0 << 1.0 << 500.0 + 16 * 40 << 0 << 0;
    // A camera that decodes no faster than 2x: the cameras go over to key frames.
    QTest::newRow("4x, one camera decodes at 2x") << 4.0 << 0.5 << 500.0 + 4 * 40 << 0 << 0;
}

void TestCameraSync::playingCamerasStayWithinTwoFrames()
{
    QFETCH(qreal, speed);
    QFETCH(qreal, slowness);
    QFETCH(qreal, bound);
    QFETCH(int, displayLatency);
    QFETCH(int, latencyGrowth);
    m_sync->setDisplayLatencyMs(displayLatency);
    m_sync->setDisplayLatencyGrowthMs(latencyGrowth);
    const qreal latency = displayLatency + latencyGrowth * std::max<qreal>(0, speed - 1);
    add(QStringLiteral("21"), {chunk("21", m_day, m_day + 600000)});
    add(QStringLiteral("22"), {chunk("22", m_day, m_day + 600000)}).slowness = slowness;
    m_sync->setSpeed(speed);
    m_sync->seekTo(m_day + 1000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);

    // Long enough for a slow camera to fall seconds behind without the sync.
    qreal worst = 0;
    for (int second = 0; second < 30; ++second) {
        run(1000);
        if (second >= 3)
            worst = std::max(worst, worstOffset(latency * speed));
    }
    QVERIFY2(worst <= bound, qPrintable(QStringLiteral("worst offset %1 ms").arg(worst)));
    QVERIFY(std::abs(m_sync->positionMs() - (m_day + 1000 + 30000 * speed)) < 100);
}

void TestCameraSync::oneCameraCrossingAChunkHoldsNoOther()
{
    Camera& split =
        add(QStringLiteral("21"), {chunk("21", m_day, m_day + 10000), chunk("21", m_day + 10000, m_day + 20000)});
    Camera& whole = add(QStringLiteral("22"), {chunk("22", m_day, m_day + 20000)});
    m_sync->seekTo(m_day + 8000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    run(1000);
    // The next chunk was fetched ahead while the first played.
    QVERIFY(split.session.nextReady());

    const int wholeSeeks = whole.seeks;
    const QString queued = split.queued;
    QVERIFY(!queued.isEmpty());
    QSignalSpy loads(&split.session, &RecordedSession::playRequested);
    run(1500);
    settle();
    run(1500);
    QCOMPARE(split.session.startTime(), QString::number(m_day + 10000));
    // Its player went on into the chunk it had opened ahead (at its end, or asked to at the
    // tick nearest the boundary); nothing else was loaded.
    QCOMPARE(split.playedOn, 1);
    QVERIFY(loads.count() <= 1);
    if (!loads.isEmpty())
        QCOMPARE(loads.at(0).at(0).toString(), queued);
    QVERIFY(!m_sync->holding());
    QCOMPARE(whole.seeks, wholeSeeks);
    QVERIFY(!whole.paused);
    QVERIFY2(worstOffset() <= 2 * FrameMs, qPrintable(QString::number(worstOffset())));
}

void TestCameraSync::aSeekIntoTheQueuedChunkTakesIt()
{
    Camera& camera =
        add(QStringLiteral("21"), {chunk("21", m_day, m_day + 10000), chunk("21", m_day + 10000, m_day + 20000),
                                   chunk("21", m_day + 20000, m_day + 30000)});
    m_sync->seekTo(m_day + 8000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    run(500);
    const QString queued = camera.queued;
    QVERIFY(!queued.isEmpty());

    // The tile has opened the queued chunk ahead: it is asked to show that very file, not to drop
    // it and load it again.
    QSignalSpy dropped(&camera.session, &RecordedSession::queueDropped);
    QSignalSpy loads(&camera.session, &RecordedSession::playRequested);
    m_sync->seekTo(m_day + 12000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QCOMPARE(dropped.count(), 0);
    QCOMPARE(loads.count(), 1);
    QCOMPARE(loads.at(0).at(0).toString(), queued);
    QCOMPARE(camera.session.startTime(), QString::number(m_day + 10000));

    // Its own next chunk is queued in turn; a move elsewhere drops it.
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !camera.queued.isEmpty()), 5000);
    m_sync->seekTo(m_day + 2000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(camera.session.startTime(), QString::number(m_day));
}

void TestCameraSync::aCameraAheadIntoTheNextChunkStaysThere()
{
    Camera& camera =
        add(QStringLiteral("21"), {chunk("21", m_day, m_day + 10000), chunk("21", m_day + 10000, m_day + 20000)});
    m_sync->seekTo(m_day + 9000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !camera.queued.isEmpty()), 5000);
    run(900);

    // Its player goes on into the next chunk a little before the clock leaves this one.
    QSignalSpy loads(&camera.session, &RecordedSession::playRequested);
    camera.run(150);
    QCOMPARE(camera.playedOn, 1);
    m_sync->tick();
    QCOMPARE(camera.session.startTime(), QString::number(m_day + 10000));
    // Once it has reported the chunk loaded it is slowed until the clock is with it again.
    settle();
    run(1000);
    settle();
    QCOMPARE(loads.count(), 0);
    QVERIFY2(worstOffset() <= 2 * FrameMs, qPrintable(QString::number(worstOffset())));
}

void TestCameraSync::aCameraWithoutRecordingJoinsWhenItStarts()
{
    add(QStringLiteral("21"), {chunk("21", m_day, m_day + 20000)});
    Camera& late = add(QStringLiteral("22"), {chunk("22", m_day + 5000, m_day + 20000)});
    QSignalSpy noRecording(&late.session, &RecordedSession::noRecordingChanged);
    m_sync->seekTo(m_day + 2000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QVERIFY(late.session.noRecording());
    QVERIFY(late.file.isEmpty());
    // Its recording is fetched ahead, so that it joins at once.
    QTRY_VERIFY_WITH_TIMEOUT((settle(), late.session.nextReady()), 5000);

    run(3200);
    QVERIFY(!late.session.noRecording());
    QCOMPARE(late.session.startTime(), QString::number(m_day + 5000));
    run(1000);
    QVERIFY2(worstOffset() <= 2 * FrameMs, qPrintable(QString::number(worstOffset())));
    QCOMPARE(noRecording.count(), 2);
}

void TestCameraSync::aCameraWhoseGatewayIsDownHoldsNoOther()
{
    Camera& good = add(QStringLiteral("21"), {chunk("21", m_day, m_day + 20000)});
    Camera& down = add(QStringLiteral("22"), {chunk("22", m_day, m_day + 20000)});
    down.downloader.gatewayDown = true;
    m_sync->seekTo(m_day + 1000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QVERIFY(!down.session.downloadError().isEmpty());
    run(2000);
    QVERIFY(!good.paused);
    QVERIFY(std::abs(m_sync->offsetOf(&good.session)) <= 2 * FrameMs);
}

void TestCameraSync::outOfStepAndBack()
{
    Camera& first = add(QStringLiteral("21"), {chunk("21", m_day, m_day + 60000)});
    Camera& own = add(QStringLiteral("22"), {chunk("22", m_day, m_day + 60000)});
    m_sync->seekTo(m_day + 1000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);

    QSignalSpy changes(m_sync.get(), &CameraSync::camerasChanged);
    m_sync->setInStep(&own.session, false);
    QVERIFY(!own.session.followsClock());
    QCOMPARE(changes.count(), 1);
    // On its own, its seeks are its own and the clock lets it be.
    own.session.seekTo(m_day + 40000);
    run(2000);
    QCOMPARE(m_sync->offsetOf(&own.session) > 30000, true);
    QVERIFY(std::abs(m_sync->offsetOf(&first.session)) <= 2 * FrameMs);

    m_sync->setInStep(&own.session, true);
    QVERIFY(own.session.followsClock());
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    run(1000);
    QVERIFY2(worstOffset() <= 2 * FrameMs, qPrintable(QString::number(worstOffset())));
}

void TestCameraSync::aCameraAsksTheClockToMove()
{
    Camera& first = add(QStringLiteral("21"), {chunk("21", m_day, m_day + 60000)});
    Camera& second = add(QStringLiteral("22"), {chunk("22", m_day, m_day + 60000)});
    m_sync->seekTo(m_day + 1000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);

    // A POS search result or a chunk of the list chosen on one camera moves them all.
    second.session.chooseChunk(m_day, m_day + 60000, m_day + 42000);
    QCOMPARE(m_sync->positionMs(), m_day + 42000.0);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QVERIFY(std::abs(first.session.positionMs() - (m_day + 42000)) <= FrameMs);
    QVERIFY(std::abs(second.session.positionMs() - (m_day + 42000)) <= FrameMs);
}

void TestCameraSync::frameStepsMoveEveryCamera()
{
    add(QStringLiteral("21"), {chunk("21", m_day, m_day + 60000)});
    add(QStringLiteral("22"), {chunk("22", m_day, m_day + 60000)});
    m_sync->seekTo(m_day + 1000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    run(500);

    const qreal before = m_sync->positionMs();
    m_sync->frameStep(true);
    QVERIFY(m_sync->paused());
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    QCOMPARE(m_sync->positionMs(), before + FrameMs);
    for (const auto& camera : m_cameras) {
        QVERIFY(camera->paused);
        QVERIFY2(std::abs(m_sync->offsetOf(&camera->session)) <= FrameMs, qPrintable(camera->streamId));
    }
    m_sync->frameStep(false);
    QCOMPARE(m_sync->positionMs(), before);
}

void TestCameraSync::anExportTakesEveryCameraInStep()
{
    add(QStringLiteral("21"), {chunk("21", m_day, m_day + 10000), chunk("21", m_day + 10000, m_day + 20000)});
    add(QStringLiteral("22"), {chunk("22", m_day + 15000, m_day + 20000)});
    Camera& own = add(QStringLiteral("23"), {chunk("23", m_day, m_day + 20000)});
    m_sync->setInStep(&own.session, false);
    m_sync->seekTo(m_day + 5000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);

    // Without marks: the chunk each camera plays, none for the one without recording.
    QVariantList cameras = m_sync->exportCameras();
    QCOMPARE(cameras.size(), 2);
    QCOMPARE(cameras.at(0).toMap().value(QStringLiteral("urls")).toStringList().size(), 1);
    QCOMPARE(cameras.at(1).toMap().value(QStringLiteral("urls")).toStringList().size(), 0);

    // Marks are every camera's: the chunks that reach into the span.
    m_sync->setMark();
    m_sync->seekTo(m_day + 16000);
    QTRY_VERIFY_WITH_TIMEOUT((settle(), !m_sync->holding()), 5000);
    m_sync->setMark();
    QCOMPARE(m_cameras[0]->session.markB(), m_day + 16000.0);
    QCOMPARE(m_sync->exportSpan(), (QVariantList{m_day + 5000.0, m_day + 16000.0}));
    cameras = m_sync->exportCameras();
    const QStringList first = cameras.at(0).toMap().value(QStringLiteral("urls")).toStringList();
    QCOMPARE(first.size(), 2);
    QVERIFY(first.at(1).endsWith(QStringLiteral("/21-%1-%2").arg(m_day + 10000).arg(m_day + 20000)));
    QCOMPARE(cameras.at(1).toMap().value(QStringLiteral("urls")).toStringList().size(), 1);
    QCOMPARE(cameras.at(1).toMap().value(QStringLiteral("streamId")).toString(), QStringLiteral("22"));
}

QTEST_GUILESS_MAIN(TestCameraSync)
#include "tst_camerasync.moc"
