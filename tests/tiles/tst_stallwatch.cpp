// SPDX-License-Identifier: MIT
// A live tile's watch for streams that stall without ending: when a stream counts as lost, the
// reloads it asks for at growing waits, and what stops them. Short waits stand in for the
// settings' seconds.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "logcapture.h"
#include "stallwatch.h"

namespace {

const int noSignalMs = 150;
const int firstMs = 60;
const int maxMs = 240;
// Generous: a loaded machine delays timers, and only the order of things is checked.
const int timeoutMs = 5000;

// Frames as a playing stream brings them.
class FrameFeed
{
public:
    explicit FrameFeed(StallWatch& watch)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, &watch, [&watch] { watch.setFrames(watch.frames() + 1); });
    }
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }

private:
    QTimer m_timer;
};

void setUp(StallWatch& watch)
{
    watch.setNoSignalMs(noSignalMs);
    watch.setReloadFirstMs(firstMs);
    watch.setReloadMaxMs(maxMs);
    watch.setSource(QStringLiteral("rtsp://cam/1"));
}

} // namespace

class TestStallWatch : public QObject
{
    Q_OBJECT

private slots:
    void stalledStreamIsReloadedAtGrowingWaitsUntilFramesFlow()
    {
        StallWatch watch;
        setUp(watch);
        QCOMPARE(watch.reloadDelayMs(), firstMs);
        QSignalSpy reloadsAsked(&watch, &StallWatch::reloadRequested);
        QSignalSpy lostChanges(&watch, &StallWatch::lostChanged);
        LogCapture log;
        FrameFeed feed(watch);
        watch.setWatching(true);
        feed.start();
        // Several times the quiet that would count as lost.
        QTRY_VERIFY_WITH_TIMEOUT(watch.frames() >= 4 * noSignalMs / 20, timeoutMs);
        QVERIFY2(!watch.lost(), "a stream that brings frames is not lost");
        QCOMPARE(lostChanges.count(), 0);

        feed.stop();
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        QCOMPARE(watch.reloads(), 0);
        QVERIFY(watch.reloadDue());
        QCOMPARE(watch.reloadDelayMs(), firstMs);
        QCOMPARE(log.lines(QtWarningMsg), QStringList{QStringLiteral("No signal for 150 ms: rtsp://cam/1")});

        // Each reload waits twice as long as the one before, up to the last wait.
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloads(), 1, timeoutMs);
        QCOMPARE(watch.reloadDelayMs(), 2 * firstMs);
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloads(), 2, timeoutMs);
        QCOMPARE(watch.reloadDelayMs(), maxMs);
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloads(), 3, timeoutMs);
        QCOMPARE(watch.reloadDelayMs(), maxMs);
        QCOMPARE(reloadsAsked.count(), 3);
        QCOMPARE(log.count(QStringLiteral("Reloading stalled stream: rtsp://cam/1")), 3);
        QVERIFY(watch.lost());

        // One frame is enough: found, no reload due, the waits start over.
        watch.setFrames(watch.frames() + 1);
        QVERIFY(!watch.lost());
        QVERIFY(!watch.reloadDue());
        QCOMPARE(watch.reloadDelayMs(), firstMs);
        QVERIFY(log.contains(QStringLiteral("Signal back: rtsp://cam/1")));
        QCOMPARE(watch.reloads(), 3);

        // Lost again: the first reload waits the first wait again.
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        QCOMPARE(watch.reloadDelayMs(), firstMs);
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloads(), 4, timeoutMs);
        QCOMPARE(watch.reloadDelayMs(), 2 * firstMs);
    }

    void pausedStreamIsNotLost()
    {
        StallWatch watch;
        setUp(watch);
        watch.setWatching(true);
        watch.setPaused(true);
        // Nothing to wait for: a paused stream stays as it is, however long.
        QTest::qWait(3 * noSignalMs);
        QVERIFY2(!watch.lost(), "a paused stream shows no frames by choice");
        QVERIFY(!watch.reloadDue());

        // Playing again, it gets the whole wait anew, and then counts as lost.
        QSignalSpy lostChanges(&watch, &StallWatch::lostChanged);
        QElapsedTimer sinceResumed;
        sinceResumed.start();
        watch.setPaused(false);
        QVERIFY(!watch.lost());
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        QVERIFY2(sinceResumed.elapsed() >= noSignalMs - 20,
                 qPrintable(QStringLiteral("lost %1 ms after playing again").arg(sinceResumed.elapsed())));
        QCOMPARE(lostChanges.count(), 1);
    }

    void playersOwnReloadIsNotCutShort()
    {
        StallWatch watch;
        setUp(watch);
        QSignalSpy reloadsAsked(&watch, &StallWatch::reloadRequested);
        watch.setWatching(true);
        watch.setReloadHeld(true);
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        // The waits grow meanwhile, without a reload from here.
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloadDelayMs(), maxMs, timeoutMs);
        QCOMPARE(watch.reloads(), 0);
        QCOMPARE(reloadsAsked.count(), 0);
        QVERIFY(watch.reloadDue());

        watch.setReloadHeld(false);
        QTRY_COMPARE_WITH_TIMEOUT(reloadsAsked.count(), 1, timeoutMs);
        QCOMPARE(watch.reloads(), 1);
    }

    void unwatchedStreamIsNeitherLostNorReloaded()
    {
        StallWatch watch;
        setUp(watch);
        watch.setWatching(true);
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        QVERIFY(watch.reloadDue());

        watch.setWatching(false);
        QVERIFY(!watch.lost());
        QVERIFY2(!watch.reloadDue(), "nothing is reloaded for a tile that is not watched");

        // A new player for the same tile starts its frames from 0: no frame, and no stream found.
        watch.setFrames(50);
        watch.setWatching(true);
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        watch.setFrames(0);
        QVERIFY2(watch.lost(), "fewer frames are a new player, not a new frame");
        watch.setFrames(1);
        QVERIFY(!watch.lost());
    }

    void newStreamGetsTheWholeWait()
    {
        StallWatch watch;
        setUp(watch);
        watch.setWatching(true);
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloads(), 1, timeoutMs);

        // Another stream is loaded: its quiet counts from now, and its waits from the first.
        watch.restart();
        QTRY_COMPARE_WITH_TIMEOUT(watch.reloadDelayMs(), firstMs, timeoutMs);
        QVERIFY(watch.lost());
    }

    void settingsTakeEffect()
    {
        StallWatch watch;
        QCOMPARE(watch.noSignalMs(), 5000);
        QCOMPARE(watch.reloadFirstMs(), 3000);
        QCOMPARE(watch.reloadMaxMs(), 30000);
        QCOMPARE(watch.reloadDelayMs(), 3000);
        QSignalSpy delays(&watch, &StallWatch::reloadDelayMsChanged);
        watch.setReloadFirstMs(400);
        QCOMPARE(watch.reloadDelayMs(), 400);
        QCOMPARE(delays.count(), 1);

        // A quiet watched for the default five seconds counts as lost at once under a shorter wait.
        watch.setWatching(true);
        watch.setNoSignalMs(noSignalMs);
        QTRY_VERIFY_WITH_TIMEOUT(watch.lost(), timeoutMs);
        QCOMPARE(watch.reloadDelayMs(), 400);
    }
};

QTEST_GUILESS_MAIN(TestStallWatch)
#include "tst_stallwatch.moc"
