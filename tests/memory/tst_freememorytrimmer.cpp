// SPDX-License-Identifier: MIT
// When the trimmer hands the allocator's free memory back: the heap's free memory and the resident
// size are scripted, one pair per look, and the trims it makes are counted.
#include <QSignalSpy>
#include <QtTest>

#include "freememorytrimmer.h"

namespace {

struct Look
{
    qint64 freeMiB;
    qint64 residentMiB;
};

constexpr qint64 MiB = 1024 * 1024;

// The process as the probes see it, one look at a time; what the trimmer did at each look.
struct ScriptedProcess
{
    Look now{};
    int look = 0;
    QVector<int> trims;

    FreeMemoryTrimmer::Probes probes()
    {
        FreeMemoryTrimmer::Probes probes;
        probes.freeHeapBytes = [this] { return now.freeMiB * MiB; };
        probes.residentBytes = [this] { return now.residentMiB * MiB; };
        // A trim leaves the resident size as the next look says.
        probes.trim = [this] { trims.append(look); };
        return probes;
    }

    // Every look in turn; false when a trim expected at a look did not end.
    bool run(FreeMemoryTrimmer& trimmer, const QVector<Look>& looks, const QVector<int>& trimmedAt)
    {
        QSignalSpy trimmed(&trimmer, &FreeMemoryTrimmer::trimmed);
        for (look = 0; look < looks.size(); ++look) {
            now = looks[look];
            const int before = trimmed.count();
            trimmer.check();
            if (trimmedAt.contains(look) && !trimmed.wait(5000) && trimmed.count() == before)
                return false;
            // Anything the look set off has ended before the next.
            QTest::qWait(20);
        }
        return true;
    }
};

} // namespace

Q_DECLARE_METATYPE(QVector<Look>)

class TestFreeMemoryTrimmer : public QObject
{
    Q_OBJECT

private slots:
    void trimsWhenMuchWasFreed_data()
    {
        QTest::addColumn<QVector<Look>>("looks");
        QTest::addColumn<QVector<int>>("trimmedAt");
        QTest::addColumn<int>("followUpMs");
        // The threshold is 32 MiB free (and resident growth); 8 MiB freed since a trim.
        QTest::newRow("little free, however large")
            << QVector<Look>{{10, 300}, {20, 1900}, {30, 400}} << QVector<int>{} << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("a wall's players ended") << QVector<Look>{{10, 300}, {250, 400}, {250, 300}} << QVector<int>{1}
                                                << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("freed again after the trim") << QVector<Look>{{250, 400}, {250, 300}, {300, 310}}
                                                    << QVector<int>{0, 2} << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("used again, then freed again") << QVector<Look>{{250, 400}, {200, 300}, {250, 300}}
                                                      << QVector<int>{0, 2} << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("resident grew while as much stayed free")
            << QVector<Look>{{250, 400}, {250, 300}, {250, 320}, {250, 340}} << QVector<int>{0, 3}
            << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("a few megabytes freed after the trim")
            << QVector<Look>{{250, 400}, {262, 390}, {266, 390}} << QVector<int>{0, 1}
            << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("churn below the freed threshold")
            << QVector<Look>{{250, 400}, {254, 400}, {250, 401}, {256, 402}} << QVector<int>{0}
            << int(FreeMemoryTrimmer::FollowUpMs);
        QTest::newRow("freed, then used: nothing to hand back")
            << QVector<Look>{{250, 400}, {20, 600}, {20, 700}} << QVector<int>{0} << int(FreeMemoryTrimmer::FollowUpMs);
        // Without waiting between them: a few more trims while as much stays free, then none.
        QTest::newRow("follow-ups, then quiet")
            << QVector<Look>{{250, 400}, {250, 300}, {250, 300}, {250, 300}, {250, 300}, {10, 300}}
            << QVector<int>{0, 1, 2, 3} << 0;
    }

    void trimsWhenMuchWasFreed()
    {
        QFETCH(QVector<Look>, looks);
        QFETCH(QVector<int>, trimmedAt);
        QFETCH(int, followUpMs);
        ScriptedProcess process;
        FreeMemoryTrimmer trimmer(process.probes());
        trimmer.setFollowUpMs(followUpMs);
        QVERIFY(process.run(trimmer, looks, trimmedAt));
        QCOMPARE(process.trims, trimmedAt);
    }

    // The script engine's garbage is collected when a layout has just ended (much freed at once),
    // not on every trim: a collection stops the interface for tens of milliseconds.
    void collectsGarbageWhenALayoutEnded()
    {
        const QVector<Look> looks{{10, 300}, {250, 400}, {262, 390}, {300, 390}, {300, 390}};
        ScriptedProcess process;
        QVector<int> collections;
        FreeMemoryTrimmer trimmer(process.probes());
        trimmer.setGarbageCollector([&] { collections.append(process.look); });
        // 262 is 12 MiB more than at the trim before: a trim, no collection; 300 is 38 more: both.
        const QVector<int> trimmedAt{1, 2, 3};
        QVERIFY(process.run(trimmer, looks, trimmedAt));
        QCOMPARE(process.trims, trimmedAt);
        QCOMPARE(collections, (QVector<int>{1, 3}));
    }
};

QTEST_GUILESS_MAIN(TestFreeMemoryTrimmer)
#include "tst_freememorytrimmer.moc"
