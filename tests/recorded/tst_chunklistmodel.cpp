// SPDX-License-Identifier: MIT
// The chunk list of the recorded page: the rows of a ChunkSpans, reset with every new set of
// chunks, with the chosen stream given along by get().
#include <memory>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "chunklistmodel.h"
#include "chunkspans.h"
#include "logcapture.h"

namespace {

QVariantMap chunk(qlonglong start, qlonglong end, const QVariant& size = QVariant())
{
    QVariantMap map{{QStringLiteral("streamId"), 11}, {QStringLiteral("start"), start}, {QStringLiteral("end"), end}};
    if (size.isValid())
        map.insert(QStringLiteral("size"), size);
    return map;
}

} // namespace

class TestChunkListModel : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowTheSpans();
    void getGivesTheStream();
    void spansGoneLeavesNoRows();
};

void TestChunkListModel::rowsFollowTheSpans()
{
    ChunkSpans spans;
    ChunkListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy counts(&model, &ChunkListModel::countChanged);
    QSignalSpy spansChanged(&model, &ChunkListModel::spansChanged);

    QCOMPARE(model.rowCount(), 0);
    model.setSpans(&spans);
    QCOMPARE(spansChanged.count(), 1);
    model.setSpans(&spans);
    QCOMPARE(spansChanged.count(), 1);

    resets.clear();
    counts.clear();
    {
        LogCapture log; // the dropped entry is reported by the spans
        // Out of order, one without a whole-number start: sorted, the bad one left out.
        spans.setChunks({chunk(2000, 3000, 700), chunk(1000, 2000, 600), chunk(1000, 2000), QVariantMap{}});
    }
    QCOMPARE(resets.count(), 1);
    QCOMPARE(counts.count(), 1);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(model.count(), 2);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);

    const QHash<int, QByteArray> roles = model.roleNames();
    QCOMPARE(roles.value(Qt::UserRole + 1), QByteArray("start"));
    QCOMPARE(roles.value(Qt::UserRole + 2), QByteArray("end"));
    QCOMPARE(roles.value(Qt::UserRole + 3), QByteArray("size"));
    QCOMPARE(model.index(0, 0).data(ChunkListModel::StartRole).toLongLong(), 1000);
    QCOMPARE(model.index(0, 0).data(ChunkListModel::EndRole).toLongLong(), 2000);
    QCOMPARE(model.index(0, 0).data(ChunkListModel::SizeRole).toLongLong(), 600);
    QCOMPARE(model.index(1, 0).data(ChunkListModel::StartRole).toLongLong(), 2000);
    QCOMPARE(model.index(1, 0).data(ChunkListModel::SizeRole).toLongLong(), 700);
    QVERIFY(!model.index(1, 0).data(Qt::DisplayRole).isValid());

    // The list's own clear() empties the spans, which the time bar shows too.
    model.clear();
    QCOMPARE(spans.count(), 0);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(resets.count(), 2);
    QCOMPARE(counts.count(), 2);

    // Other spans, other rows.
    ChunkSpans other;
    other.setChunks({chunk(5000, 6000, 1)});
    model.setSpans(&other);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(resets.count(), 3);
    // The spans left behind no longer reach the list.
    spans.setChunks({chunk(1, 2, 3)});
    QCOMPARE(resets.count(), 3);
    QCOMPARE(model.rowCount(), 1);
}

void TestChunkListModel::getGivesTheStream()
{
    ChunkSpans spans;
    ChunkListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy streamChanged(&model, &ChunkListModel::streamIdChanged);
    model.setSpans(&spans);
    spans.setChunks({chunk(1000, 2000, 600)});

    model.setStreamId(QStringLiteral("12"));
    model.setStreamId(QStringLiteral("12"));
    QCOMPARE(streamChanged.count(), 1);
    const QVariantMap row = model.get(0);
    QCOMPARE(row.value(QStringLiteral("streamId")).toString(), QStringLiteral("12"));
    QCOMPARE(row.value(QStringLiteral("start")).toLongLong(), 1000);
    QCOMPARE(row.value(QStringLiteral("end")).toLongLong(), 2000);
    QCOMPARE(row.value(QStringLiteral("size")).toLongLong(), 600);
    QVERIFY(model.get(-1).isEmpty());
    QVERIFY(model.get(1).isEmpty());
}

void TestChunkListModel::spansGoneLeavesNoRows()
{
    auto spans = std::make_unique<ChunkSpans>();
    ChunkListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSpans(spans.get());
    spans->setChunks({chunk(1000, 2000, 600), chunk(2000, 3000, 600)});
    QCOMPARE(model.rowCount(), 2);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy counts(&model, &ChunkListModel::countChanged);

    spans.reset();
    QCOMPARE(model.spans(), nullptr);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(counts.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.count(), 0);
    QVERIFY(model.get(0).isEmpty());
    model.clear(); // nothing to clear any more
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestChunkListModel)
#include "tst_chunklistmodel.moc"
