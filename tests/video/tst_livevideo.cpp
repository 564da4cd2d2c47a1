// SPDX-License-Identifier: MIT
// The parts of live video that are plain arithmetic or plain Qt: the lag behind the live edge,
// the pacing of window frames, and the choice of how video is drawn.
#include <QQuickItem>
#include <QSignalSpy>
#include <QtTest>

#include "decodeloadpolicy.h"
#include "framepacer.h"
#include "hwdecwatch.h"
#include "livecatchup.h"
#include "livedecodesettings.h"
#include "liveedgepolicy.h"
#include "livelagestimator.h"
#include "mpvobject.h"
#include "openinggate.h"
#include "videorendermode.h"

using LagSamples = QVector<QPair<int, double>>;
// Frames 40 ms apart, 25 a second.
constexpr qint64 kFrameMs = 40;

// A stretch of a live tile's figures: how long, its lag and the media waiting beyond the picture.
struct LoadStretch
{
    int ms;
    double lag;
    double queued;
};
using LoadStretches = QVector<LoadStretch>;
// (ms, level): when the policy changed its level, and to what.
using LevelChanges = QVector<QPair<int, int>>;

// A look at a tile for the hardware decoder watch.
struct HwdecLook
{
    int ms;
    bool hardware;
    bool playing;
    int frames;
    double demuxedUpTo;
};
using HwdecLooks = QVector<HwdecLook>;
using Environment = QVector<QPair<QString, QString>>;

Q_DECLARE_METATYPE(LoadStretches)
Q_DECLARE_METATYPE(LevelChanges)
Q_DECLARE_METATYPE(HwdecLooks)
Q_DECLARE_METATYPE(Environment)

namespace {

// Frames of a 25 fps camera: frame i sent at i * 40 ms, shown `delays[i]` ms later.
LiveLagEstimator playFrames(const QVector<int>& delays, qint64 startMs = 100000)
{
    LiveLagEstimator estimator;
    for (int i = 0; i < delays.size(); ++i)
        estimator.frameShown(startMs + i * 40 + delays[i], i * 0.04);
    return estimator;
}

} // namespace

class TestLiveVideo : public QObject
{
    Q_OBJECT

private slots:
    void lagFromDelays_data();
    void lagFromDelays();
    void frozenPictureGrowsOlder();
    void newStreamStartsAnew_data();
    void newStreamStartsAnew();
    void driftAllowanceIsSlow();
    void nothingBeforeTheFirstFrame();

    void catchUpSpeeds_data();
    void catchUpSpeeds();
    void catchUpSlowsAClockAheadOfTheStream();
    void skipPolicy_data();
    void skipPolicy();
    void skipPolicyWithTheBacklogHeld();
    void skipWithinTheBuffer_data();
    void skipWithinTheBuffer();

    void decodeLoadSteps_data();
    void decodeLoadSteps();
    void decodeLoadAcrossLoads();
    void decodeLoadStepsOverDeblockingLeftOutAnyway();
    void hardwareDecoderWatch_data();
    void hardwareDecoderWatch();
    void decodeSettings_data();
    void decodeSettings();
    void decoderThreads_data();
    void decoderThreads();
    void openingGateTakesTurns();

    void pacerJoinsRequestsIntoOneFrame();
    void pacerKeepsItsInterval();
    void pacerFollowsTheFastestVideo_data();
    void pacerFollowsTheFastestVideo();
    void pacerSkipsItemsThatWent();
    void pacerOffUpdatesAtOnce();

    void softwareRasterizers_data();
    void softwareRasterizers();
    void modeNames_data();
    void modeNames();

    void snapshotFileNames_data();
    void snapshotFileNames();
};

void TestLiveVideo::lagFromDelays_data()
{
    QTest::addColumn<QVector<int>>("delays");
    QTest::addColumn<double>("lag");

    QTest::newRow("steady") << QVector<int>{100, 100, 100, 100} << 0.0;
    // Jitter: the soonest frame marks the edge, the last one is behind it by its extra delay.
    QTest::newRow("jitter") << QVector<int>{120, 100, 130, 150} << 0.05;
    // A player that shows each frame 10 ms later than the one before falls behind.
    QTest::newRow("falling behind") << QVector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90} << 0.09;
    // A player that catches up (drops frames) comes back to the edge.
    QTest::newRow("caught up") << QVector<int>{0, 400, 800, 300, 0} << 0.0;
}

void TestLiveVideo::lagFromDelays()
{
    QFETCH(QVector<int>, delays);
    QFETCH(double, lag);
    const LiveLagEstimator estimator = playFrames(delays);
    const qint64 lastShown = 100000 + (delays.size() - 1) * 40 + delays.last();
    QVERIFY2(qAbs(estimator.lagSeconds(lastShown) - lag) < 0.002,
             qPrintable(QStringLiteral("lag %1, expected %2").arg(estimator.lagSeconds(lastShown)).arg(lag)));
}

void TestLiveVideo::frozenPictureGrowsOlder()
{
    const LiveLagEstimator estimator = playFrames({50, 50, 50});
    const qint64 lastShown = 100000 + 2 * 40 + 50;
    QCOMPARE(estimator.msSinceFrame(lastShown + 1500), qint64(1500));
    QVERIFY2(qAbs(estimator.lagSeconds(lastShown + 1500) - 1.5) < 0.002, "a picture that stands still grows older");
}

