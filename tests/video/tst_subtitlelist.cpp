// SPDX-License-Identifier: MIT
#include <QAbstractItemModelTester>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "subtitlelist.h"
#include "videotypes.h"

class TestSubtitleList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerVideoTypes(); }

    void appendsUpToTheMaximum();
    void popTakesTheOldest();
    void maximumChanges();
    void dataAndRoles();
    void creatableInQml();
};

namespace {

QStringList labels(const SubtitleList& list)
{
    QStringList result;
    for (int row = 0; row < list.rowCount(); ++row)
        result << list.data(list.index(row), SubtitleList::LabelRole).toString();
    return result;
}

} // namespace

void TestSubtitleList::appendsUpToTheMaximum()
{
    SubtitleList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&list, &SubtitleList::timerNeedReset);
    QCOMPARE(list.maxLines(), 15);

    for (int i = 0; i < 15; ++i)
        list.appendLine(QStringLiteral("line %1").arg(i));
    QCOMPARE(list.rowCount(), 15);
    QCOMPARE(inserted.count(), 15);
    QCOMPARE(inserted.last().at(1).toInt(), 14);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(reset.count(), 15);

    // Full: the oldest goes first, then the new one comes in at the end.
    QStringList order;
    connect(&list, &QAbstractItemModel::rowsRemoved, this,
            [&](const QModelIndex&, int first, int) { order << QStringLiteral("removed %1").arg(first); });
    connect(&list, &QAbstractItemModel::rowsInserted, this,
            [&](const QModelIndex&, int first, int) { order << QStringLiteral("inserted %1").arg(first); });
    list.appendLine(QStringLiteral("line 15"));
    QCOMPARE(order, (QStringList{"removed 0", "inserted 14"}));
    QCOMPARE(list.rowCount(), 15);
    QCOMPARE(reset.count(), 16);
    QCOMPARE(labels(list).first(), QStringLiteral("line 1"));
    QCOMPARE(labels(list).last(), QStringLiteral("line 15"));
}

void TestSubtitleList::popTakesTheOldest()
{
    SubtitleList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&list, &SubtitleList::timerNeedReset);

    QVERIFY(!list.pop());
    QCOMPARE(removed.count(), 0);

    list.appendLine(QStringLiteral("a"));
    list.appendLine(QStringLiteral("b"));
    QVERIFY(list.pop());
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(labels(list), QStringList{"b"});
    QVERIFY(list.pop());
    QVERIFY(!list.pop());
    QCOMPARE(removed.count(), 2);
    QCOMPARE(reset.count(), 2);
}

void TestSubtitleList::maximumChanges()
{
    SubtitleList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&list, &SubtitleList::maxLinesChanged);
    list.setMaxLines(15);
    QCOMPARE(changed.count(), 0);

    for (const char* line : {"a", "b", "c", "d", "e"})
        list.appendLine(QString::fromLatin1(line));
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    list.setMaxLines(3);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list.maxLines(), 3);
    // Lowering does not trim; each append then drops one line only.
    QCOMPARE(list.rowCount(), 5);
    QCOMPARE(removed.count(), 0);
    list.appendLine(QStringLiteral("f"));
    QCOMPARE(labels(list), (QStringList{"b", "c", "d", "e", "f"}));

    // A maximum of 0 still lets one line stay.
    SubtitleList none;
    none.setMaxLines(0);
    none.appendLine(QStringLiteral("x"));
    none.appendLine(QStringLiteral("y"));
    QCOMPARE(labels(none), QStringList{"y"});
}

void TestSubtitleList::dataAndRoles()
{
    SubtitleList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.appendLine(QStringLiteral("TOTAL 3.50"));
    QCOMPARE(list.roleNames(), (QHash<int, QByteArray>{{Qt::UserRole + 1, "label"}}));
    QCOMPARE(int(SubtitleList::LabelRole), 257);
    QCOMPARE(list.data(list.index(0), 257).toString(), QStringLiteral("TOTAL 3.50"));
    QVERIFY(!list.data(list.index(0), Qt::DisplayRole).isValid());
    QVERIFY(!list.data(list.index(1), 257).isValid());
    QVERIFY(!list.data(QModelIndex(), 257).isValid());
    QCOMPARE(list.rowCount(list.index(0)), 0);
}

void TestSubtitleList::creatableInQml()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import Native 1.0\nSubtitleList { maxLines: 3 }", QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    auto* list = qobject_cast<SubtitleList*>(object.data());
    QVERIFY(list);
    QCOMPARE(list->maxLines(), 3);
}

QTEST_GUILESS_MAIN(TestSubtitleList)
#include "tst_subtitlelist.moc"
