// SPDX-License-Identifier: MIT
// The journal as the list shows it: newest first, in batches, filtered, acknowledged.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "eventfixtures.h"
#include "eventlistmodel.h"

using eventfixtures::entry;

class tst_EventListModel : public QObject
{
    Q_OBJECT

private slots:
    void showsNewestFirstInBatches();
    void filters_data();
    void filters();
    void acknowledgingChangesStateAndCounts();
    void dropsTheOldestBeyondKeepCount();
};

void tst_EventListModel::showsNewestFirstInBatches()
{
    EventListModel model(50, 100);
    model.setAlarmsOnly(false);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy countChanged(&model, &EventListModel::countChanged);

    for (int i = 1; i <= 3; ++i)
        model.append(entry(i, QStringLiteral("door.opened"), 10));
    QCOMPARE(model.rowCount(), 0); // waits for its batch
    QCOMPARE(model.totalCount(), 3);
    QTRY_COMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 0);
    QCOMPARE(inserted.first().at(2).toInt(), 2);
    QCOMPARE(countChanged.count(), 1);

    model.append(entry(4, QStringLiteral("door.closed"), 10));
    model.append(entry(5, QStringLiteral("door.forcedOpen"), 90));
    model.publishPending();
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.last().at(2).toInt(), 1);
    QCOMPARE(model.rowCount(), 5);
    const QList<qlonglong> expected{5, 4, 3, 2, 1};
    for (int row = 0; row < 5; ++row)
        QCOMPARE(model.data(model.index(row), EventListModel::LocalIdRole).toLongLong(), expected[row]);
    const QVariantMap top = model.get(0);
    QCOMPARE(top.value("title").toString(), QStringLiteral("Door forced open"));
    QCOMPARE(top.value("priorityColor").toString(), QStringLiteral("#d32f2f"));
    QCOMPARE(top.value("state").toString(), QStringLiteral("new"));
    QCOMPARE(top.value("isAlarm").toBool(), true);
    QCOMPARE(model.get(1).value("priorityColor").toString(), QStringLiteral("#9e9e9e"));
    QCOMPARE(top.size(), model.roleNames().size());
}

void tst_EventListModel::filters_data()
{
    QTest::addColumn<bool>("alarmsOnly");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("minPriority");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QList<qlonglong>>("shown");

    // 1 opened 10, 2 denied 60 (card 0042), 3 forced 90 at Back door, 4 motion 40 ended,
    // 5 tamper 80 acknowledged, 6 held open 70 ended.
    QTest::newRow("alarms only") << true << ""
                                 << "" << 0 << "" << QList<qlonglong>{6, 5, 3, 2};
    QTest::newRow("everything") << false << ""
                                << "" << 0 << "" << QList<qlonglong>{6, 5, 4, 3, 2, 1};
    QTest::newRow("text in fields") << false << "0042"
                                    << "" << 0 << "" << QList<qlonglong>{2};
    QTest::newRow("text in source, any case") << false << "BACK door"
                                              << "" << 0 << "" << QList<qlonglong>{3};
    QTest::newRow("text in title") << false << "motion"
                                   << "" << 0 << "" << QList<qlonglong>{4};
    QTest::newRow("class") << false << ""
                           << "door.accessDenied" << 0 << "" << QList<qlonglong>{2};
    QTest::newRow("priority") << false << ""
                              << "" << 75 << "" << QList<qlonglong>{5, 3};
    QTest::newRow("new") << false << ""
                         << "" << 0 << "new" << QList<qlonglong>{3, 2, 1};
    QTest::newRow("ended, acknowledged not") << false << ""
                                             << "" << 0 << "ended" << QList<qlonglong>{6, 4};
    QTest::newRow("acknowledged") << true << ""
                                  << "" << 0 << "acknowledged" << QList<qlonglong>{5};
    QTest::newRow("nothing") << false << "no such text"
                             << "" << 0 << "" << QList<qlonglong>{};
}

