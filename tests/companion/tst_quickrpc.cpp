// SPDX-License-Identifier: MIT
// QuickRpc against a source hosted by the test: sign-in state, layout list and the requests sent.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "layoutlist.h"
#include "logcapture.h"
#include "quickrpc.h"
#include "testsource.h"

namespace {

QStringList rows(const LayoutList& list)
{
    QStringList result;
    for (int row = 0; row < list.rowCount(); ++row) {
        const QModelIndex index = list.index(row, 0);
        result << list.data(index, LayoutList::NameRole).toString() + '=' +
                      list.data(index, LayoutList::JsonRole).toString();
    }
    return result;
}

} // namespace

class TestQuickRpc : public QObject
{
    Q_OBJECT

private:
    // A client on a fresh address and a companion connected to it, with the opening exchange done.
    struct Pair
    {
        explicit Pair(bool signedIn = false, const TestSource::Layouts& layouts = {})
            : source(TestSource::freeUrl()), tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest)
        {
            source.setLoggedIn(signedIn);
            source.setLayouts(layouts);
            started = source.start();
            rpc = std::make_unique<QuickRpc>(source.url(), &list);
        }

        // Everything sent before now has reached the source once this returns true: the
        // connection keeps order, so a marker sent last arrives last.
        bool flushRequests()
        {
            const QString marker = QStringLiteral("setLayout flush-%1 ").arg(++flushes);
            rpc->setLayout(QStringLiteral("flush-%1").arg(flushes), QString());
            return QTest::qWaitFor([&] { return source.calls().contains(marker); }, 10000);
        }

        // Likewise for what the source sent: its marker list shows up in the model last.
        bool flushSignals()
        {
            const QString marker = QStringLiteral("marker-%1").arg(++flushes);
            source.setLayouts({{marker, QString()}});
            return QTest::qWaitFor([&] { return rows(list) == QStringList{marker + '='}; }, 10000);
        }

        TestSource source;
        LayoutList list;
        QAbstractItemModelTester tester;
        std::unique_ptr<QuickRpc> rpc;
        bool started = false;
        int flushes = 0;
    };

    static bool waitForValid(Pair& pair)
    {
        return QTest::qWaitFor([&] { return pair.source.count(QStringLiteral("requestLoginStatus")) > 0; }, 10000);
    }