void TestLiveVideo::newStreamStartsAnew_data()
{
    QTest::addColumn<double>("nextPts");
    QTest::addColumn<bool>("startsAnew");

    QTest::newRow("next frame") << 0.12 << false;
    QTest::newRow("small step back (reordering)") << 0.0 << false;
    QTest::newRow("loop to the start") << -10.0 << true;
    QTest::newRow("seek far ahead") << 60.0 << true;
}

void TestLiveVideo::newStreamStartsAnew()
{
    QFETCH(double, nextPts);
    QFETCH(bool, startsAnew);
    // Three frames shown at the edge, then one shown 2 s late with the media time given.
    LiveLagEstimator estimator = playFrames({0, 0, 0});
    const qint64 shown = 100000 + 2 * 40 + 2000;
    estimator.frameShown(shown, nextPts);
    if (startsAnew)
        QCOMPARE(estimator.lagSeconds(shown), 0.0);
    else
        QVERIFY2(estimator.lagSeconds(shown) > 1.5, "a late frame of the same stream shows as lag");
}

void TestLiveVideo::driftAllowanceIsSlow()
{
    // A picture that stays 2 s behind for 100 s may read a little less, never much less.
    LiveLagEstimator estimator;
    estimator.frameShown(0, 0.0);
    for (int second = 1; second <= 100; ++second)
        estimator.frameShown(second * 1000 + 2000, second);
    const double lag = estimator.lagSeconds(102000);
    QVERIFY2(lag > 2.0 - 102 * LiveLagEstimator::kDriftAllowance - 0.001 && lag <= 2.0,
             qPrintable(QStringLiteral("lag %1").arg(lag)));
}

void TestLiveVideo::nothingBeforeTheFirstFrame()
{
    LiveLagEstimator estimator;
    QVERIFY(!estimator.hasFrame());
    QCOMPARE(estimator.lagSeconds(5000), 0.0);
    QCOMPARE(estimator.msSinceFrame(5000), qint64(-1));
    estimator.frameShown(1000, qQNaN());
    QVERIFY2(!estimator.hasFrame(), "a frame without a media time is no reference");
    estimator.frameShown(1000, 3.0);
    estimator.reset();
    QCOMPARE(estimator.msSinceFrame(5000), qint64(-1));
}

void TestLiveVideo::catchUpSpeeds_data()
{
    // Media held ahead of the picture, frame after frame, and the speed for each.
    QTest::addColumn<QVector<double>>("queued");
    QTest::addColumn<QVector<double>>("speeds");

    QTest::newRow("at the edge") << QVector<double>{0.04, 0.08, 0.12, 0.04} << QVector<double>{1, 1, 1, 1};
    QTest::newRow("start-up backlog worked off")
        << QVector<double>{0.46, 0.38, 0.27, 0.12, 0.08, 0.06, 0.10} << QVector<double>{1.5, 1.4, 1.3, 1.1, 1.1, 1, 1};
    QTest::newRow("a long backlog is capped") << QVector<double>{3.0} << QVector<double>{2.0};
    QTest::newRow("not a number") << QVector<double>{0.5, qQNaN(), 0.1} << QVector<double>{1.5, 1, 1};

    // A decoder that keeps two frames for itself: once catching up gains nothing for a while it
    // stops (faster play would only have the player drop frames as late), and those frames no
    // longer count as a backlog; a real one above them is worked off again.
    const int stopsAt = 1 + int(LiveCatchUp::kNoProgressMs / kFrameMs);
    QVector<double> own{0.5};
    QVector<double> ownSpeeds{1.5};
    for (int i = 1; i <= stopsAt; ++i) {
        own.append(0.09);
        ownSpeeds.append(i < stopsAt ? 1.1 : 1.0);
    }
    own << 0.09 << 0.2 << 0.3 << 0.12 << 0.05 << 0.25;
    ownSpeeds << 1.0 << 1.0 << 1.2 << 1.0 << 1.0 << 1.2;
    QTest::newRow("a decoder's own frames are no backlog") << own << ownSpeeds;
    // What is held while the decoder cannot keep up at all is a backlog, progress or not.
    QVector<double> behind;
    QVector<double> behindSpeeds;
    for (int i = 0; i <= 2 * stopsAt; ++i) {
        behind.append(0.6);
        behindSpeeds.append(1.6);
    }
    QTest::newRow("a backlog that does not shrink") << behind << behindSpeeds;
}

