// SPDX-License-Identifier: MIT
// The statistics channel's records: what the hook writes, the benchmarks read back unchanged, and
// a reader that follows a growing file passes over what is cut short or garbled.
#include <QtTest>

#include "tilestatsrecord.h"

namespace {

TileStatsTick tickOf(qint64 number, int tiles)
{
    TileStatsTick tick;
    tick.number = number;
    tick.ms = 1000 + number;
    tick.tiles = tiles;
    tick.window = QRect(10, 20, 1920, 1080);
    for (int i = 0; i < tiles; ++i) {
        TileSample sample;
        sample.index = i;
        sample.size = QSize(640, 360);
        sample.loaded = true;
        sample.path = QStringLiteral("http://127.0.0.71:%1/live.ts").arg(28001 + i);
        tick.samples.push_back(sample);
    }
    return tick;
}

void feed(TileStatsReader& reader, const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines)
        reader.addLine(line);
}

} // namespace

class TestTileStatsRecord : public QObject
{
    Q_OBJECT

private slots:
    void aTickReadsBackAsWritten()
    {
        TileStatsTick tick = tickOf(7, 2);
        TileSample& first = tick.samples[0];
        first.loaded = false;
        first.frame = 123456789012;
        first.drop = 3;
        first.decdrop = 4;
        first.delayed = 5;
        first.video = QSize(1280, 720);
        first.pos = 12.3456;
        first.vffps = 24.987;
        first.presented = 301;
        first.decode = 2;
        first.hwdec = QStringLiteral("vaapi-copy");
        first.rect = QRect(0, 0, 960, 540);
        TileSample& second = tick.samples[1];
        second.presented = -1;
        second.rect = QRect(960, 540, 960, 540);
        // The path runs to the end of the line, spaces and '=' included.
        second.path = QStringLiteral("file:///tmp/a b/c.ts?x=1 y=2");

        TileStatsReader reader;
        feed(reader, TileStatsRecord::lines(tick));
        QCOMPARE(reader.ticks().size(), std::size_t(1));
        const TileStatsTick& read = reader.ticks().front();
        QCOMPARE(read.number, qint64(7));
        QCOMPARE(read.ms, qint64(1007));
        QCOMPARE(read.tiles, 2);
        QCOMPARE(read.window, QRect(10, 20, 1920, 1080));
        QCOMPARE(read.samples.size(), std::size_t(2));
        const TileSample& a = read.samples[0];
        QCOMPARE(a.index, 0);
        QCOMPARE(a.size, QSize(640, 360));
        QCOMPARE(a.loaded, false);
        QCOMPARE(a.frame, qint64(123456789012));
        QCOMPARE(a.drop, qint64(3));
        QCOMPARE(a.decdrop, qint64(4));
        QCOMPARE(a.delayed, qint64(5));
        QCOMPARE(a.video, QSize(1280, 720));
        QCOMPARE(a.pos, 12.346); // three decimals
        QCOMPARE(a.vffps, 24.99);
        QCOMPARE(a.presented, qint64(301));
        QCOMPARE(a.decode, 2);
        QCOMPARE(a.hwdec, QStringLiteral("vaapi-copy"));
        QCOMPARE(a.rect, QRect(0, 0, 960, 540));
        QCOMPARE(a.path, QStringLiteral("http://127.0.0.71:28001/live.ts"));
        const TileSample& b = read.samples[1];
        QCOMPARE(b.index, 1);
        QCOMPARE(b.loaded, true);
        QCOMPARE(b.presented, qint64(-1));
        QCOMPARE(b.decode, -1);
        QCOMPARE(b.hwdec, QString());
        QCOMPARE(b.rect, QRect(960, 540, 960, 540));
        QCOMPARE(b.path, QStringLiteral("file:///tmp/a b/c.ts?x=1 y=2"));
    }

    // Records written before the decoding fields came read as not knowing them.
    void recordsWithoutDecodingFields()
    {
        TileStatsReader reader;
        feed(reader, QStringLiteral("tile-stats tick=3 t_ms=10 tiles=1 window=0,0,640,360\n"
                                    "tile-stats tick=3 tile=0 size=640x360 loaded=1 frame=0 drop=0 decdrop=0 "
                                    "delayed=0 video=640x360 pos=1.000 vffps=25.00 presented=25 rect=0,0,640,360 "
                                    "path=http://camera/live.ts\n"));
        QCOMPARE(reader.ticks().size(), std::size_t(1));
        const TileSample& sample = reader.ticks().front().samples.front();
        QCOMPARE(sample.presented, qint64(25));
        QCOMPARE(sample.decode, -1);
        QCOMPARE(sample.hwdec, QString());
        QCOMPARE(sample.path, QStringLiteral("http://camera/live.ts"));
    }

