// SPDX-License-Identifier: MIT
#include <limits>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "chunkspans.h"
#include "logcapture.h"
#include "recordedtypes.h"

class TestChunkSpans : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerRecordedTypes(); }

    void indexAt_data();
    void indexAt();
    void nextIndex_data();
    void nextIndex();
    void chunkGivesItsFields();
    void badEntriesAreDropped_data();
    void badEntriesAreDropped();
    void oneWarningCountsAllDropped();
    void sortsAndKeepsDuplicatesOnce();
    void coveredMs_data();
    void coveredMs();
    void overlappingRangeHoldsEveryOverlap_data();
    void overlappingRangeHoldsEveryOverlap();
    void changedOnlyWhenTheChunksChange();
    void usableFromQml();
};

namespace {

QVariantMap entry(qlonglong start, qlonglong end, qlonglong size = 600)
{
    return QVariantMap{{"streamId", 11}, {"start", start}, {"end", end}, {"size", size}};
}

QVariantList entries(std::initializer_list<std::pair<qlonglong, qlonglong>> spans)
{
    QVariantList list;
    for (const auto& span : spans)
        list << entry(span.first, span.second);
    return list;
}

const QString dropLine = QStringLiteral(
    "ChunkSpans: dropped %1 of %2 chunks without a whole-number start and end, or ending before they start");

// Three chunks, the first two back to back, a gap before the third.
QVariantList threeChunks()
{
    return entries({{1000, 2000}, {2000, 3000}, {5000, 6000}});
}

} // namespace

void TestChunkSpans::indexAt_data()
{
    QTest::addColumn<QVariantList>("chunks");
    QTest::addColumn<qlonglong>("ms");
    QTest::addColumn<int>("expected");

    const QVariantList three = threeChunks();
    QTest::newRow("before the first") << three << 999LL << -1;
    QTest::newRow("far before, negative") << three << -5000LL << -1;
    QTest::newRow("at the first start") << three << 1000LL << 0;
    QTest::newRow("inside the first") << three << 1500LL << 0;
    QTest::newRow("end of one is the next one's start") << three << 2000LL << 1;
    QTest::newRow("last ms before a gap") << three << 2999LL << 1;
    QTest::newRow("end before a gap") << three << 3000LL << -1;
    QTest::newRow("inside a gap") << three << 4000LL << -1;
    QTest::newRow("start after a gap") << three << 5000LL << 2;
    QTest::newRow("last ms of the last") << three << 5999LL << 2;
    QTest::newRow("end of the last") << three << 6000LL << -1;
    QTest::newRow("far after") << three << 1714550400000LL << -1;
    QTest::newRow("empty") << QVariantList() << 1000LL << -1;
    // A long chunk around a short one: found past the short one's end too.
    const QVariantList nested = entries({{0, 10000}, {2000, 3000}});
    QTest::newRow("long chunk past a short one inside") << nested << 5000LL << 0;
    QTest::newRow("overlap gives the earlier start") << nested << 2500LL << 0;
    QTest::newRow("chunk of no length holds nothing") << entries({{1000, 1000}}) << 1000LL << -1;
}

void TestChunkSpans::indexAt()
{
    QFETCH(QVariantList, chunks);
    QFETCH(qlonglong, ms);
    QFETCH(int, expected);
    ChunkSpans spans;
    spans.setChunks(chunks);
    QCOMPARE(spans.indexAt(ms), expected);
}

void TestChunkSpans::nextIndex_data()
{
    QTest::addColumn<QVariantList>("chunks");
    QTest::addColumn<qlonglong>("ms");
    QTest::addColumn<int>("expected");

    const QVariantList three = threeChunks();
    QTest::newRow("before all") << three << 0LL << 0;
    QTest::newRow("at a start") << three << 2000LL << 1;
    QTest::newRow("inside a chunk") << three << 2500LL << 2;
    QTest::newRow("inside a gap") << three << 4000LL << 2;
    QTest::newRow("at the last start") << three << 5000LL << 2;
    QTest::newRow("after the last start") << three << 5001LL << -1;
    QTest::newRow("empty") << QVariantList() << 0LL << -1;
}