void TestLiveVideo::catchUpSpeeds()
{
    QFETCH(QVector<double>, queued);
    QFETCH(QVector<double>, speeds);
    LiveCatchUp catchUp;
    QVector<double> got;
    for (int i = 0; i < queued.size(); ++i)
        got.append(catchUp.speedFor(1000 + i * kFrameMs, queued[i]));
    QCOMPARE(got.size(), speeds.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(qAbs(got[i] - speeds[i]) < 1e-9,
                 qPrintable(QStringLiteral("frame %1: speed %2, expected %3").arg(i).arg(got[i]).arg(speeds[i])));
}

void TestLiveVideo::catchUpSlowsAClockAheadOfTheStream()
{
    // A frame shown every 120 ms (one of each burst of three), two dropped as late in between,
    // nothing held: the clock is ahead, and the picture plays slower until the drops stop.
    LiveCatchUp catchUp;
    quint64 drops = 0;
    qint64 t = 1000;
    QCOMPARE(catchUp.speedFor(t, 0.04, drops), 1.0);
    int slowAt = -1;
    for (int i = 1; i <= 5 && slowAt < 0; ++i) {
        drops += 2;
        t += 120;
        if (catchUp.speedFor(t, 0.04, drops) == LiveCatchUp::kSlowSpeed)
            slowAt = i;
    }
    QCOMPARE(slowAt, LiveCatchUp::kLateDropsToSlow);
    QVERIFY(catchUp.slowingDown());
    // Every frame shown again: back to 1× once no frame was dropped for a while.
    t += 40;
    QCOMPARE(catchUp.speedFor(t, 0.04, drops), LiveCatchUp::kSlowSpeed);
    t += LiveCatchUp::kSlowQuietMs;
    QCOMPARE(catchUp.speedFor(t, 0.04, drops), 1.0);
    QVERIFY(!catchUp.slowingDown());

    // Drops that come back soon after were not a clock ahead: not slowed again before twice the
    // cooldown is over...
    for (int i = 0; i < 5; ++i)
        QCOMPARE(catchUp.speedFor(t += 100, 0.04, ++drops), 1.0);
    t += LiveCatchUp::kSlowCooldownMs;
    for (int i = 0; i < 5; ++i)
        QCOMPARE(catchUp.speedFor(t += 100, 0.04, ++drops), 1.0);
    // ...and drops that slowing down does not end: at most kMaxSlowMs, then a pause again.
    t += LiveCatchUp::kSlowCooldownMs;
    for (int i = 0; i < LiveCatchUp::kLateDropsToSlow; ++i)
        catchUp.speedFor(t += 100, 0.04, ++drops);
    QVERIFY(catchUp.slowingDown());
    const qint64 slowFrom = t;
    while (t - slowFrom < LiveCatchUp::kMaxSlowMs)
        catchUp.speedFor(t += 100, 0.04, ++drops);
    QVERIFY(!catchUp.slowingDown());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(catchUp.speedFor(t += 100, 0.04, ++drops), 1.0);

    // A slower moment leaves media held, which the catch-up may then work off: the slower moment
    // counts as ended, and drops once caught up wait as after any other (a machine that draws
    // late had the two take turns, a slower moment every second or two).
    LiveCatchUp turns;
    quint64 turnDrops = 0;
    t = 1000;
    for (int i = 0; i < LiveCatchUp::kLateDropsToSlow; ++i)
        turns.speedFor(t += 100, 0.04, turnDrops += 2);
    QVERIFY(turns.slowingDown());
    QVERIFY(turns.speedFor(t += 100, 0.4, turnDrops += 2) > 1.0);
    QVERIFY(!turns.slowingDown());
    QCOMPARE(turns.speedFor(t += 100, 0.04, turnDrops), 1.0);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(turns.speedFor(t += 100, 0.04, turnDrops += 2), 1.0);

    // Frames dropped while catching up on a backlog are its purpose, not a clock ahead; frames
    // dropped behind the live edge come late from a busy machine, and slower would add lag.
    LiveCatchUp behind;
    LiveCatchUp busy;
    quint64 behindDrops = 0;
    for (int i = 0; i < 10; ++i) {
        QVERIFY(behind.speedFor(1000 + i * 100, 0.6, behindDrops += 2) > 1.0);
        QCOMPARE(busy.speedFor(1000 + i * 100, 0.04, behindDrops, 0.4), 1.0);
    }
}

void TestLiveVideo::skipPolicy_data()
{
    // Samples of (ms, lag in s), one a frame or so; the times at which the policy says "skip".
    QTest::addColumn<LagSamples>("samples");
    QTest::addColumn<QVector<int>>("skipsAt");

    LagSamples steady;
    for (int t = 0; t <= 3000; t += 40)
        steady.append({t, 0.3});
    QTest::newRow("at the edge") << steady << QVector<int>{};

    QTest::newRow("behind for long enough")
        << LagSamples{{0, 1.5}, {400, 1.5}, {799, 1.6}, {800, 1.6}, {840, 1.6}} << QVector<int>{800};
    QTest::newRow("caught up by itself") << LagSamples{{0, 1.5}, {500, 1.2}, {600, 0.4}, {1000, 1.3}, {1700, 1.3}}
                                         << QVector<int>{};
    QTest::newRow("just at the bound") << LagSamples{{0, 1.0}, {2000, 1.0}} << QVector<int>{};
    QTest::newRow("not a number") << LagSamples{{0, qQNaN()}, {2000, qQNaN()}} << QVector<int>{};
    // A machine that cannot keep up at all: one skip, then none for ten seconds.
    LagSamples hopeless;
    for (int t = 0; t <= 12000; t += 100)
        hopeless.append({t, 3.0});
    QTest::newRow("at most one skip in ten seconds") << hopeless << QVector<int>{800, 10800};
}

void TestLiveVideo::skipPolicy()
{
    QFETCH(LagSamples, samples);
    QFETCH(QVector<int>, skipsAt);
    LiveEdgePolicy policy;
    QVector<int> skipped;
    for (const auto& sample : samples) {
        if (policy.check(1000000 + sample.first, sample.second))
            skipped.append(sample.first);
    }
    QCOMPARE(skipped, skipsAt);
}

void TestLiveVideo::skipPolicyWithTheBacklogHeld()
{
    // Behind by media the player holds (a skip within it is cheap): sooner than for a reload.
    LiveEdgePolicy held;
    const qint64 t = 1000000;
    QVERIFY(!held.check(t, 3.0, 2.9));
    QVERIFY(!held.check(t + LiveEdgePolicy::kHeldSustainMs - 1, 3.0, 2.9));
    QVERIFY(held.check(t + LiveEdgePolicy::kHeldSustainMs, 3.0, 2.9));
    // Behind, nothing held: the slow net's lag waits the full time.
    LiveEdgePolicy slowNet;
    QVERIFY(!slowNet.check(t, 3.0, 0.1));
    QVERIFY(!slowNet.check(t + LiveEdgePolicy::kHeldSustainMs, 3.0, 0.1));
    QVERIFY(slowNet.check(t + LiveEdgePolicy::kSustainMs, 3.0, 0.1));

    // A skip put off for want of a key frame is asked for again soon, not ten seconds later...
    const qint64 skippedAt = t + LiveEdgePolicy::kHeldSustainMs;
    held.deferred(skippedAt);
    QVERIFY(!held.check(skippedAt + LiveEdgePolicy::kRetryMs - 1, 3.0, 2.9));
    QVERIFY(held.check(skippedAt + LiveEdgePolicy::kRetryMs, 3.0, 2.9));
    // ...and once made, the next waits the whole interval.
    QVERIFY(!held.check(skippedAt + LiveEdgePolicy::kRetryMs + 1000, 3.0, 2.9));
    QVERIFY(held.check(skippedAt + LiveEdgePolicy::kRetryMs + LiveEdgePolicy::kMinSkipIntervalMs, 3.0, 2.9));
}

void TestLiveVideo::skipWithinTheBuffer_data()
{
    QTest::addColumn<double>("shown");
    QTest::addColumn<double>("newestKeyFrame");
    QTest::addColumn<double>("bufferEnd");
    QTest::addColumn<int>("skip");
    const int within = int(LiveEdgePolicy::Skip::WithinBuffer);
    const int wait = int(LiveEdgePolicy::Skip::Wait);
    const int reload = int(LiveEdgePolicy::Skip::Reload);

    QTest::newRow("a key frame well ahead") << 100.0 << 102.0 << 102.9 << within;
    QTest::newRow("the buffer ends at that key frame") << 100.0 << 101.0 << 101.0 << within;
    QTest::newRow("the newest key frame is behind the picture") << 100.0 << 99.0 << 102.0 << wait;
    QTest::newRow("the key frame only just ahead") << 100.0 << 100.4 << 101.5 << wait;
    QTest::newRow("nothing held: the lag is the network's") << 100.0 << 99.0 << 100.2 << reload;
    QTest::newRow("ranges not known, backlog held") << 100.0 << qQNaN() << 102.0 << wait;
    QTest::newRow("nothing known") << 100.0 << qQNaN() << qQNaN() << reload;
    // A state that contradicts itself is not trusted with a seek.
    QTest::newRow("key frame beyond the buffer's end") << 100.0 << 103.0 << 102.0 << wait;
}

void TestLiveVideo::skipWithinTheBuffer()
{
    QFETCH(double, shown);
    QFETCH(double, newestKeyFrame);
    QFETCH(double, bufferEnd);
    QFETCH(int, skip);
    QCOMPARE(int(LiveEdgePolicy::skipFor(shown, newestKeyFrame, bufferEnd)), skip);
    if (skip == int(LiveEdgePolicy::Skip::WithinBuffer)) {
        // The seek goes forward and stays within what the player can seek to (up to the range's
        // end: a target beyond it fails).
        const double amount = LiveEdgePolicy::keyFrameSkipAmount(shown, newestKeyFrame);
        QVERIFY(amount > 0.0);
        QVERIFY(shown + amount < newestKeyFrame);
    }
}

void TestLiveVideo::pacerJoinsRequestsIntoOneFrame()
{
    FramePacer pacer;
    QQuickItem first;
    QQuickItem second;
    QSignalSpy flushed(&pacer, &FramePacer::flushed);
    pacer.requestUpdate(&first, 25);
    pacer.requestUpdate(&second, 25);
    pacer.requestUpdate(&first, 25);
    QVERIFY(flushed.wait(1000));
    QCOMPARE(flushed.count(), 1);
    QCOMPARE(flushed.first().first().toInt(), 2);
}

void TestLiveVideo::pacerKeepsItsInterval()
{
    FramePacer pacer;
    QQuickItem item;
    QSignalSpy flushed(&pacer, &FramePacer::flushed);
    pacer.requestUpdate(&item, 25);
    QVERIFY(flushed.wait(1000));
    // Right after a window frame, the next request waits for the rest of the interval.
    QElapsedTimer waited;
    waited.start();
    pacer.requestUpdate(&item, 25);
    QVERIFY(flushed.wait(1000));
    QVERIFY2(waited.elapsed() >= pacer.intervalMs() - 2,
             qPrintable(QStringLiteral("%1 ms of %2").arg(waited.elapsed()).arg(pacer.intervalMs())));
}

void TestLiveVideo::pacerFollowsTheFastestVideo_data()
{
    QTest::addColumn<QVector<double>>("rates");
    QTest::addColumn<int>("interval");

    QTest::newRow("unknown rate: 25 fps") << QVector<double>{0} << 32;
    QTest::newRow("25 fps") << QVector<double>{25} << 32;
    QTest::newRow("fastest of 12.5 and 50") << QVector<double>{12.5, 50} << 16;
    QTest::newRow("slow camera does not hold back") << QVector<double>{5} << 40;
    QTest::newRow("absurd rate ignored") << QVector<double>{1e9} << 32;
    QTest::newRow("not a number ignored") << QVector<double>{qQNaN()} << 32;
}

void TestLiveVideo::pacerFollowsTheFastestVideo()
{
    QFETCH(QVector<double>, rates);
    QFETCH(int, interval);
    FramePacer pacer;
    QQuickItem item;
    for (double rate : rates)
        pacer.requestUpdate(&item, rate);
    QCOMPARE(pacer.intervalMs(), interval);
}

void TestLiveVideo::pacerSkipsItemsThatWent()
{
    FramePacer pacer;
    QQuickItem stays;
    auto* goes = new QQuickItem();
    QSignalSpy flushed(&pacer, &FramePacer::flushed);
    pacer.requestUpdate(&stays, 25);
    pacer.requestUpdate(goes, 25);
    delete goes;
    QVERIFY(flushed.wait(1000));
    QCOMPARE(flushed.first().first().toInt(), 1);
}

void TestLiveVideo::pacerOffUpdatesAtOnce()
{
    FramePacer pacer;
    pacer.setEnabled(false);
    QQuickItem item;
    QSignalSpy flushed(&pacer, &FramePacer::flushed);
    pacer.requestUpdate(&item, 25);
    // Long enough for a paced window frame (at most 40 ms apart) to have come.
    const int quietMs = 100;
    QVERIFY2(!flushed.wait(quietMs), "nothing is gathered");
    QCOMPARE(pacer.flushes(), quint64(0));
}

void TestLiveVideo::softwareRasterizers_data()
{
    QTest::addColumn<QString>("renderer");
    QTest::addColumn<bool>("software");

    QTest::newRow("llvmpipe") << "llvmpipe (LLVM 15.0.6, 256 bits)" << true;
    QTest::newRow("softpipe") << "softpipe" << true;
    QTest::newRow("old swrast") << "Software Rasterizer" << true;
    QTest::newRow("intel") << "Mesa Intel(R) UHD Graphics 620 (KBL GT2)" << false;
    QTest::newRow("amd") << "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)" << false;
    QTest::newRow("nvidia") << "NVIDIA GeForce GTX 1050/PCIe/SSE2" << false;
    QTest::newRow("swr") << "SWR (LLVM 15.0.6, 256 bits)" << true;
    QTest::newRow("swr inside a word") << "Mesa SWRX Imaginary GPU" << false;
}

void TestLiveVideo::softwareRasterizers()
{
    QFETCH(QString, renderer);
    QFETCH(bool, software);
    QCOMPARE(VideoRenderMode::isSoftwareRasterizer(renderer), software);
}

void TestLiveVideo::modeNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<int>("mode");

    QTest::newRow("opengl") << "opengl" << true << false << int(VideoRenderMode::OpenGL);
    QTest::newRow("GL, spaced") << " GL " << true << false << int(VideoRenderMode::OpenGL);
    QTest::newRow("software") << "software" << true << false << int(VideoRenderMode::Software);
    QTest::newRow("sw") << "sw" << true << false << int(VideoRenderMode::Software);
    QTest::newRow("auto") << "auto" << true << true << -1;
    QTest::newRow("unknown") << "vulkan" << false << false << -1;
    QTest::newRow("empty") << "" << false << false << -1;
}

