#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "vantorsetting.h"

class TestVantorSetting : public QObject
{
    Q_OBJECT

private slots:
    void insertKeepsOrderAndFirstValue();
    void dataOutsideRows_data();
    void dataOutsideRows();
    void setDataValue();
    void setDataRenames_data();
    void setDataRenames();
    void setDataRefuses_data();
    void setDataRefuses();
    void roleNames();
};

namespace {

QString keyAt(const VantorSetting& model, int row)
{
    return model.data(model.index(row), VantorSetting::KeyRole).toString();
}

QString valueAt(const VantorSetting& model, int row)
{
    return model.data(model.index(row), VantorSetting::ValueRole).toString();
}

// A stale index, as a view may still hold one after rows went away.
class RawIndexSetting : public VantorSetting
{
public:
    QModelIndex rawIndex(int row) const { return createIndex(row, 0); }
};

} // namespace

void TestVantorSetting::insertKeepsOrderAndFirstValue()
{
    VantorSetting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.insert("url", "rtsp://first");
    model.insert("address", "127.0.0.2");
    model.insert("url", "rtsp://second");
    model.insert("posPort", "");

    QCOMPARE(inserted.count(), 3);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(inserted.at(1).at(2).toInt(), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(keyAt(model, 0), QString("url"));
    QCOMPARE(keyAt(model, 1), QString("address"));
    QCOMPARE(keyAt(model, 2), QString("posPort"));
    QCOMPARE(model.prop("url"), QString("rtsp://first"));
    QCOMPARE(valueAt(model, 0), QString("rtsp://first"));

    // An empty value and a missing key read alike; contains tells them apart.
    QCOMPARE(model.prop("posPort"), QString());
    QCOMPARE(model.prop("missing"), QString());
    QVERIFY(model.contains("posPort"));
    QVERIFY(!model.contains("missing"));
    QCOMPARE(model.rowCount(model.index(0)), 0);
}

void TestVantorSetting::dataOutsideRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");

    QTest::newRow("row equal to count") << 2 << int(VantorSetting::KeyRole);
    QTest::newRow("row past count") << 7 << int(VantorSetting::ValueRole);
    QTest::newRow("display role") << 0 << int(Qt::DisplayRole);
    QTest::newRow("role after value") << 0 << int(VantorSetting::ValueRole + 1);
}

void TestVantorSetting::dataOutsideRows()
{
    QFETCH(int, row);
    QFETCH(int, role);

    RawIndexSetting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.insert("a", "1");
    model.insert("b", "2");

    QVERIFY(!model.data(model.rawIndex(row), role).isValid());
    QVERIFY(!model.data(QModelIndex(), VantorSetting::KeyRole).isValid());
    QVERIFY(!model.setData(model.rawIndex(2), "x", VantorSetting::KeyRole));
}

void TestVantorSetting::setDataValue()
{
    VantorSetting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.insert("address", "127.0.0.1");
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(model.setData(model.index(0), 9554, VantorSetting::ValueRole));
    QCOMPARE(model.prop("address"), QString("9554"));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);
}

void TestVantorSetting::setDataRenames_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("newKey");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("values");

    QTest::newRow("new name keeps position and value")
        << 1 << "posPort" << QStringList{"url", "posPort", "layout"} << QStringList{"u", "p", "l"};
    QTest::newRow("same name keeps the value") << 0 << "url" << QStringList{"url", "port", "layout"}
                                               << QStringList{"u", "p", "l"};
    // The moved value replaces the one the other key had; both rows now show it.
    QTest::newRow("onto an existing key") << 2 << "url" << QStringList{"url", "port", "url"}
                                          << QStringList{"l", "p", "l"};
}

void TestVantorSetting::setDataRenames()
{
    QFETCH(int, row);
    QFETCH(QString, newKey);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, values);

    VantorSetting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.insert("url", "u");
    model.insert("port", "p");
    model.insert("layout", "l");
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(model.setData(model.index(row), newKey, VantorSetting::KeyRole));

    QCOMPARE(model.rowCount(), keys.size());
    for (int i = 0; i < keys.size(); ++i) {
        QCOMPARE(keyAt(model, i), keys.at(i));
        QCOMPARE(valueAt(model, i), values.at(i));
    }
    QCOMPARE(model.prop(newKey), values.at(row));
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(removed.count(), 0);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), row);
}

void TestVantorSetting::setDataRefuses_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");

    QTest::newRow("display role") << 0 << int(Qt::DisplayRole);
    QTest::newRow("edit role") << 0 << int(Qt::EditRole);
    QTest::newRow("invalid index") << -1 << int(VantorSetting::ValueRole);
}

void TestVantorSetting::setDataRefuses()
{
    QFETCH(int, row);
    QFETCH(int, role);

    VantorSetting model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.insert("url", "u");
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(!model.setData(row < 0 ? QModelIndex() : model.index(row), "x", role));
    QCOMPARE(keyAt(model, 0), QString("url"));
    QCOMPARE(model.prop("url"), QString("u"));
    QCOMPARE(changed.count(), 0);
}

void TestVantorSetting::roleNames()
{
    VantorSetting first;
    VantorSetting second;
    const QHash<int, QByteArray> expected{{257, "key"}, {258, "value"}};
    QCOMPARE(first.roleNames(), expected);
    QCOMPARE(second.roleNames(), expected);
}

QTEST_GUILESS_MAIN(TestVantorSetting)
#include "tst_vantorsetting.moc"
