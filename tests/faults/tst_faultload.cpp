// SPDX-License-Identifier: MIT
// Long fault tests of the client in this process: 500 layout switches with nine live tiles (nothing
// may be left behind: players, threads, objects, memory in use), and a flood of 100k POS messages a second for 10 s
// from another process (the window must stay responsive and memory bounded). Each prints its figures.
#include <cstdio>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QQuickItem>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>

#include <malloc.h>

#include "app.h"
#include "clienttestmain.h"
#include "freeports.h"
#include "inprocessclient.h"
#include "layoutmodel.h"
#include "mpvobject.h"
#include "processstats.h"
#include "programrun.h"
#include "simprocess.h"
#include "testfiles.h"

using namespace testsupport;

namespace {

constexpr int switches = 500;
constexpr int floodRate = 100000;
constexpr int floodSeconds = 10;
constexpr int probeIntervalMs = 10;

QByteArray cell(int index, const char* type, int stream)
{
    return QStringLiteral(R"({"row": %1, "col": %2, "rowSpan": 1, "colSpan": 1, "type": "%3", "label": "Cam %4",
                             "deviceId": "13", "objectId": "%4"})")
        .arg(index / 3)
        .arg(index % 3)
        .arg(QLatin1String(type))
        .arg(stream)
        .toUtf8();
}

// Streams 31-39 play a small generated video; 41-49 have no video, only their POS channels. All
// belong to a device whose POS settings point at the flood publisher.
QByteArray loadSite(int posPort)
{
    QByteArray objects = R"(
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 13, "name": "Box", "type": 2, "parent": 1,
         "settings": {"address": "127.0.0.1", "posPort": )" +
                         QByteArray::number(posPort) + "}}";
    QByteArray forward, backward, quiet;
    for (int i = 0; i < 9; ++i) {
        objects += QStringLiteral(R"(,
        {"id": %1, "name": "Cam %1", "type": 10, "parent": 13,
         "settings": {"url": "av://lavfi:testsrc2{EQU}size{EQU}160x120:rate{EQU}5"}},
        {"id": %2, "name": "Till %2", "type": 10, "parent": 13})")
                       .arg(31 + i)
                       .arg(41 + i)
                       .toUtf8();
        forward += (i ? "," : "") + cell(i, "video", 31 + i);
        backward += (i ? "," : "") + cell(i, "video", 39 - i);
        quiet += (i ? "," : "") + cell(i, "video", 41 + i);
    }
    const QByteArray grid = R"({"numRows": 3, "numCols": 3, "elements": [)";
    return "{\"name\": \"load\", \"objects\": [" + objects + "],\n\"layouts\": {\"Forward\": " + grid + forward +
           "]}, \"Backward\": " + grid + backward + "]}, \"Tills\": " + grid + quiet + "]}}}";
}

} // namespace

class TestFaultLoad : public QObject
{
    Q_OBJECT

private:
    bool allPlaying() const
    {
        const QList<QQuickItem*> cameras = m_client.cameras();
        if (cameras.size() != 9)
            return false;
        for (QQuickItem* camera : cameras) {
            if (!camera->property("videoLoaded").toBool())
                return false;
        }
        return true;
    }

