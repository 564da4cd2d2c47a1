// SPDX-License-Identifier: MIT
// The parts of live video that are plain arithmetic or plain Qt: the lag behind the live edge,
// the pacing of window frames, and the choice of how video is drawn.
#include <QQuickItem>
#include <QSignalSpy>
#include <QtTest>

#include "framepacer.h"
#include "livecatchup.h"
#include "liveedgepolicy.h"
#include "livelagestimator.h"
#include "mpvobject.h"
#include "videorendermode.h"

using LagSamples = QVector<QPair<int, double>>;

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
    void skipPolicy_data();
    void skipPolicy();

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
}

void TestLiveVideo::catchUpSpeeds()
{
    QFETCH(QVector<double>, queued);
    QFETCH(QVector<double>, speeds);
    LiveCatchUp catchUp;
    QVector<double> got;
    for (double held : queued)
        got.append(catchUp.speedFor(held));
    QCOMPARE(got.size(), speeds.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(qAbs(got[i] - speeds[i]) < 1e-9,
                 qPrintable(QStringLiteral("frame %1: speed %2, expected %3").arg(i).arg(got[i]).arg(speeds[i])));
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

#include "tst_livevideo.moc"