void TestChunkSpans::nextIndex()
{
    QFETCH(QVariantList, chunks);
    QFETCH(qlonglong, ms);
    QFETCH(int, expected);
    ChunkSpans spans;
    spans.setChunks(chunks);
    QCOMPARE(spans.nextIndex(ms), expected);
}

void TestChunkSpans::chunkGivesItsFields()
{
    ChunkSpans spans;
    spans.setChunks({entry(1714550400000, 1714550410000, 5242880),
                     QVariantMap{{"start", 1714550410000LL}, {"end", 1714550420000LL}}});
    QCOMPARE(spans.count(), 2);
    const QVariantMap first = spans.chunk(0);
    QCOMPARE(first.value("start").toLongLong(), 1714550400000LL);
    QCOMPARE(first.value("end").toLongLong(), 1714550410000LL);
    QCOMPARE(first.value("size").toLongLong(), 5242880LL);
    QCOMPARE(first.size(), 3);
    QCOMPARE(spans.chunk(1).value("size").toLongLong(), -1LL);
    QVERIFY2(spans.chunk(-1).isEmpty(), "an index before the first gives an empty map");
    QVERIFY2(spans.chunk(2).isEmpty(), "an index past the last gives an empty map");
}

void TestChunkSpans::badEntriesAreDropped_data()
{
    QTest::addColumn<QVariant>("candidate");
    QTest::addColumn<bool>("kept");

    QTest::newRow("integers") << QVariant(QVariantMap{{"start", 5000}, {"end", 6000}}) << true;
    QTest::newRow("64-bit integers") << QVariant(entry(5000, 6000)) << true;
    QTest::newRow("whole doubles, as from QML") << QVariant(QVariantMap{{"start", 5000.0}, {"end", 6000.0}}) << true;
    QTest::newRow("unsigned") << QVariant(QVariantMap{{"start", 5000U}, {"end", 6000ULL}}) << true;
    QTest::newRow("a hash") << QVariant(QVariantHash{{"start", 5000}, {"end", 6000}}) << true;
    QTest::newRow("no length") << QVariant(entry(5000, 5000)) << true;
    QTest::newRow("no size") << QVariant(QVariantMap{{"start", 5000}, {"end", 6000}, {"size", "big"}}) << true;

    QTest::newRow("no start") << QVariant(QVariantMap{{"end", 6000}}) << false;
    QTest::newRow("no end") << QVariant(QVariantMap{{"start", 5000}}) << false;
    QTest::newRow("ends before it starts") << QVariant(entry(6000, 5000)) << false;
    QTest::newRow("NaN start") << QVariant(QVariantMap{{"start", qQNaN()}, {"end", 6000}}) << false;
    QTest::newRow("infinite end") << QVariant(QVariantMap{{"start", 5000}, {"end", qInf()}}) << false;
    QTest::newRow("fractional start") << QVariant(QVariantMap{{"start", 5000.5}, {"end", 6000}}) << false;
    QTest::newRow("text start") << QVariant(QVariantMap{{"start", "5000"}, {"end", 6000}}) << false;
    QTest::newRow("true as start") << QVariant(QVariantMap{{"start", true}, {"end", 6000}}) << false;
    QTest::newRow("null start") << QVariant(QVariantMap{{"start", QVariant()}, {"end", 6000}}) << false;
    QTest::newRow("end beyond 2^53 ms") << QVariant(QVariantMap{{"start", 5000},
                                                                {"end", std::numeric_limits<qlonglong>::max()}})
                                        << false;
    QTest::newRow("unsigned end past the signed range")
        << QVariant(QVariantMap{{"start", 5000}, {"end", std::numeric_limits<qulonglong>::max()}}) << false;
    QTest::newRow("a number, not a map") << QVariant(5000) << false;
    QTest::newRow("nothing") << QVariant() << false;
}