void TestLiveVideo::modeNames()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(bool, automatic);
    QFETCH(int, mode);
    VideoRenderMode::Mode parsed = VideoRenderMode::OpenGL;
    bool parsedAutomatic = false;
    QCOMPARE(VideoRenderMode::parseMode(text, &parsed, &parsedAutomatic), valid);
    QCOMPARE(parsedAutomatic, automatic);
    if (mode >= 0)
        QCOMPARE(int(parsed), mode);
}

void TestLiveVideo::snapshotFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file");
    const QString at = QStringLiteral(" 2026-12-08 16-05-09-042.png");
    QTest::newRow("plain") << "Entrance"
                           << "Entrance" + at;
    QTest::newRow("any script") << QStringLiteral("Câmera Überweg 3") << QStringLiteral("Câmera Überweg 3") + at;
    QTest::newRow("separators") << "Cam/1: Till"
                                << "Cam_1_ Till" + at;
    QTest::newRow("no way out of the folder") << "../../etc/passwd"
                                              << "_etc_passwd" + at;
    QTest::newRow("no hidden file") << ".profile"
                                    << "_profile" + at;
    QTest::newRow("spaces run together") << "  a    b  "
                                         << "a b" + at;
    QTest::newRow("control characters") << QStringLiteral("a\nb\tc") << "a_b_c" + at;
    QTest::newRow("empty") << ""
                           << "camera" + at;
    QTest::newRow("nothing usable") << "///"
                                    << "camera" + at;
    QTest::newRow("long") << QString(100, QLatin1Char('x')) << QString(64, QLatin1Char('x')) + at;
}