    void layoutListingsReadBack()
    {
        TileStatsReader reader;
        feed(reader, TileStatsRecord::layoutsLine(5000, 0, 2) + TileStatsRecord::layoutsLine(6000, 3, 3));
        QCOMPARE(reader.layoutListings(), (std::vector<qint64>{5000, 6000}));
        QVERIFY(reader.ticks().empty());
    }

    void aTimelineReadsBackAsWritten()
    {
        TimelineSample bar;
        bar.ms = 123456;
        bar.rect = QRect(700, 990, 1200, 56);
        bar.viewStart = 1765152000000;
        bar.viewEnd = 1765152120000;
        TileStatsReader reader;
        // Between the ticks, as the hook writes it.
        feed(reader, TileStatsRecord::lines(tickOf(1, 1)) + TileStatsRecord::timelineLine(bar) +
                         TileStatsRecord::lines(tickOf(2, 1)));
        QCOMPARE(reader.ticks().size(), std::size_t(2));
        QCOMPARE(reader.timelines().size(), std::size_t(1));
        const TimelineSample& read = reader.timelines().front();
        QCOMPARE(read.ms, qint64(123456));
        QCOMPARE(read.rect, QRect(700, 990, 1200, 56));
        QCOMPARE(read.viewStart, qint64(1765152000000));
        QCOMPARE(read.viewEnd, qint64(1765152120000));
    }

    // A time bar that does not read would send a click to the wrong moment: it is passed over.
    void aGarbledTimelineIsPassedOver_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("no view") << QStringLiteral("tile-stats timeline t_ms=1 rect=0,0,100,20");
        QTest::newRow("one edge") << QStringLiteral("tile-stats timeline t_ms=1 rect=0,0,100,20 view=5000");
        QTest::newRow("edges reversed") << QStringLiteral("tile-stats timeline t_ms=1 rect=0,0,100,20 view=9-5");
        QTest::newRow("not a number") << QStringLiteral("tile-stats timeline t_ms=1 rect=0,0,100,20 view=a-9");
        QTest::newRow("negative edge") << QStringLiteral("tile-stats timeline t_ms=1 rect=0,0,100,20 view=-5-9");
        QTest::newRow("no width") << QStringLiteral("tile-stats timeline t_ms=1 rect=0,0,0,20 view=5-9");
        QTest::newRow("no time") << QStringLiteral("tile-stats timeline t_ms=? rect=0,0,100,20 view=5-9");
    }

    void aGarbledTimelineIsPassedOver()
    {
        QFETCH(QString, line);
        TileStatsReader reader;
        reader.addLine(line);
        QVERIFY2(reader.timelines().empty(), qPrintable(line));
        // Nor does it spoil the tick it comes with.
        feed(reader, TileStatsRecord::lines(tickOf(1, 1)));
        QCOMPARE(reader.ticks().size(), std::size_t(1));
    }

    void whatIsCutShortOrUnknownIsPassedOver()
    {
        TileStatsReader reader;
        // A window with no video item is a complete tick of its own.
        feed(reader, TileStatsRecord::lines(tickOf(1, 0)));
        // Tick 2 loses its last sample: tick 3's header cuts it short.
        const QStringList two = TileStatsRecord::lines(tickOf(2, 3)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (int i = 0; i < two.size() - 1; ++i)
            reader.addLine(two.at(i));
        QString three = TileStatsRecord::lines(tickOf(3, 2));
        // Carriage returns, a sample of another tick, and lines that are not records at all.
        three.replace(QLatin1String("\n"), QLatin1String("\r\n"));
        const QStringList threeLines = three.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        reader.addLine(threeLines.at(0));
        reader.addLine(two.last());
        reader.addLine(QStringLiteral("12.345 station.diagnostics: Tile statistics every 500 ms"));
        reader.addLine(QStringLiteral("tile-stats tick=x t_ms=1 tiles=1 window=0,0,1,1"));
        reader.addLine(QString());
        reader.addLine(threeLines.at(1));
        reader.addLine(threeLines.at(2));
        // Tick 4: a garbled sample spoils it.
        const QStringList four = TileStatsRecord::lines(tickOf(4, 1)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        reader.addLine(four.at(0));
        reader.addLine(QString(four.at(1)).replace(QLatin1String("drop=0"), QLatin1String("drop=?")));

        QCOMPARE(reader.ticks().size(), std::size_t(2));
        QCOMPARE(reader.ticks()[0].number, qint64(1));
        QVERIFY(reader.ticks()[0].samples.empty());
        QCOMPARE(reader.ticks()[1].number, qint64(3));
        QCOMPARE(reader.ticks()[1].samples.size(), std::size_t(2));
        QCOMPARE(reader.ticks()[1].samples[1].path, QStringLiteral("http://127.0.0.71:28002/live.ts"));
    }
};

QTEST_GUILESS_MAIN(TestTileStatsRecord)
#include "tst_tilestatsrecord.moc"