    // Lets destroyed tiles go for good before anything is counted: their players end on worker
    // threads, each taking a while, so right after quick switches some are still on their way out.
    void settle()
    {
        // Memory freed by the players' threads comes back to the allocator a little after the
        // items go; this much of event processing lets that happen before anything is counted.
        const int settleMs = 2000;
        QElapsedTimer settling;
        settling.start();
        static_cast<void>(QTest::qWaitFor(
            [&] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                return settling.elapsed() >= settleMs;
            },
            settleMs * 2));
        const int live = m_client.cameras().size();
        QElapsedTimer waited;
        waited.start();
        static_cast<void>(QTest::qWaitFor([&] { return MpvObject::coreCount() <= live + m_otherPlayers; }, 60000));
        if (MpvObject::coreCount() > live + m_otherPlayers)
            writeStacks();
        // A core still held by something says "held"; one stuck in libmpv's ending says "ending".
        std::printf("players: %d live, %d not yet ended after %lld ms (%d ending, the rest held)\n", live,
                    MpvObject::coreCount() - live, waited.elapsed(), MpvObject::endingCoreCount());
        std::fflush(stdout);
    }

    // A player that never ends is held by some thread: every thread's stack, to a file that stays,
    // says which (when gdb is there to ask).
    static void writeStacks()
    {
        const QString gdb = QStandardPaths::findExecutable(QStringLiteral("gdb"));
        if (gdb.isEmpty())
            return;
        const QString pid = QString::number(QCoreApplication::applicationPid());
        const QString path = QDir::temp().filePath(QStringLiteral("tst_faultload-stacks-%1.txt").arg(pid));
        QProcess process;
        process.setStandardOutputFile(path);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(gdb, {QStringLiteral("-p"), pid, QStringLiteral("-batch"), QStringLiteral("-ex"),
                            QStringLiteral("thread apply all bt")});
        if (process.waitForFinished(120000))
            std::printf("the stacks of every thread are in %s\n", qPrintable(path));
    }

    // What the client holds with a layout on screen, once settled. Counts of live things, and the
    // memory still in use once the allocator has handed its free memory back: neither moves with
    // the allocator's own caching, which alone made the resident size of one run 64 MiB larger
    // than that of another.
    struct Holdings
    {
        int tiles = 0;
        int players = 0; // beyond those of the pages themselves
        int threads = 0;
        int objects = 0; // of the window and the controller
        qint64 trimmedKiB = 0;
    };

    Holdings settledHoldings()
    {
        settle();
        // Players of the tiles just gone end on the thread pool, seconds later on a busy machine;
        // one that never ends is what the count is for.
        const int endingMs = 30000;
        static_cast<void>(QTest::qWaitFor(
            [&] { return MpvObject::coreCount() - m_otherPlayers <= m_client.cameras().size(); }, endingMs));
        Holdings held;
        held.tiles = m_client.cameras().size();
        held.players = MpvObject::coreCount() - m_otherPlayers;
        held.threads = threadCount();
        QSet<const QObject*> objects;
        countObjects(m_client.window(), objects);
        if (m_client.window())
            countObjects(m_client.window()->contentItem(), objects);
        countObjects(App::instance(), objects);
        held.objects = objects.size();
        ::malloc_trim(0);
        held.trimmedKiB = residentKiB();
        return held;
    }

    static void countObjects(const QObject* object, QSet<const QObject*>& seen)
    {
        if (!object || seen.contains(object))
            return;
        seen.insert(object);
        for (const QObject* child : object->children())
            countObjects(child, seen);
        // Delegates of views and repeaters are items of their parent item, not always its children.
        if (const auto* item = qobject_cast<const QQuickItem*>(object)) {
            for (const QQuickItem* child : item->childItems())
                countObjects(child, seen);
        }
    }

    static void printHoldings(const char* when, const Holdings& held)
    {
        std::printf("%s: %d tiles, %d players, %d threads, %d objects, %lld MiB after malloc_trim\n", when, held.tiles,
                    held.players, held.threads, held.objects, held.trimmedKiB / 1024);
        std::fflush(stdout);
    }

    QString floodOutput()
    {
        m_floodOutput += QString::fromUtf8(m_flood.process().readAllStandardOutput());
        m_floodOutput += QString::fromUtf8(m_flood.process().readAllStandardError());
        return m_floodOutput;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QStringList channels{"41", "42", "43", "44", "45", "46", "47", "48", "49"};
        QVERIFY(m_flood.start(QStringLiteral(POSFLOOD_BINARY),
                              QStringList{QString::number(floodRate), QString::number(floodSeconds)} << channels,
                              m_dir.path()));
        QTRY_VERIFY_WITH_TIMEOUT(floodOutput().contains(QLatin1String("port ")), 10000);
        const int floodPort = floodOutput().section(QLatin1String("port "), 1).section(QLatin1Char('\n'), 0, 0).toInt();
        QVERIFY(floodPort > 0);

        const QList<int> more = freePorts(1);
        QCOMPARE(more.size(), 1);
        const QString sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(sitePath, loadSite(floodPort)));
        QVERIFY2(m_sim.start(sitePath, {QStringLiteral("--verbose")}), qPrintable(m_sim.output()));
        QVERIFY(m_client.load(m_sim.serverPort(), more[0]));
        QTRY_VERIFY2_WITH_TIMEOUT(m_client.firstNamed(QStringLiteral("mainPage")), qPrintable(m_sim.output()), 20000);
        QVERIFY2(m_client.listLayouts(3), "the client hosts its remote interface and lists its layouts");
        QCOMPARE(m_client.layoutCount(), 3);
        // Players of the pages themselves (the recorded page's), before any layout has tiles.
        m_otherPlayers = MpvObject::coreCount();
    }

    void cleanupTestCase()
    {
        m_client.unload();
        m_sim.stop();
        m_flood.stop();
    }

    void fiveHundredSwitchesWithNineLiveTiles()
    {
        LayoutModel* model = App::instance()->layoutModel();
        Holdings afterFiftieth;
        QElapsedTimer clock;
        clock.start();
        for (int i = 1; i <= switches; ++i) {
            const bool forward = i % 2 == 1;
            const QString firstLabel = forward ? QStringLiteral("Cam 31") : QStringLiteral("Cam 39");
            QVERIFY(m_client.applyLayout(forward ? QStringLiteral("Forward") : QStringLiteral("Backward")));
            QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() == 9 &&
                                         model->index(0, 0).data(LayoutModel::LabelRole).toString() == firstLabel,
                                     10000);
            QTRY_COMPARE_WITH_TIMEOUT(m_client.cameras().size(), 9, 10000);
            // Quick switches, one after another, as an impatient operator makes them.
            const int betweenSwitchesMs = 20;
            QTest::qWait(betweenSwitchesMs);
            // Every so often the tiles must get as far as playing.
            if (i % 50 == 0) {
                QTRY_VERIFY2_WITH_TIMEOUT(allPlaying(), qPrintable(QStringLiteral("switch %1").arg(i)), 60000);
                std::printf("switch %d: %lld s, RSS %lld MiB\n", i, clock.elapsed() / 1000, residentKiB() / 1024);
                std::fflush(stdout);
            }
            // The first switches bring what the client keeps for good (caches, pools, fonts): what
            // is held after the 50th is the measure for the rest.
            if (i == 50)
                afterFiftieth = settledHoldings();
        }
        const Holdings afterLast = settledHoldings();
        // Straight to the output: QtTest stops passing messages on after its limit, and the tiles
        // log a lot.
        std::printf("Layout switches: %d in %lld s\n", switches, clock.elapsed() / 1000);
        printHoldings("after the 50th", afterFiftieth);
        printHoldings("after the last", afterLast);

        // Both are taken with the same layout on screen, all nine tiles playing.
        QCOMPARE(afterLast.tiles, 9);
        QCOMPARE(afterLast.tiles, afterFiftieth.tiles);
        QVERIFY2(afterLast.players == afterLast.tiles,
                 qPrintable(QStringLiteral("%1 players for %2 tiles").arg(afterLast.players).arg(afterLast.tiles)));
        // A little room for the thread pool's workers and lazily made objects; a leak of one thing
        // a switch is 450 of them.
        const int spareThreads = 4;
        const int spareObjects = 40;
        QVERIFY2(afterLast.threads <= afterFiftieth.threads + spareThreads,
                 qPrintable(QStringLiteral("threads: %1, then %2").arg(afterFiftieth.threads).arg(afterLast.threads)));
        QVERIFY2(afterLast.objects <= afterFiftieth.objects + spareObjects,
                 qPrintable(QStringLiteral("objects: %1, then %2").arg(afterFiftieth.objects).arg(afterLast.objects)));
        // Generous: 100 MiB over 4050 tiles made and destroyed is 25 KiB a tile, far less than what a
        // leaked tile or player holds.
        const qint64 spareKiB = 100 * 1024;
        QVERIFY2(afterLast.trimmedKiB > 0 && afterLast.trimmedKiB <= afterFiftieth.trimmedKiB + spareKiB,
                 qPrintable(QStringLiteral("memory in use after malloc_trim: %1 MiB, then %2 MiB")
                                .arg(afterFiftieth.trimmedKiB / 1024)
                                .arg(afterLast.trimmedKiB / 1024)));
    }

    void posFloodKeepsTheWindowResponsive()
    {
        QVERIFY(m_client.applyLayout(QStringLiteral("Tills")));
        QTRY_COMPARE_WITH_TIMEOUT(m_client.cameras().size(), 9, 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(floodOutput().contains(QLatin1String("subscribed")), qPrintable(floodOutput()),
                                  30000);
        settle();
        const qint64 before = residentKiB();

        // How late a 10 ms timer of the GUI thread fires, and the memory on the way.
        qint64 longestWaitMs = 0;
        qint64 peakKiB = before;
        QSet<QString> tilesWithLines;
        QElapsedTimer sinceLast;
        QTimer probe;
        probe.setInterval(probeIntervalMs);
        probe.setTimerType(Qt::PreciseTimer);
        int ticks = 0;
        connect(&probe, &QTimer::timeout, this, [&] {
            longestWaitMs = qMax(longestWaitMs, sinceLast.restart() - probeIntervalMs);
            if (++ticks % 20 == 0) {
                peakKiB = qMax(peakKiB, residentKiB());
                for (QQuickItem* camera : m_client.cameras()) {
                    if (!posLinesOf(camera).isEmpty())
                        tilesWithLines.insert(camera->property("cameraName").toString());
                }
            }
        });
        m_flood.process().write("go\n");
        QTRY_VERIFY_WITH_TIMEOUT(floodOutput().contains(QLatin1String("flooding")), 10000);
        sinceLast.start();
        probe.start();
        QTRY_VERIFY2_WITH_TIMEOUT(floodOutput().contains(QLatin1String("sent ")), qPrintable(floodOutput()),
                                  (floodSeconds + 30) * 1000);
        // The backlog, if any, drains under the probe too.
        const int drainWindowMs = 2000;
        QTest::qWait(drainWindowMs);
        probe.stop();
        settle();
        const qint64 after = residentKiB();
        std::printf(
            "POS flood: %s; longest wait of a %d ms GUI timer %lld ms; RSS before %lld MiB, peak %lld MiB, after "
            "%lld MiB; tiles that showed lines: %d\n",
            qPrintable(floodOutput().section(QLatin1String("sent "), 1).trimmed() + " messages sent"), probeIntervalMs,
            longestWaitMs, before / 1024, peakKiB / 1024, after / 1024, tilesWithLines.size());
        std::fflush(stdout);
        QCOMPARE(tilesWithLines.size(), 9);
        // How quick the window is belongs to the benchmarks: a machine busy with other work delays
        // the timer by hundreds of milliseconds. What fails here is a window that stops, as one
        // that works off a backlog of messages on the GUI thread in one go does, for seconds.
        const qint64 stoppedMs = 2000;
        QVERIFY2(longestWaitMs < stoppedMs,
                 qPrintable(QStringLiteral("the GUI thread stood still for %1 ms").arg(longestWaitMs)));
        QVERIFY2(peakKiB - before <= 100 * 1024,
                 qPrintable(QStringLiteral("grew by %1 MiB").arg((peakKiB - before) / 1024)));
    }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    ProgramRun m_flood;
    QString m_floodOutput;
    InProcessClient m_client;
    int m_otherPlayers = 0;
};

int main(int argc, char* argv[])
{
    // The switches take longer than QtTest's default limit of five minutes per function; ctest's
    // TIMEOUT still bounds the whole run.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "2100000");
    return runClientTest<TestFaultLoad>(argc, argv);
}

#include "tst_faultload.moc"