void TestLiveVideo::snapshotFileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, file);
    const QDateTime when(QDate(2026, 12, 8), QTime(16, 5, 9, 42));
    QCOMPARE(MpvObject::snapshotFileName(name, when), file);
}

QTEST_MAIN(TestLiveVideo)

void TestLiveVideo::decodeLoadSteps_data()
{
    QTest::addColumn<LoadStretches>("stretches");
    QTest::addColumn<int>("highest");
    QTest::addColumn<LevelChanges>("changes");
    QTest::addColumn<bool>("cannotKeepUp");

    const int all = DecodeLoadPolicy::KeyFramesOnly;
    QTest::newRow("keeps up") << LoadStretches{{60000, 0.1, 0.1}} << all << LevelChanges{} << false;
    // A step a second after the picture fell behind, then one each time it settled and was still
    // behind: at key frames only the stream cannot keep up.
    QTest::newRow("decoder too slow") << LoadStretches{{10000, 0.8, 1.0}} << all
                                      << LevelChanges{{1000, 1}, {4000, 2}, {7000, 3}} << true;
    QTest::newRow("media waiting not known")
        << LoadStretches{{5000, 0.8, qQNaN()}} << all << LevelChanges{{1000, 1}, {4000, 2}} << false;
    // Late with nothing waiting: the network or the camera, which decoding less would not help.
    QTest::newRow("late but nothing waiting") << LoadStretches{{10000, 0.8, 0.05}} << all << LevelChanges{} << false;
    QTest::newRow("waiting but not late") << LoadStretches{{10000, 0.2, 1.0}} << all << LevelChanges{} << false;
    // Key frames only: media waits between two of them, and the picture keeps up all the same.
    QTest::newRow("keeping up with media waiting")
        << LoadStretches{{7100, 0.8, 1.0}, {20100, 0.1, 0.9}} << all
        << LevelChanges{{1000, 1}, {4000, 2}, {7000, 3}, {27120, 2}} << false;
    QTest::newRow("a short hiccup") << LoadStretches{{800, 0.8, 1.0}, {10000, 0.1, 0.1}} << all << LevelChanges{}
                                    << false;
    QTest::newRow("steps back after keeping up")
        << LoadStretches{{1100, 0.8, 1.0}, {30000, 0.1, 0.1}} << all << LevelChanges{{1000, 1}, {21120, 0}} << false;
    // Behind again during the step back's probation: back up, and twice as long a wait.
    QTest::newRow("a step back that fails doubles the wait")
        << LoadStretches{{1100, 0.8, 1.0}, {20100, 0.1, 0.1}, {3000, 0.8, 1.0}, {45800, 0.1, 0.1}} << all
        << LevelChanges{{1000, 1}, {21120, 0}, {24120, 1}, {64200, 0}} << false;
    // A step back that held through its probation: the next wait is the first one again.
    QTest::newRow("a good step back resets the wait")
        << LoadStretches{{1100, 0.8, 1.0}, {60000, 0.1, 0.1}, {1100, 0.8, 1.0}, {22000, 0.1, 0.1}} << all
        << LevelChanges{{1000, 1}, {21120, 0}, {62120, 1}, {82200, 0}} << false;
    QTest::newRow("not allowed to skip: only says so")
        << LoadStretches{{3000, 0.8, 1.0}} << int(DecodeLoadPolicy::Full) << LevelChanges{} << true;
    QTest::newRow("highest step: deblocking") << LoadStretches{{12000, 0.8, 1.0}} << int(DecodeLoadPolicy::NoDeblocking)
                                              << LevelChanges{{1000, 1}, {4000, 2}} << true;
    QTest::newRow("says it no more once it keeps up")
        << LoadStretches{{3000, 0.8, 1.0}, {1100, 0.1, 0.1}} << int(DecodeLoadPolicy::Full) << LevelChanges{} << false;
}

