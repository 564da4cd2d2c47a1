// SPDX-License-Identifier: MIT
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "layoutlist.h"

class TestLayoutList : public QObject
{
    Q_OBJECT

private slots:
    void emptyListHasNoData()
    {
        LayoutList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(list.rowCount(), 0);
        QVERIFY(!list.data(list.index(0, 0), LayoutList::NameRole).isValid());
        QVERIFY(!list.data(QModelIndex(), LayoutList::NameRole).isValid());
    }

    void roles()
    {
        LayoutList list;
        QCOMPARE(list.roleNames(), (QHash<int, QByteArray>{{257, "name"}, {258, "json"}}));
    }

    void refillEmitsOneResetThenSingleRowInserts()
    {
        LayoutList list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.append(QStringLiteral("old"), QStringLiteral("{}"));

        QSignalSpy aboutToReset(&list, &QAbstractItemModel::modelAboutToBeReset);
        QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
        list.clear();
        list.append(QStringLiteral("A"), QStringLiteral("{\"a\":1}"));
        list.append(QStringLiteral("B"), QStringLiteral("{\"b\":2}"));
        list.append(QStringLiteral("C"), QStringLiteral("{\"c\":3}"));

        QCOMPARE(aboutToReset.count(), 1);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(inserted.count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(inserted.at(i).at(1).toInt(), i);
            QCOMPARE(inserted.at(i).at(2).toInt(), i);
            QVERIFY(!inserted.at(i).at(0).value<QModelIndex>().isValid());
        }
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(list.data(list.index(2, 0), LayoutList::JsonRole).toString(), QStringLiteral("{\"c\":3}"));
    }

    void clearOnEmptyStillResets()
    {
        LayoutList list;
        QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
        list.clear();
        QCOMPARE(reset.count(), 1);
    }

    void sameNamesKeepTheirOwnJson()
    {
        LayoutList list;
        list.append(QStringLiteral("Hall"), QStringLiteral("first"));
        list.append(QStringLiteral("Hall"), QStringLiteral("second"));
        QCOMPARE(list.data(list.index(0, 0), LayoutList::JsonRole).toString(), QStringLiteral("first"));
        QCOMPARE(list.data(list.index(1, 0), LayoutList::JsonRole).toString(), QStringLiteral("second"));
        QCOMPARE(list.data(list.index(1, 0), LayoutList::NameRole).toString(), QStringLiteral("Hall"));
    }

    void outOfRangeGivesNothing_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("role");
        QTest::newRow("row at count") << 1 << 257;
        QTest::newRow("role below") << 0 << 256;
        QTest::newRow("role above") << 0 << 259;
        QTest::newRow("display role") << 0 << int(Qt::DisplayRole);
    }

    void outOfRangeGivesNothing()
    {
        QFETCH(int, row);
        QFETCH(int, role);
        LayoutList list;
        list.append(QStringLiteral("only"), QStringLiteral("{}"));
        QVERIFY(!list.data(list.index(row, 0), role).isValid());
    }
};

QTEST_GUILESS_MAIN(TestLayoutList)
#include "tst_layoutlist.moc"
