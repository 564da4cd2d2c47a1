#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "vantorsetting.h"

namespace {

// Gives indexes past the rows, as a view may still hold after the model changed.
class Setting : public VantorSetting
{
public:
    Setting()
    {
        insert("url", "u");
        insert("port", "p");
        insert("layout", "l");
    }
    QModelIndex raw(int row) const { return createIndex(row, 0); }
    QStringList column(int role) const
    {
        QStringList list;
        for (int row = 0; row < rowCount(); ++row)
            list << data(index(row), role).toString();
        return list;
    }
};

} // namespace

class TestVantorSetting : public QObject
{
    Q_OBJECT

private slots:
    void insertAndLookup();
    void setData_data();
    void setData();
};

void TestVantorSetting::insertAndLookup()
{
    VantorSetting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.insert("url", "first");
    model.insert("posPort", "");
    model.insert("url", "second");

    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.last().at(1).toInt(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.prop("url"), QString("first"));
    QCOMPARE(model.data(model.index(0), VantorSetting::ValueRole).toString(), QString("first"));
    // An empty value reads like a missing key; contains tells them apart.
    QCOMPARE(model.prop("posPort"), QString());
    QCOMPARE(model.prop("missing"), QString());
    QVERIFY(model.contains("posPort") && !model.contains("missing"));
    QCOMPARE(model.roleNames(), (QHash<int, QByteArray>{{257, "key"}, {258, "value"}}));

    Setting stale;
    QVERIFY(!stale.data(stale.raw(3), VantorSetting::KeyRole).isValid());
    QVERIFY(!stale.data(stale.index(0), Qt::DisplayRole).isValid());
}

void TestVantorSetting::setData_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("values");

    const QStringList keys{"url", "port", "layout"};
    const QStringList values{"u", "p", "l"};
    QTest::newRow("value") << 1 << 258 << "9554" << true << keys << QStringList{"u", "9554", "l"};
    QTest::newRow("rename keeps place and value")
        << 1 << 257 << "posPort" << true << QStringList{"url", "posPort", "layout"} << values;
    QTest::newRow("rename to itself") << 0 << 257 << "url" << true << keys << values;
    // The moved value replaces the other key's; both rows now show it.
    QTest::newRow("rename onto a key") << 2 << 257 << "url" << true << QStringList{"url", "port", "url"}
                                       << QStringList{"l", "p", "l"};
    QTest::newRow("display role") << 0 << int(Qt::DisplayRole) << "x" << false << keys << values;
    QTest::newRow("row past the end") << 3 << 258 << "x" << false << keys << values;
    QTest::newRow("invalid index") << -1 << 258 << "x" << false << keys << values;
}

void TestVantorSetting::setData()
{
    QFETCH(int, row);
    QFETCH(int, role);
    QFETCH(QString, value);
    QFETCH(bool, ok);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, values);

    Setting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy rows(&model, &QAbstractItemModel::rowsInserted);

    QCOMPARE(model.setData(row < 0 ? QModelIndex() : model.raw(row), value, role), ok);
    QCOMPARE(model.column(VantorSetting::KeyRole), keys);
    QCOMPARE(model.column(VantorSetting::ValueRole), values);
    QCOMPARE(rows.count(), 0);
    QCOMPARE(changed.isEmpty(), !ok);
    if (ok)
        QCOMPARE(changed.first().first().toModelIndex().row(), row);
}

QTEST_GUILESS_MAIN(TestVantorSetting)
#include "tst_vantorsetting.moc"