void TestLiveVideo::decodeLoadSteps()
{
    QFETCH(LoadStretches, stretches);
    QFETCH(int, highest);
    QFETCH(LevelChanges, changes);
    QFETCH(bool, cannotKeepUp);
    // Figures at every frame of a 25 fps stream.
    DecodeLoadPolicy policy(DecodeLoadPolicy::Timings(), static_cast<DecodeLoadPolicy::Level>(highest));
    const qint64 start = 5000000;
    LevelChanges seen;
    int level = policy.level();
    int stretchStart = 0;
    for (const LoadStretch& stretch : stretches) {
        const int end = stretchStart + stretch.ms;
        for (int t = (stretchStart + 39) / 40 * 40; t < end; t += 40) {
            const int now = policy.update(start + t, stretch.lag, stretch.queued);
            if (now != level)
                seen.append({t, now});
            level = now;
        }
        stretchStart = end;
    }
    QCOMPARE(seen, changes);
    QCOMPARE(policy.cannotKeepUp(), cannotKeepUp);
}

void TestLiveVideo::decodeLoadStepsOverDeblockingLeftOutAnyway()
{
    // A small tile decodes without deblocking from the start: falling behind, it goes from
    // non-reference frames straight to key frames, and back the same way.
    DecodeLoadPolicy policy;
    policy.setDeblockingOffAnyway(true);
    QList<QPair<qint64, int>> seen;
    int level = policy.level();
    auto play = [&](qint64 from, qint64 to, double lag, double queued) {
        for (qint64 t = from; t < to; t += 40) {
            const int now = policy.update(t, lag, queued);
            if (now != level)
                seen.append({t, now});
            level = now;
        }
    };
    play(0, 7000, 0.8, 1.0);
    play(7000, 30000, 0.1, 0.9);
    const QList<QPair<qint64, int>> expected{{1000, DecodeLoadPolicy::SkipNonReference},
                                             {4000, DecodeLoadPolicy::KeyFramesOnly},
                                             {27000, DecodeLoadPolicy::SkipNonReference}};
    QCOMPARE(seen, expected);
    QVERIFY(!policy.cannotKeepUp());
}

void TestLiveVideo::decodeLoadAcrossLoads()
{
    DecodeLoadPolicy policy;
    qint64 t = 0;
    for (; policy.level() < DecodeLoadPolicy::NoDeblocking; t += 40)
        policy.update(t, 0.8, 1.0);
    // The same stream loaded again keeps its level and gets time to settle.
    policy.restarted(t);
    for (const qint64 end = t + 2900; t < end; t += 40)
        policy.update(t, 0.8, 1.0);
    QCOMPARE(policy.level(), DecodeLoadPolicy::NoDeblocking);
    QVERIFY(!policy.cannotKeepUp());
    // Another stream decodes in full.
    policy.reset();
    QCOMPARE(policy.level(), DecodeLoadPolicy::Full);
    QVERIFY(!policy.cannotKeepUp());
    QCOMPARE(policy.update(t, 0.1, 0.1), DecodeLoadPolicy::Full);
}

