// SPDX-License-Identifier: MIT
// Long fault tests of the client in this process: 500 layout switches with nine live tiles (memory
// must not creep), and a flood of 100k POS messages a second for 10 s from another process (the
// window must stay responsive and memory bounded). Each prints its figures.
#include <cstdio>

#include <QElapsedTimer>
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

    // Lets destroyed tiles go for good before memory is read: their players end on worker
    // threads, each taking a while, so right after quick switches some are still on their way out.
    qint64 settledResidentKiB()
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
        std::printf("players: %d live, %d not yet ended after %lld ms\n", live, MpvObject::coreCount() - live,
                    waited.elapsed());
        std::fflush(stdout);
        return residentKiB();
    }

    // The same after the allocator has handed its free memory back: what is still in use.
    static qint64 trimmedResidentKiB()
    {
        ::malloc_trim(0);
        return residentKiB();
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
        qint64 afterFiftieth = -1;
        qint64 trimmedAfterFiftieth = -1;
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
            if (i % 50 == 0)
                QTRY_VERIFY2_WITH_TIMEOUT(allPlaying(), qPrintable(QStringLiteral("switch %1").arg(i)), 60000);
            if (i == 50) {
                afterFiftieth = settledResidentKiB();
                trimmedAfterFiftieth = trimmedResidentKiB();
            }
            if (i % 50 == 0) {
                std::printf("switch %d: %lld s, RSS %lld MiB\n", i, clock.elapsed() / 1000, residentKiB() / 1024);
                std::fflush(stdout);
            }
        }
        const qint64 afterLast = settledResidentKiB();
        const qint64 trimmedAfterLast = trimmedResidentKiB();
        // Straight to the output: QtTest stops passing messages on after its limit, and the tiles
        // log a lot.
        std::printf("Layout switches: %d in %lld s; RSS after the 50th %lld MiB, after the last %lld MiB; after "
                    "malloc_trim %lld and %lld MiB\n",
                    switches, clock.elapsed() / 1000, afterFiftieth / 1024, afterLast / 1024,
                    trimmedAfterFiftieth / 1024, trimmedAfterLast / 1024);
        std::fflush(stdout);
        QVERIFY(afterFiftieth > 0 && afterLast > 0);
        QVERIFY2(afterLast - afterFiftieth <= 50 * 1024,
                 qPrintable(QStringLiteral("RSS grew by %1 MiB").arg((afterLast - afterFiftieth) / 1024)));
    }

    void posFloodKeepsTheWindowResponsive()
    {
        QVERIFY(m_client.applyLayout(QStringLiteral("Tills")));
        QTRY_COMPARE_WITH_TIMEOUT(m_client.cameras().size(), 9, 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(floodOutput().contains(QLatin1String("subscribed")), qPrintable(floodOutput()),
                                  30000);
        const qint64 before = settledResidentKiB();

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
        const qint64 after = settledResidentKiB();
        std::printf(
            "POS flood: %s; longest wait of a %d ms GUI timer %lld ms; RSS before %lld MiB, peak %lld MiB, after "
            "%lld MiB; tiles that showed lines: %d\n",
            qPrintable(floodOutput().section(QLatin1String("sent "), 1).trimmed() + " messages sent"), probeIntervalMs,
            longestWaitMs, before / 1024, peakKiB / 1024, after / 1024, tilesWithLines.size());
        std::fflush(stdout);
        QCOMPARE(tilesWithLines.size(), 9);
        QVERIFY2(longestWaitMs <= 100, qPrintable(QStringLiteral("%1 ms").arg(longestWaitMs)));
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
