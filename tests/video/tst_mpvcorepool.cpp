// SPDX-License-Identifier: MIT
// The pool of player cores made ahead of time, with a factory that stands in for libmpv: what it
// keeps, what it hands out, and that it ends cleanly.
#include <atomic>

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <stdexcept>

#include "mpvcorepool.h"

namespace {

constexpr int Timeout = 5000;

// Cores that are only markers: each counts itself while it lives.
class FakeCores
{
public:
    PreparedCore make(bool software)
    {
        ++m_made;
        ++m_alive;
        std::atomic<int>* alive = &m_alive;
        PreparedCore prepared;
        prepared.core = MpvHandle(reinterpret_cast<mpv_handle*>(new char), [alive](mpv_handle* handle) {
            delete reinterpret_cast<char*>(handle);
            --*alive;
        });
        prepared.software = software;
        return prepared;
    }

    int made() const { return m_made.load(); }
    int alive() const { return m_alive.load(); }

private:
    std::atomic<int> m_made{0};
    std::atomic<int> m_alive{0};
};

} // namespace

class TestMpvCorePool : public QObject
{
    Q_OBJECT

private slots:
    void keepsOneCorePerItemUpToItsCapacity_data();
    void keepsOneCorePerItemUpToItsCapacity();
    void handsOutOnlyCoresOfTheKindAsked();
    void dropsWhatItNoLongerNeeds();
    void waitsForTheRefillDelay();
    void aFailingFactoryLeavesTheItemsToMakeTheirOwn();
    void shutDownWaitsForTheCoreBeingMade();
};

void TestMpvCorePool::keepsOneCorePerItemUpToItsCapacity_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("ready");
    QTest::newRow("nine tiles") << 16 << 9 << 9;
    QTest::newRow("more tiles than the capacity") << 4 << 9 << 4;
    QTest::newRow("off") << 0 << 9 << 0;
}

void TestMpvCorePool::keepsOneCorePerItemUpToItsCapacity()
{
    QFETCH(int, capacity);
    QFETCH(int, items);
    QFETCH(int, ready);
    FakeCores cores;
    MpvCorePool pool([&cores](bool software) { return cores.make(software); });
    QSignalSpy refilled(&pool, &MpvCorePool::refilled);
    pool.setRefillDelay(0);
    pool.setCapacity(capacity);
    for (int i = 0; i < items; ++i)
        pool.itemCreated(false);
    if (capacity > 0) {
        QTRY_VERIFY_WITH_TIMEOUT(!refilled.isEmpty(), Timeout);
        QCOMPARE(refilled.last().at(0).toInt(), ready);
    }
    QCOMPARE(pool.readyCount(), ready);
    QCOMPARE(cores.made(), ready);

    for (int i = 0; i < ready; ++i)
        QVERIFY(pool.take(false));
    QVERIFY2(!pool.take(false), "an empty pool hands out an empty core");
}

void TestMpvCorePool::handsOutOnlyCoresOfTheKindAsked()
{
    FakeCores cores;
    MpvCorePool pool([&cores](bool software) { return cores.make(software); });
    QSignalSpy refilled(&pool, &MpvCorePool::refilled);
    pool.setRefillDelay(0);
    pool.setCapacity(4);
    pool.itemCreated(true);
    pool.itemCreated(true);
    QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 2, Timeout);

    PreparedCore software = pool.take(true);
    QVERIFY(software);
    QVERIFY(software.software);
    // The render mode changed: the cores of the old kind are of no use and are ended.
    QVERIFY(!pool.take(false));
    QCOMPARE(pool.readyCount(), 0);
    QCOMPARE(cores.alive(), 1);
}

void TestMpvCorePool::dropsWhatItNoLongerNeeds()
{
    FakeCores cores;
    MpvCorePool pool([&cores](bool software) { return cores.make(software); });
    QSignalSpy refilled(&pool, &MpvCorePool::refilled);
    pool.setRefillDelay(0);
    pool.setCapacity(16);
    for (int i = 0; i < 9; ++i)
        pool.itemCreated(false);
    QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 9, Timeout);

    // A switch from nine tiles to four.
    for (int i = 0; i < 5; ++i)
        pool.itemDestroyed();
    QTRY_COMPARE_WITH_TIMEOUT(pool.readyCount(), 4, Timeout);
    QCOMPARE(cores.alive(), 4);
    QCOMPARE(pool.itemCount(), 4);

    pool.setCapacity(0);
    QCOMPARE(pool.readyCount(), 0);
    QCOMPARE(cores.alive(), 0);
}

void TestMpvCorePool::waitsForTheRefillDelay()
{
    // Tiles that are starting come first: nothing is made while items keep coming and going.
    FakeCores cores;
    MpvCorePool pool([&cores](bool software) { return cores.make(software); });
    QSignalSpy refilled(&pool, &MpvCorePool::refilled);
    const int delayMs = 1000;
    pool.setRefillDelay(delayMs);
    pool.setCapacity(16);
    QElapsedTimer sinceLastChange;
    // Items keep coming, each well within the delay of the one before: nothing is made.
    const int betweenItems = delayMs / 20;
    for (int i = 0; i < 5; ++i) {
        pool.itemCreated(false);
        sinceLastChange.start();
        QTest::qWait(betweenItems);
        QCOMPARE(cores.made(), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!refilled.isEmpty(), Timeout);
    // (A coarse timer may fire a little early.)
    QVERIFY(sinceLastChange.elapsed() >= delayMs / 2);
    QCOMPARE(pool.readyCount(), 5);
}

void TestMpvCorePool::aFailingFactoryLeavesTheItemsToMakeTheirOwn()
{
    std::atomic<int> calls{0};
    MpvCorePool pool([&calls](bool) -> PreparedCore {
        ++calls;
        throw std::runtime_error("could not create mpv context");
    });
    QSignalSpy refilled(&pool, &MpvCorePool::refilled);
    pool.setRefillDelay(0);
    pool.setCapacity(4);
    QTest::ignoreMessage(QtWarningMsg, "Could not make a player ahead of time: could not create mpv context");
    pool.itemCreated(false);
    pool.itemCreated(false);
    QTRY_VERIFY_WITH_TIMEOUT(!refilled.isEmpty(), Timeout);
    QCOMPARE(refilled.last().at(0).toInt(), 0);
    // One failure ends the pass instead of trying again and again.
    QCOMPARE(calls.load(), 1);
    QVERIFY(!pool.take(false));
}

void TestMpvCorePool::shutDownWaitsForTheCoreBeingMade()
{
    FakeCores cores;
    QSemaphore started;
    QSemaphore proceed;
    MpvCorePool pool([&](bool software) {
        started.release();
        proceed.acquire();
        return cores.make(software);
    });
    pool.setRefillDelay(0);
    pool.setCapacity(4);
    pool.itemCreated(false);
    pool.itemCreated(false);
    QTRY_VERIFY_WITH_TIMEOUT(started.available() == 1, Timeout);
    // Let the worker finish the core it is making while the pool shuts down.
    proceed.release(2);
    pool.shutDown();
    QCOMPARE(pool.readyCount(), 0);
    QCOMPARE(cores.alive(), 0);
    QVERIFY(cores.made() >= 1);
}

QTEST_GUILESS_MAIN(TestMpvCorePool)
#include "tst_mpvcorepool.moc"