void tst_EventListModel::filters()
{
    QFETCH(bool, alarmsOnly);
    QFETCH(QString, text);
    QFETCH(QString, className);
    QFETCH(int, minPriority);
    QFETCH(QString, state);
    QFETCH(QList<qlonglong>, shown);

    EventListModel model(50, 100);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::vector<StationEvent> entries{
        entry(1, "door.opened", 10),
        entry(2, "door.accessDenied", 60),
        entry(3, "door.forcedOpen", 90, 7, "Back door"),
        entry(4, "camera.motion", 40, 3, "Cam 1"),
        entry(5, "camera.tamper", 80, 3, "Cam 1"),
        entry(6, "door.heldOpen", 70),
    };
    entries[1].fieldsText = QStringLiteral("door: Front door, card: 0042");
    entries[3].endedAt = entries[5].endedAt = entries[4].endedAt = 1000;
    entries[4].acknowledged = true;
    // As from the journal: without search texts, which the model makes itself.
    model.reset(std::move(entries));

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setAlarmsOnly(alarmsOnly);
    model.setTextFilter(text);
    model.setClassFilter(className);
    model.setMinPriority(minPriority);
    model.setStateFilter(state);
    QList<qlonglong> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids << model.data(model.index(row), EventListModel::LocalIdRole).toLongLong();
    QCOMPARE(ids, shown);
    QCOMPARE(model.count(), shown.size());
    QCOMPARE(model.totalCount(), 6);
    QVERIFY(reset.count() <= 5);
}

void tst_EventListModel::acknowledgingChangesStateAndCounts()
{
    EventListModel model(50, 100);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.append(entry(1, "door.forcedOpen", 90));
    model.append(entry(2, "door.accessDenied", 60, 7, "Back door"));
    model.append(entry(3, "door.opened", 10));
    model.publishPending();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.unacknowledgedAlarms(), 2);
    QVERIFY(model.hasOpenAlarm(6));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy openAlarms(&model, &EventListModel::openAlarmsChanged);
    QVERIFY(model.acknowledge(1, QStringLiteral("guard"), 5000));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toModelIndex().row(), 1);
    QCOMPARE(openAlarms.count(), 1);
    QCOMPARE(model.unacknowledgedAlarms(), 1);
    QVERIFY(!model.hasOpenAlarm(6));
    QCOMPARE(model.get(1).value("state").toString(), QStringLiteral("acknowledged"));
    QCOMPARE(model.get(1).value("ackBy").toString(), QStringLiteral("guard"));

    // A later acknowledgement of the same event changes nothing; an earlier one wins.
    QVERIFY(!model.acknowledge(1, QStringLiteral("operator"), 6000));
    QVERIFY(model.acknowledge(1, QStringLiteral("operator"), 4000));
    QCOMPARE(model.get(1).value("ackBy").toString(), QStringLiteral("operator"));
    QCOMPARE(model.unacknowledgedAlarms(), 1);

    // Under the filter "new" an acknowledged row leaves, an ended one too.
    model.setStateFilter(QStringLiteral("new"));
    QCOMPARE(model.rowCount(), 1);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QVERIFY(model.markEnded(2, 7000));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.unacknowledgedAlarms(), 1); // ended, still to be acknowledged
}

void tst_EventListModel::dropsTheOldestBeyondKeepCount()
{
    EventListModel model(50, 3);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    for (int i = 1; i <= 3; ++i)
        model.append(entry(i, "door.forcedOpen", 90));
    model.publishPending();
    for (int i = 4; i <= 5; ++i)
        model.append(entry(i, "door.forcedOpen", 90));
    model.publishPending();
    QCOMPARE(model.totalCount(), 3);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(model.get(2).value("localId").toLongLong(), 3);
    QCOMPARE(model.unacknowledgedAlarms(), 3);
    QVERIFY(!model.findByLocalId(2));
    QVERIFY(!model.findByEventId(1));
    QVERIFY(model.acknowledge(4, QStringLiteral("guard"), 1));
    QCOMPARE(model.get(1).value("state").toString(), QStringLiteral("acknowledged"));
}

QTEST_GUILESS_MAIN(tst_EventListModel)

#include "tst_eventlistmodel.moc"
