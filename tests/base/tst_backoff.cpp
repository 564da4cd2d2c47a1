// SPDX-License-Identifier: MIT
// The waits between retries: doubling from the first up to the last, and starting over on reset.
#include <limits>

#include <QtTest>

#include "backoff.h"

class TestBackoff : public QObject
{
    Q_OBJECT

private slots:
    void waitsDoubleUpToTheLast_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("max");
        QTest::addColumn<QList<int>>("waits");
        QTest::newRow("sign-in and reconnection")
            << 1000 << 30000 << QList<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000};
        QTest::newRow("stalled stream") << 3000 << 30000 << QList<int>{3000, 6000, 12000, 24000, 30000, 30000};
        QTest::newRow("last is the first") << 500 << 500 << QList<int>{500, 500, 500};
        QTest::newRow("last below the first") << 800 << 100 << QList<int>{800, 800};
        QTest::newRow("no first wait") << 0 << 10 << QList<int>{1, 2, 4, 8, 10, 10};
        QTest::newRow("negative first wait") << -5 << 4 << QList<int>{1, 2, 4, 4};
        const int most = std::numeric_limits<int>::max();
        QTest::newRow("no overflow near the largest wait")
            << most / 2 + 1 << most << QList<int>{most / 2 + 1, most, most};
    }

    void waitsDoubleUpToTheLast()
    {
        QFETCH(int, first);
        QFETCH(int, max);
        QFETCH(QList<int>, waits);
        Backoff backoff(first, max);
        QCOMPARE(backoff.attempts(), 0);
        QList<int> taken;
        for (int i = 0; i < waits.size(); ++i) {
            QCOMPARE(backoff.nextDelayMs(), waits.at(i));
            taken << backoff.takeDelayMs();
        }
        QCOMPARE(taken, waits);
        QCOMPARE(backoff.attempts(), waits.size());
    }

    void resetStartsOver()
    {
        Backoff backoff(1000, 30000);
        backoff.takeDelayMs();
        backoff.takeDelayMs();
        QCOMPARE(backoff.nextDelayMs(), 4000);
        backoff.reset();
        QCOMPARE(backoff.nextDelayMs(), 1000);
        QCOMPARE(backoff.attempts(), 0);
        QCOMPARE(backoff.takeDelayMs(), 1000);

        // New limits (a setting changed) start over from the new first wait.
        backoff.takeDelayMs();
        backoff.setLimits(400, 1600);
        QCOMPARE(backoff.firstMs(), 400);
        QCOMPARE(backoff.maxMs(), 1600);
        QCOMPARE(backoff.attempts(), 0);
        QCOMPARE(backoff.takeDelayMs(), 400);
        QCOMPARE(backoff.takeDelayMs(), 800);
        QCOMPARE(backoff.takeDelayMs(), 1600);
        QCOMPARE(backoff.takeDelayMs(), 1600);
    }
};

QTEST_APPLESS_MAIN(TestBackoff)
#include "tst_backoff.moc"