void TestChunkSpans::badEntriesAreDropped()
{
    QFETCH(QVariant, candidate);
    QFETCH(bool, kept);
    ChunkSpans spans;
    LogCapture log;
    spans.setChunks({entry(1000, 2000), candidate});

    QCOMPARE(spans.count(), kept ? 2 : 1);
    QCOMPARE(spans.chunk(0).value("start").toLongLong(), 1000LL);
    if (kept) {
        QCOMPARE(log.lines(QtWarningMsg), QStringList());
        QCOMPARE(spans.chunk(1).value("start").toLongLong(), 5000LL);
    } else {
        QCOMPARE(log.lines(QtWarningMsg), QStringList{dropLine.arg(1).arg(2)});
    }
}

void TestChunkSpans::oneWarningCountsAllDropped()
{
    ChunkSpans spans;
    LogCapture log;
    spans.setChunks({entry(3000, 2000), entry(1000, 2000), QVariant(), QVariantMap{{"start", 1}}, entry(2000, 3000)});
    QCOMPARE(log.lines(QtWarningMsg), QStringList{dropLine.arg(3).arg(5)});
    QCOMPARE(spans.count(), 2);
}

void TestChunkSpans::sortsAndKeepsDuplicatesOnce()
{
    ChunkSpans spans;
    spans.setChunks(
        {entry(5000, 6000, 1), entry(1000, 3000, 2), entry(1000, 2000, 3), entry(5000, 6000, 4), entry(1000, 2000, 5)});
    QCOMPARE(spans.count(), 3);
    const QList<QVariantMap> expected{
        QVariantMap{{"start", 1000LL}, {"end", 2000LL}, {"size", 3LL}},
        QVariantMap{{"start", 1000LL}, {"end", 3000LL}, {"size", 2LL}},
        QVariantMap{{"start", 5000LL}, {"end", 6000LL}, {"size", 1LL}},
    };
    for (int i = 0; i < spans.count(); ++i)
        QCOMPARE(spans.chunk(i), expected.at(i));
}

void TestChunkSpans::coveredMs_data()
{
    QTest::addColumn<qlonglong>("from");
    QTest::addColumn<qlonglong>("to");
    QTest::addColumn<qlonglong>("expected");

    // The fixture: [1000,2000) [2000,3000) [5000,6000) [5500,7000) [5600,5700).
    QTest::newRow("everything") << 0LL << 10000LL << 4000LL;
    QTest::newRow("the whole range of times")
        << std::numeric_limits<qlonglong>::min() << std::numeric_limits<qlonglong>::max() << 4000LL;
    QTest::newRow("cut at both ends") << 1500LL << 5500LL << 2000LL;
    QTest::newRow("gap only") << 3000LL << 5000LL << 0LL;
    QTest::newRow("overlaps count once") << 5000LL << 7000LL << 2000LL;
    QTest::newRow("one ms inside nested chunks") << 5600LL << 5601LL << 1LL;
    QTest::newRow("past the end of the overlap") << 6500LL << 8000LL << 500LL;
    QTest::newRow("empty range") << 1500LL << 1500LL << 0LL;
    QTest::newRow("reversed range") << 5000LL << 1000LL << 0LL;
    QTest::newRow("before all") << -5000LL << 1000LL << 0LL;
}

void TestChunkSpans::coveredMs()
{
    QFETCH(qlonglong, from);
    QFETCH(qlonglong, to);
    QFETCH(qlonglong, expected);
    ChunkSpans spans;
    QCOMPARE(spans.coveredMs(from, to), 0LL);
    spans.setChunks(entries({{1000, 2000}, {2000, 3000}, {5000, 6000}, {5500, 7000}, {5600, 5700}}));
    QCOMPARE(spans.coveredMs(from, to), expected);
}

void TestChunkSpans::overlappingRangeHoldsEveryOverlap_data()
{
    QTest::addColumn<qlonglong>("from");
    QTest::addColumn<qlonglong>("to");

    QTest::newRow("all") << 0LL << 100000LL;
    QTest::newRow("inside the long chunk only") << 20000LL << 21000LL;
    QTest::newRow("a gap") << 3000LL << 5000LL;
    QTest::newRow("starting at an end") << 2000LL << 6000LL;
    QTest::newRow("ending at a start") << 0LL << 5000LL;
    QTest::newRow("one ms") << 5999LL << 6000LL;
    QTest::newRow("after all") << 90000LL << 95000LL;
    QTest::newRow("empty") << 5500LL << 5500LL;
}