private slots:
    void openingExchangeAsksForStatusThenLayouts_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::addColumn<QStringList>("expectedRows");
        QTest::newRow("client signed out") << false << QStringList{"requestLoginStatus"} << QStringList();
        QTest::newRow("client signed in") << true << QStringList{"requestLoginStatus", "requestLayoutList"}
                                          << QStringList{"Lobby={\"a\":1}", "Yard={\"b\":2}"};
    }

    void openingExchangeAsksForStatusThenLayouts()
    {
        QFETCH(bool, signedIn);
        QFETCH(QStringList, expectedCalls);
        QFETCH(QStringList, expectedRows);
        Pair pair(signedIn, {{"Lobby", "{\"a\":1}"}, {"Yard", "{\"b\":2}"}});
        QVERIFY(pair.started);
        QSignalSpy changed(pair.rpc.get(), &QuickRpc::loggedInChanged);
        QVERIFY(waitForValid(pair));
        QTRY_COMPARE_WITH_TIMEOUT(pair.rpc->loggedIn(), signedIn, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rows(pair.list), expectedRows, 10000);
        QVERIFY(pair.flushRequests());
        QCOMPARE(pair.source.calls().mid(0, expectedCalls.size()), expectedCalls);
        QCOMPARE(pair.source.calls().size(), expectedCalls.size() + 1);
        QCOMPARE(changed.count(), signedIn ? 1 : 0);
    }

    void loginStateFollowsTheClient_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<int>("changes");
        QTest::addColumn<int>("listRequests");
        QTest::newRow("signs in") << QStringList{"in"} << true << 1 << 1;
        QTest::newRow("signed in told twice") << QStringList{"in", "in"} << true << 1 << 2;
        QTest::newRow("logged out") << QStringList{"in", "out"} << false << 2 << 1;
        QTest::newRow("signed in false") << QStringList{"in", "false"} << false << 2 << 1;
        QTest::newRow("logged out while signed out") << QStringList{"out"} << false << 0 << 0;
        QTest::newRow("signed in false while signed out") << QStringList{"false"} << false << 0 << 0;
        QTest::newRow("signs in again") << QStringList{"in", "out", "in"} << true << 3 << 2;
    }

    void loginStateFollowsTheClient()
    {
        QFETCH(QStringList, events);
        QFETCH(bool, expected);
        QFETCH(int, changes);
        QFETCH(int, listRequests);
        Pair pair;
        QVERIFY(pair.started);
        QVERIFY(waitForValid(pair));
        QVERIFY(pair.flushSignals());
        QSignalSpy changed(pair.rpc.get(), &QuickRpc::loggedInChanged);

        for (const QString& event : events) {
            if (event == QLatin1String("in"))
                pair.source.setLoggedIn(true);
            else if (event == QLatin1String("false"))
                pair.source.setLoggedIn(false);
            else
                pair.source.emitLoggedOut();
        }
        QVERIFY(pair.flushSignals());
        QVERIFY(pair.flushRequests());
        QCOMPARE(pair.rpc->loggedIn(), expected);
        QCOMPARE(pair.rpc->property("loggedIn").toBool(), expected);
        QCOMPARE(changed.count(), changes);
        QCOMPARE(pair.source.count(QStringLiteral("requestLayoutList")), listRequests);
    }

    void lostConnectionSignsOutOnceAndReconnects()
    {
        Pair pair(true, {{"Lobby", "{}"}});
        QVERIFY(pair.started);
        QTRY_VERIFY_WITH_TIMEOUT(pair.rpc->loggedIn(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(pair.list.rowCount(), 1, 10000);
        QSignalSpy changed(pair.rpc.get(), &QuickRpc::loggedInChanged);

        pair.source.stop();
        QVERIFY(changed.wait(10000));
        QCOMPARE(changed.count(), 1);
        QVERIFY(!pair.rpc->loggedIn());
        // The list keeps the last rows until the next refill.
        QCOMPARE(rows(pair.list), QStringList{"Lobby={}"});

        // Back on the same address: the state is asked for again and the companion follows.
        pair.source.setLayouts({{"Yard", "{\"y\":1}"}});
        QVERIFY(pair.source.start());
        QTRY_COMPARE_WITH_TIMEOUT(pair.source.count(QStringLiteral("requestLoginStatus")), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(pair.rpc->loggedIn(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rows(pair.list), QStringList{"Yard={\"y\":1}"}, 10000);
        QCOMPARE(pair.source.count(QStringLiteral("requestLayoutList")), 2);
    }

    void refillReplacesTheRows()
    {
        Pair pair(true);
        QVERIFY(pair.started);
        QTRY_VERIFY_WITH_TIMEOUT(pair.rpc->loggedIn(), 10000);
        QVERIFY(pair.flushSignals());
        QSignalSpy reset(&pair.list, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&pair.list, &QAbstractItemModel::rowsInserted);

        pair.source.setLayouts({{"A", "{\"a\":1}"}, {"B", "{\"b\":2}"}, {"C", "{\"c\":3}"}});
        QTRY_COMPARE_WITH_TIMEOUT(pair.list.rowCount(), 3, 10000);
        pair.source.setLayouts({{"D", "{\"d\":4}"}, {"E", "{\"e\":5}"}});
        QTRY_COMPARE_WITH_TIMEOUT(rows(pair.list), (QStringList{"D={\"d\":4}", "E={\"e\":5}"}), 10000);

        // One reset per list, then one single-row insert per layout in the order received.
        QCOMPARE(reset.count(), 2);
        QCOMPARE(inserted.count(), 5);
        const QList<int> firstRows{0, 1, 2, 0, 1};
        for (int i = 0; i < inserted.count(); ++i) {
            QCOMPARE(inserted.at(i).at(1).toInt(), firstRows.at(i));
            QCOMPARE(inserted.at(i).at(2).toInt(), firstRows.at(i));
        }

        // An empty list empties the model.
        pair.source.setLayouts({});
        QTRY_COMPARE_WITH_TIMEOUT(pair.list.rowCount(), 0, 10000);
    }

    void layoutsWithOneNameEachSendTheirOwnJson()
    {
        const QString first = QStringLiteral("{\"rows\":1,\"n\":\"first\"}");
        const QString second = QStringLiteral("{\"rows\":2,\"n\":\"zweite \u00e9t\u00e9\"}");
        Pair pair(true, {{"Lobby", first}, {"Lobby", second}});
        QVERIFY(pair.started);
        QTRY_COMPARE_WITH_TIMEOUT(pair.list.rowCount(), 2, 10000);

        for (int row : {1, 0}) {
            const QModelIndex index = pair.list.index(row, 0);
            pair.rpc->setLayout(pair.list.data(index, LayoutList::NameRole).toString(),
                                pair.list.data(index, LayoutList::JsonRole).toString());
        }
        QVERIFY(pair.flushRequests());
        const QStringList sent = pair.source.calls().filter(QRegularExpression("^setLayout Lobby "));
        QCOMPARE(sent, (QStringList{"setLayout Lobby " + second, "setLayout Lobby " + first}));
    }

    void setPageSendsOnlyTheTwoPages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("expected");
        QTest::newRow("playback") << QStringLiteral("playback") << QStringLiteral("jumpPage 1");
        QTest::newRow("recorder") << QStringLiteral("recorder") << QStringLiteral("jumpPage 0");
        QTest::newRow("capital P") << "Playback" << QString();
        QTest::newRow("upper case") << "RECORDER" << QString();
        QTest::newRow("settings") << "settings" << QString();
        QTest::newRow("empty") << "" << QString();
        QTest::newRow("padded") << " playback" << QString();
    }

    void setPageSendsOnlyTheTwoPages()
    {
        QFETCH(QString, page);
        QFETCH(QString, expected);
        Pair pair;
        QVERIFY(pair.started);
        QVERIFY(waitForValid(pair));
        QVERIFY(pair.flushRequests());
        const int before = pair.source.calls().size();

        LogCapture log;
        pair.rpc->setPage(page);
        QVERIFY(pair.flushRequests());
        const QStringList sent = pair.source.calls().mid(before);
        QCOMPARE(sent.size(), expected.isEmpty() ? 1 : 2);
        if (!expected.isEmpty())
            QCOMPARE(sent.first(), expected);
        QCOMPARE(log.count(QStringLiteral("Invalid page")), expected.isEmpty() ? 1 : 0);
    }

    void pageChosenBeforeTheClientIsReachedIsSentOnConnection()
    {
        TestSource source(TestSource::freeUrl());
        LayoutList list;
        QuickRpc rpc(source.url(), &list);
        LogCapture log;
        rpc.setPage(QStringLiteral("recorder"));
        rpc.setPage(QStringLiteral("playback"));
        // A layout is not kept for later: applying it long after the click would surprise.
        rpc.setLayout(QStringLiteral("Lobby"), QStringLiteral("{}"));
        QVERIFY(log.lines(QtWarningMsg)
                    .contains(QStringLiteral("Not connected to the client, layout not applied: \"Lobby\"")));

        QVERIFY(source.start());
        QTRY_COMPARE_WITH_TIMEOUT(source.count(QStringLiteral("jumpPage 1")), 1, 10000);
        rpc.setLayout(QStringLiteral("flush"), QString());
        QTRY_VERIFY_WITH_TIMEOUT(source.calls().contains(QStringLiteral("setLayout flush ")), 10000);
        // Only the last choice goes, and only once.
        QCOMPARE(source.calls(), (QStringList{"requestLoginStatus", "jumpPage 1", "setLayout flush "}));
    }
};

QTEST_GUILESS_MAIN(TestQuickRpc)
#include "tst_quickrpc.moc"