void TestLiveVideo::hardwareDecoderWatch_data()
{
    QTest::addColumn<HwdecLooks>("looks");
    // The time of the first look that finds the decoder failed; -1: none.
    QTest::addColumn<int>("failsAt");

    auto looks = [](bool hardware, bool playing, bool framesFlow, double mediaPerSecond) {
        HwdecLooks result;
        for (int t = 0; t <= 10000; t += 500)
            result.append({t, hardware, playing, framesFlow ? t / 40 : 7, 100.0 + mediaPerSecond * t / 1000.0});
        return result;
    };
    QTest::newRow("hardware, pictures come") << looks(true, true, true, 1.0) << -1;
    QTest::newRow("hardware, no picture while media comes") << looks(true, true, false, 1.0) << 4000;
    QTest::newRow("software, no picture while media comes") << looks(false, true, false, 1.0) << -1;
    // Nothing arrives: a stalled stream, the stall watch's business.
    QTest::newRow("hardware, nothing arrives") << looks(true, true, false, 0.0) << -1;
    QTest::newRow("hardware, a trickle") << looks(true, true, false, 0.15) << -1;
    QTest::newRow("hardware, paused") << looks(true, false, false, 1.0) << -1;
    HwdecLooks unknown = looks(true, true, false, 1.0);
    for (HwdecLook& look : unknown)
        look.demuxedUpTo = qQNaN();
    QTest::newRow("hardware, media time not known") << unknown << -1;
    // A frame at 3 s starts the count anew.
    HwdecLooks late = looks(true, true, false, 1.0);
    for (HwdecLook& look : late)
        look.frames = look.ms >= 3000 ? 8 : 7;
    QTest::newRow("a late frame starts anew") << late << 7000;
}

void TestLiveVideo::hardwareDecoderWatch()
{
    QFETCH(HwdecLooks, looks);
    QFETCH(int, failsAt);
    HwdecWatch watch;
    int failed = -1;
    for (const HwdecLook& look : looks) {
        if (watch.failed(800000 + look.ms, look.hardware, look.playing, look.frames, look.demuxedUpTo)) {
            failed = look.ms;
            break;
        }
    }
    QCOMPARE(failed, failsAt);
}

void TestLiveVideo::decodeSettings_data()
{
    QTest::addColumn<Environment>("environment");
    QTest::addColumn<QString>("hwdec");
    QTest::addColumn<int>("highestSkip");
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("loopFilter");
    QTest::addColumn<int>("problems");

    const int all = DecodeLoadPolicy::KeyFramesOnly;
    QTest::newRow("nothing set") << Environment{} << "auto" << all << -1 << "all" << 0;
    QTest::newRow("everything off") << Environment{{"STATION_HWDEC", "no"},
                                                   {"STATION_DECODE_SKIP", "off"},
                                                   {"STATION_DECODER_THREADS", "0"},
                                                   {"STATION_SKIP_LOOP_FILTER", "off"}}
                                    << "no" << int(DecodeLoadPolicy::Full) << 0 << "" << 0;
    QTest::newRow("a decoder by name, any case")
        << Environment{{"STATION_HWDEC", " VAAPI-copy "}} << "vaapi-copy" << all << -1 << "all" << 0;
    QTest::newRow("hwdec off means no") << Environment{{"STATION_HWDEC", "off"}} << "no" << all << -1 << "all" << 0;
    QTest::newRow("steps up to deblocking, two threads, less deblocking")
        << Environment{{"STATION_DECODE_SKIP", "deblock"},
                       {"STATION_DECODER_THREADS", "2"},
                       {"STATION_SKIP_LOOP_FILTER", "nonref"}}
        << "auto" << int(DecodeLoadPolicy::NoDeblocking) << 2 << "nonref" << 0;
    QTest::newRow("non-reference frames only") << Environment{{"STATION_DECODE_SKIP", "nonref"}} << "auto"
                                               << int(DecodeLoadPolicy::SkipNonReference) << -1 << "all" << 0;
    QTest::newRow("threads auto") << Environment{{"STATION_DECODER_THREADS", "auto"}} << "auto" << all << -1 << "all"
                                  << 0;
    QTest::newRow("nonsense keeps the defaults") << Environment{{"STATION_HWDEC", "vaapi; rm -rf"},
                                                                {"STATION_DECODE_SKIP", "lots"},
                                                                {"STATION_DECODER_THREADS", "-3"},
                                                                {"STATION_SKIP_LOOP_FILTER", "some"}}
                                                 << "auto" << all << -1 << "all" << 4;
    QTest::newRow("too many threads") << Environment{{"STATION_DECODER_THREADS", "1000"}} << "auto" << all << -1
                                      << "all" << 1;
    QTest::newRow("an opening limit that is no number")
        << Environment{{"STATION_OPENING_LIMIT", "many"}} << "auto" << all << -1 << "all" << 1;
}

