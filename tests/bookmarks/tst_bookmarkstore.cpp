// SPDX-License-Identifier: MIT
// Bookmarks shared through a running simulator by two stations signed in to it: one writes, the
// other sees it at its next fetch; bad attributes are skipped; refused writes change nothing.
#include <memory>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "bookmarkstore.h"
#include "logcapture.h"
#include "simprocess.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace {

constexpr int Timeout = 10000;
const QString Cam1 = QStringLiteral("3"); // of sites/station.json
const QString Cam2 = QStringLiteral("4");

struct Station
{
    VantorObjectsRepository repository;
    VantorClient client;
    BookmarkStore store;
    std::unique_ptr<QAbstractItemModelTester> tester;

    bool signIn(int port)
    {
        client.setRepository(&repository);
        QSignalSpy connected(&client, &VantorClient::connected);
        QSignalSpy loggedIn(&client, &VantorClient::loggedIn);
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setUsername(QStringLiteral("operator"));
        client.setPassword(QStringLiteral("s3cret"));
        client.connectToVantor();
        if (!connected.wait(Timeout))
            return false;
        client.login();
        if (!loggedIn.wait(Timeout))
            return false;
        store.setClient(&client);
        store.setAuthor(client.username());
        tester =
            std::make_unique<QAbstractItemModelTester>(&store, QAbstractItemModelTester::FailureReportingMode::QtTest);
        return true;
    }

    bool fetch(const QStringList& streams)
    {
        QSignalSpy fetched(&store, &BookmarkStore::fetched);
        store.fetch(streams);
        return QTest::qWaitFor([&] { return fetched.count() == streams.size(); }, Timeout);
    }
};

} // namespace

class TestBookmarkStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_sim.start(SERVER_SITES_DIR "/station.json"), qPrintable(m_sim.errorText())); }

    void sharedBetweenStations()
    {
        Station a;
        Station b;
        QVERIFY(a.signIn(m_sim.serverPort()));
        QVERIFY(b.signIn(m_sim.serverPort()));
        QVERIFY(a.fetch({Cam1, Cam2}));
        QVERIFY(b.fetch({Cam1}));
        QCOMPARE(b.store.rowCount(), 0);

        // The station that writes sees it at once, in start order.
        QSignalSpy saved(&a.store, &BookmarkStore::saved);
        QSignalSpy inserted(&a.store, &QAbstractItemModel::rowsInserted);
        QVERIFY(a.store.add(Cam1, 5000, 9000, QStringLiteral("Shelf swept"), QStringLiteral("Aisle 4")));
        QVERIFY(saved.wait(Timeout));
        QVERIFY(a.store.add(Cam1, 1000, 1000, QStringLiteral("Door held"), QString()));
        QVERIFY(saved.wait(Timeout));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(a.store.get(0).value("title").toString(), QStringLiteral("Door held"));
        QCOMPARE(a.store.get(1).value("author").toString(), QStringLiteral("operator"));
        QCOMPARE(a.store.search(QStringLiteral("AISLE")).size(), 1);

        // The other at its next fetch.
        QVERIFY(b.fetch({Cam1}));
        QCOMPARE(b.store.rowCount(), 2);
        QCOMPARE(b.store.get(1).value("note").toString(), QStringLiteral("Aisle 4"));
        QCOMPARE(b.store.get(1).value("end").toLongLong(), 9000);

        // Edit on one, seen by the other; a delete on one makes the other's edit a refused write.
        const QString id = a.store.get(1).value("bookmarkId").toString();
        QSignalSpy changed(&a.store, &QAbstractItemModel::dataChanged);
        QVERIFY(a.store.edit(id, QStringLiteral("Shelf swept clean"), QStringLiteral("Aisle 4, 2 people")));
        QVERIFY(saved.wait(Timeout));
        QCOMPARE(changed.count(), 1);
        QVERIFY(b.fetch({Cam1}));
        QCOMPARE(b.store.get(1).value("title").toString(), QStringLiteral("Shelf swept clean"));

        QSignalSpy removed(&a.store, &BookmarkStore::removed);
        a.store.remove(id);
        QVERIFY(removed.wait(Timeout));
        QCOMPARE(a.store.rowCount(), 1);
        QSignalSpy refused(&b.store, &BookmarkStore::writeFailed);
        QVERIFY(b.store.edit(id, QStringLiteral("Too late"), QString()));
        QVERIFY(refused.wait(Timeout));
        QCOMPARE(refused.first().first().toString(), id);
        QVERIFY(!refused.first().at(1).toString().isEmpty());
        QCOMPARE(b.store.get(1).value("title").toString(), QStringLiteral("Shelf swept clean"));
        QVERIFY(b.fetch({Cam1}));
        QCOMPARE(b.store.rowCount(), 1);

        for (int row = a.store.rowCount() - 1; row >= 0; --row) {
            a.store.remove(a.store.get(row).value("bookmarkId").toString());
            QVERIFY(removed.wait(Timeout));
        }
    }

    void badAttributesAreSkipped()
    {
        Station a;
        QVERIFY(a.signIn(m_sim.serverPort()));
        bool done = false;
        a.client.createAttribute(Cam2, QStringLiteral("bookmark.broken"), QStringLiteral("{\"bookmark\":1,"),
                                 [&](const QString& error) { done = error.isEmpty(); });
        QTRY_VERIFY_WITH_TIMEOUT(done, Timeout);
        done = false;
        a.client.createAttribute(Cam2, QStringLiteral("camera-note"), QStringLiteral("not ours"),
                                 [&](const QString& error) { done = error.isEmpty(); });
        QTRY_VERIFY_WITH_TIMEOUT(done, Timeout);
        done = false;
        const QString good = Bookmark::newId();
        a.client.createAttribute(Cam2, good, QStringLiteral(R"({"bookmark":1,"start":7,"title":"Kept"})"),
                                 [&](const QString& error) { done = error.isEmpty(); });
        QTRY_VERIFY_WITH_TIMEOUT(done, Timeout);

        LogCapture log;
        QVERIFY(a.fetch({Cam2}));
        QCOMPARE(a.store.rowCount(), 1);
        QCOMPARE(a.store.get(0).value("bookmarkId").toString(), good);
        QCOMPARE(log.lines(QtWarningMsg).filter(QStringLiteral("bookmark.broken")).size(), 1);
        QCOMPARE(log.lines(QtWarningMsg).filter(QStringLiteral("camera-note")).size(), 0);

        // A write to an object the server does not have is refused, and nothing is added.
        QSignalSpy refused(&a.store, &BookmarkStore::writeFailed);
        QVERIFY(a.store.add(QStringLiteral("999"), 1, 1, QStringLiteral("Nowhere"), QString()));
        QVERIFY(refused.wait(Timeout));
        QCOMPARE(a.store.rowCount(), 1);
        // Texts that cannot be stored are refused before anything is sent.
        QVERIFY(!a.store.add(Cam2, 1, 1, QStringLiteral("   "), QString()));
        QCOMPARE(refused.count(), 1);
    }

private:
    SimProcess m_sim;
};

QTEST_GUILESS_MAIN(TestBookmarkStore)
#include "tst_bookmarkstore.moc"