void TestChunkSpans::overlappingRangeHoldsEveryOverlap()
{
    QFETCH(qlonglong, from);
    QFETCH(qlonglong, to);
    ChunkSpans spans;
    spans.setChunks(
        entries({{1000, 2000}, {2000, 3000}, {5000, 6000}, {8000, 30000}, {9000, 9500}, {9600, 9700}, {40000, 41000}}));
    const std::pair<int, int> range = spans.overlapping(from, to);
    QVERIFY(range.first >= 0);
    QVERIFY(range.first <= range.second);
    QVERIFY(range.second <= spans.count());
    for (int i = 0; i < spans.count(); ++i) {
        const ChunkSpans::Chunk& chunk = spans.chunks()[std::size_t(i)];
        const bool overlaps = chunk.start < to && chunk.end > from;
        const bool inside = i >= range.first && i < range.second;
        if (overlaps)
            QVERIFY2(inside, qPrintable(QStringLiteral("chunk %1 overlaps but lies outside [%2, %3)")
                                            .arg(i)
                                            .arg(range.first)
                                            .arg(range.second)));
        // Only chunks nested in the long one may be inside without overlapping.
        if (inside && !overlaps)
            QVERIFY2(chunk.start > 8000 && chunk.end < 30000 && from < 30000,
                     qPrintable(QStringLiteral("chunk %1 is inside the range without reason").arg(i)));
    }
}

void TestChunkSpans::changedOnlyWhenTheChunksChange()
{
    ChunkSpans spans;
    QSignalSpy changed(&spans, &ChunkSpans::changed);

    spans.setChunks({});
    QCOMPARE(changed.count(), 0);
    spans.setChunks(threeChunks());
    QCOMPARE(changed.count(), 1);
    // A repeated search answers with the same chunks in another order.
    QVariantList reversed = threeChunks();
    std::reverse(reversed.begin(), reversed.end());
    spans.setChunks(reversed);
    QCOMPARE(changed.count(), 1);
    spans.setChunks({entry(1000, 2000), entry(2000, 3000), entry(5000, 6000, 601)});
    QCOMPARE(changed.count(), 2);
    QCOMPARE(spans.chunk(2).value("size").toLongLong(), 601LL);

    spans.clear();
    QCOMPARE(changed.count(), 3);
    QCOMPARE(spans.count(), 0);
    QCOMPARE(spans.indexAt(1500), -1);
    spans.clear();
    QCOMPARE(changed.count(), 3);

    LogCapture log;
    spans.setChunks({entry(2000, 1000)});
    QCOMPARE(log.lines(QtWarningMsg).size(), 1);
    QCOMPARE(changed.count(), 3);
}

void TestChunkSpans::usableFromQml()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.15\nimport Native 1.0\nChunkSpans {\n"
                      "    property int found: -1\n"
                      "    Component.onCompleted: {\n"
                      "        setChunks([{ streamId: 11, start: 1714550410000, end: 1714550420000, size: 1 },\n"
                      "                   { streamId: 11, start: 1714550400000, end: 1714550410000, size: 2 }]);\n"
                      "        found = indexAt(1714550415000);\n"
                      "    }\n"
                      "}\n",
                      QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    auto* spans = qobject_cast<ChunkSpans*>(object.data());
    QVERIFY(spans);
    QCOMPARE(spans->count(), 2);
    QCOMPARE(object->property("found").toInt(), 1);
    QCOMPARE(spans->chunk(0).value("size").toLongLong(), 2LL);
    QCOMPARE(spans->coveredMs(1714550400000, 1714550420000), 20000LL);
}

QTEST_GUILESS_MAIN(TestChunkSpans)
#include "tst_chunkspans.moc"