void TestLiveVideo::decodeSettings()
{
    QFETCH(Environment, environment);
    QFETCH(QString, hwdec);
    QFETCH(int, highestSkip);
    QFETCH(int, threads);
    QFETCH(QString, loopFilter);
    QFETCH(int, problems);
    QProcessEnvironment env;
    for (const auto& variable : environment)
        env.insert(variable.first, variable.second);
    QStringList found;
    const LiveDecodeSettings settings = LiveDecodeSettings::parse(env, &found);
    QCOMPARE(settings.hwdec, hwdec);
    QCOMPARE(int(settings.highestSkip), highestSkip);
    QCOMPARE(settings.decoderThreads, threads);
    QCOMPARE(settings.smallPictureLoopFilter, loopFilter);
    QCOMPARE(found.size(), problems);
    for (const QString& problem : found)
        QVERIFY2(problem.startsWith(QLatin1String("STATION_")) &&
                     problem.endsWith(QLatin1String("the default is used")),
                 qPrintable(problem));
    // "auto" is the player's safe list, with copies back to memory where the pictures cannot go
    // to OpenGL as they are; anything else is the player's own value.
    QCOMPARE(settings.playerHwdec(), hwdec == QLatin1String("auto") ? QStringLiteral("auto-copy-safe") : hwdec);
}

void TestLiveVideo::openingGateTakesTurns()
{
    // The process's setting: four turns a core and at least 16; a number as given, 0 no gate.
    QCOMPARE(LiveDecodeSettings().openingLimitFor(2), 16);
    QCOMPARE(LiveDecodeSettings().openingLimitFor(8), 32);
    QProcessEnvironment env;
    env.insert(QStringLiteral("STATION_OPENING_LIMIT"), QStringLiteral("0"));
    QCOMPARE(LiveDecodeSettings::parse(env, nullptr).openingLimitFor(8), 0);

    OpeningGate gate(2, 200);
    QStringList opened;
    auto opener = [&opened](const QString& name) { return [&opened, name] { opened << name; }; };
    const OpeningGate::Ticket a = gate.request(opener("a"));
    gate.request(opener("b"));
    const OpeningGate::Ticket c = gate.request(opener("c"));
    const OpeningGate::Ticket d = gate.request(opener("d"));
    gate.request(opener("e"));
    QCOMPARE(opened, (QStringList{"a", "b"}));
    QVERIFY(gate.isWaiting(c));
    QCOMPARE(gate.waiting(), 3);

    // A released turn passes to the first in line, from the event loop, not inside release().
    gate.release(a);
    QCOMPARE(opened.size(), 2);
    QTRY_COMPARE(opened, (QStringList{"a", "b", "c"}));
    // One that no longer wants to open gives up its place.
    gate.release(d);
    QCOMPARE(gate.waiting(), 1);
    // A turn held too long (a camera that never answers) is taken back.
    QTRY_COMPARE_WITH_TIMEOUT(opened, (QStringList{"a", "b", "c", "e"}), 2000);
    QVERIFY(!opened.contains("d"));
    QCOMPARE(gate.waiting(), 0);

    // Withdrawn after its turn came but before it was called: not called.
    OpeningGate full(1, 10000);
    const OpeningGate::Ticket first = full.request(opener("f"));
    const OpeningGate::Ticket second = full.request(opener("g"));
    full.release(first);
    full.release(second);
    QTest::qWait(20);
    QVERIFY(!opened.contains("g"));
    QCOMPARE(full.holding(), 0);

    // Openings that run out of time allow fewer at once; quick ones allow more again.
    OpeningGate adaptive(8, 100);
    for (int i = 0; i < 8; ++i)
        adaptive.request(opener(QStringLiteral("slow%1").arg(i)));
    QTRY_COMPARE(adaptive.holding(), 0);
    QCOMPARE(adaptive.allowed(), OpeningGate::minLimit);
    const OpeningGate::Ticket quick = adaptive.request(opener("q1"));
    adaptive.request(opener("q2"));
    adaptive.request(opener("q3"));
    QCOMPARE(adaptive.waiting(), 1);
    adaptive.release(quick);
    QCOMPARE(adaptive.allowed(), OpeningGate::minLimit + 1);
    QCOMPARE(adaptive.holding(), 2);
    QCOMPARE(adaptive.waiting(), 0);
    QTRY_VERIFY(opened.contains("q3"));

    // No limit: everyone at once.
    OpeningGate open(0);
    for (int i = 0; i < 10; ++i)
        open.request(opener(QStringLiteral("n%1").arg(i)));
    QCOMPARE(open.holding(), 10);
    QCOMPARE(open.waiting(), 0);
}

void TestLiveVideo::decoderThreads_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("liveTiles");
    QTest::addColumn<int>("cores");
    QTest::addColumn<int>("threads");
    QTest::newRow("one tile, two cores") << -1 << 1 << 2 << 0;
    QTest::newRow("a tile a core") << -1 << 2 << 2 << 1;
    QTest::newRow("a wall") << -1 << 16 << 2 << 1;
    QTest::newRow("a wall on many cores") << -1 << 4 << 16 << 0;
    QTest::newRow("cores not known") << -1 << 1 << 0 << 1;
    QTest::newRow("set by hand") << 3 << 16 << 2 << 3;
    QTest::newRow("the decoder's own, by hand") << 0 << 16 << 2 << 0;
}

void TestLiveVideo::decoderThreads()
{
    QFETCH(int, setting);
    QFETCH(int, liveTiles);
    QFETCH(int, cores);
    QFETCH(int, threads);
    LiveDecodeSettings settings;
    settings.decoderThreads = setting;
    QCOMPARE(settings.threadsFor(liveTiles, cores), threads);
}

#include "tst_livevideo.moc"
