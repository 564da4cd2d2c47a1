// SPDX-License-Identifier: MIT
// The time bar's drawing against a column-by-column reference: each pixel column is filled exactly
// when a chunk holds a moment in it, and marked exactly when a POS receipt falls in it.
#include <vector>

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include "chunkspans.h"
#include "timelinebar.h"

class TestTimelineBar : public QObject
{
    Q_OBJECT

private slots:
    void columnsMatchTheChunks_data();
    void columnsMatchTheChunks();
    void linesAtTheirMoments();
    void bookmarksAlongTheFoot();
    void labelsAdaptToTheZoom_data();
    void labelsAdaptToTheZoom();
    void badPropertyValuesAreHarmless();
};

namespace {

// 2024-05-01 00:00 UTC.
constexpr qint64 day = 1714521600000;
constexpr qint64 dayMs = 24 * 3600 * 1000;
constexpr int imageHeight = 100;
// Rows of the image to read: the POS marks sit at the top of the bar, the spans fill all of it,
// the hour labels take less than half of the image below.
constexpr int posRow = 0;
constexpr int spanRow = 50;

const QColor spanColor(0, 200, 0);
const QColor gapColor(40, 40, 40);
const QColor posColor(255, 200, 0);
const QColor positionColor(255, 0, 0);
const QColor markColor(0, 0, 255);

struct Span
{
    qint64 start;
    qint64 end;
};

std::vector<Span> makeChunks(const QString& layout, quint32 seed)
{
    QRandomGenerator random(seed);
    std::vector<Span> spans;
    if (layout == "sparse") {
        // Long and short chunks, some reaching over the day's edges; none in the two zoomed views
        // but a few placed there by hand, one narrower than a column and one of no length.
        const qint64 quietFrom = day + 7 * 3600000;
        const qint64 quietEndFrom = day + dayMs - 600000;
        for (int i = 0; i < 80; ++i) {
            const qint64 start = day - 3600000 + qint64(random.bounded(dayMs + 7200000.0));
            const qint64 end = start + 1000 + qint64(random.bounded(1200000.0));
            if ((start < quietFrom + 600000 && end > quietFrom) || end > quietEndFrom)
                continue;
            spans.push_back({start, end});
        }
        spans.push_back({quietFrom + 100000, quietFrom + 130000});
        spans.push_back({quietFrom + 200500, quietFrom + 200600});
        spans.push_back({quietFrom + 250000, quietFrom + 250000});
        spans.push_back({day + dayMs - 90000, day + dayMs - 60000});
        spans.push_back({day + dayMs - 30000, day + dayMs - 30000});
    } else if (layout == "dense") {
        // Far more chunks than columns, overlapping, some of no length.
        for (int i = 0; i < 20000; ++i) {
            const qint64 start = day + qint64(random.bounded(double(dayMs)));
            spans.push_back({start, i % 50 == 0 ? start : start + qint64(random.bounded(30000.0))});
        }
    } else if (layout == "gapped") {
        // Ten-second chunks with gaps below a column of the whole day, wider than one when zoomed.
        for (qint64 start = day; start < day + dayMs; start += 10000 + qint64(random.bounded(2000.0)))
            spans.push_back({start, start + 10000});
    } else if (layout == "elsewhere") {
        // Only on the days around.
        for (int i = 0; i < 100; ++i) {
            const qint64 start = day + (i % 2 ? dayMs : -dayMs) + qint64(random.bounded(dayMs - 60000.0));
            spans.push_back({start, start + 60000});
        }
    }
    return spans;
}

QVariantList toEntries(const std::vector<Span>& spans)
{
    QVariantList list;
    for (const Span& span : spans)
        list << QVariantMap{{"start", span.start}, {"end", span.end}, {"size", 100}};
    return list;
}

// The column of a moment, in integers: -1 before the view, `columns` after it.
int columnOf(qint64 ms, qint64 viewStart, qint64 viewEnd, int columns)
{
    if (ms < viewStart)
        return -1;
    if (ms >= viewEnd)
        return columns;
    return int((ms - viewStart) * columns / (viewEnd - viewStart));
}

QString describeColumn(int column, qint64 viewStart, qint64 viewEnd, int columns)
{
    const qint64 width = viewEnd - viewStart;
    return QStringLiteral("column %1 (ms %2 to %3 after the view's start)")
        .arg(column)
        .arg(qint64(column) * width / columns)
        .arg(qint64(column + 1) * width / columns);
}

} // namespace

void TestTimelineBar::columnsMatchTheChunks_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<qint64>("viewOffset");
    QTest::addColumn<qint64>("viewWidth");
    QTest::addColumn<int>("columns");
    // "all", "none" or "both" for the columns filled; empty where the layout leaves it open.
    QTest::addColumn<QString>("coverage");

    struct View
    {
        const char* name;
        qint64 offset;
        qint64 width;
        int columns;
    };
    const View views[] = {
        {"whole day, 1600 px", 0, dayMs, 1600},
        {"whole day, 333 px", 0, dayMs, 333},
        {"30 minutes, 800 px", 12 * 3600000, 1800000, 800},
        {"5 minutes, 1600 px", 7 * 3600000 + 12345, 300000, 1600},
        {"2 minutes at the day's end, 1600 px", dayMs - 120000, 120000, 1600},
    };
    for (const QString layout : {"sparse", "dense", "gapped", "elsewhere"}) {
        for (const View& view : views) {
            QString coverage;
            if (layout == "sparse")
                coverage = "both";
            else if (layout == "elsewhere")
                coverage = "none";
            // Gaps of up to 2 s show only where a column is shorter than that.
            else if (layout == "gapped")
                coverage = view.width / view.columns < 2000 ? "both" : "all";
            QTest::addRow("%s, %s", qPrintable(layout), view.name)
                << layout << view.offset << view.width << view.columns << coverage;
        }
    }
}

void TestTimelineBar::columnsMatchTheChunks()
{
    QFETCH(QString, layout);
    QFETCH(qint64, viewOffset);
    QFETCH(qint64, viewWidth);
    QFETCH(int, columns);
    QFETCH(QString, coverage);

    const std::vector<Span> chunks = makeChunks(layout, 7);
    ChunkSpans spans;
    spans.setChunks(toEntries(chunks));
    QRandomGenerator random(11);
    std::vector<qint64> posTimes;
    for (int i = 0; i < 3000; ++i)
        posTimes.push_back(day + qint64(random.bounded(double(dayMs))));
    // Receipts in one burst share a column.
    for (int i = 0; i < 50; ++i)
        posTimes.push_back(day + 7 * 3600000 + 60000 + i * 10);

    TimelineBar bar;
    bar.setSize(QSizeF(columns, imageHeight));
    bar.setSpans(&spans);
    bar.setPosTimes(posTimes);
    bar.setSpanColor(spanColor);
    bar.setGapColor(gapColor);
    bar.setPosColor(posColor);
    bar.setDayStart(day);
    bar.setDayEnd(day + dayMs);
    bar.setViewStart(day + viewOffset);
    bar.setViewEnd(day + viewOffset + viewWidth);
    QCOMPARE(bar.viewStart(), day + viewOffset);
    QCOMPARE(bar.viewEnd(), day + viewOffset + viewWidth);
    const qint64 viewStart = bar.viewStart();
    const qint64 viewEnd = bar.viewEnd();

    std::vector<bool> filled(std::size_t(columns), false);
    for (const Span& chunk : chunks) {
        // A chunk of no length marks the column of its start.
        const qint64 last = chunk.end > chunk.start ? chunk.end - 1 : chunk.start;
        if (chunk.start >= viewEnd || last < viewStart)
            continue;
        const int from = columnOf(std::max(chunk.start, viewStart), viewStart, viewEnd, columns);
        const int to = columnOf(std::min(last, viewEnd - 1), viewStart, viewEnd, columns);
        for (int column = from; column <= to; ++column)
            filled[std::size_t(column)] = true;
    }
    std::vector<bool> marked(std::size_t(columns), false);
    for (qint64 ms : posTimes) {
        if (ms >= viewStart && ms < viewEnd)
            marked[std::size_t(columnOf(ms, viewStart, viewEnd, columns))] = true;
    }

    QImage image(columns, imageHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        bar.paintBar(&painter, image.size());
    }

    int filledColumns = 0;
    for (int column = 0; column < columns; ++column) {
        const QRgb span = image.pixel(column, spanRow);
        const QColor expectedSpan = filled[std::size_t(column)] ? spanColor : gapColor;
        QVERIFY2(span == expectedSpan.rgb(),
                 qPrintable(describeColumn(column, viewStart, viewEnd, columns) +
                            (filled[std::size_t(column)] ? " holds a chunk but is not drawn as a span"
                                                         : " holds no chunk but is not drawn as a gap")));
        const QRgb pos = image.pixel(column, posRow);
        if (marked[std::size_t(column)])
            QVERIFY2(pos == posColor.rgb(), qPrintable(describeColumn(column, viewStart, viewEnd, columns) +
                                                       " holds a POS receipt but shows no mark"));
        else
            QVERIFY2(pos == expectedSpan.rgb(), qPrintable(describeColumn(column, viewStart, viewEnd, columns) +
                                                           " shows a mark without a receipt"));
        filledColumns += filled[std::size_t(column)] ? 1 : 0;
    }
    // What the layout was made to show in this view, lest a broken fixture pass by showing nothing.
    if (coverage == "none")
        QCOMPARE(filledColumns, 0);
    else if (coverage == "all")
        QCOMPARE(filledColumns, columns);
    else if (coverage == "both")
        QVERIFY2(filledColumns > 0 && filledColumns < columns, "the view shows both spans and gaps");
}

void TestTimelineBar::linesAtTheirMoments()
{
    const int columns = 800;
    ChunkSpans spans;
    spans.setChunks(toEntries({{day + 3600000, day + 20 * 3600000}}));
    TimelineBar bar;
    bar.setSize(QSizeF(columns, imageHeight));
    bar.setSpans(&spans);
    bar.setSpanColor(spanColor);
    bar.setGapColor(gapColor);
    bar.setPositionColor(positionColor);
    bar.setMarkColor(markColor);
    bar.setDayStart(day);
    bar.setDayEnd(day + dayMs);
    // 108 s a column: the moments fall on columns 200, 300 and 500.
    bar.setPosition(day + 200 * 108000 + 5);
    bar.setMarkA(day + 300 * 108000);
    bar.setMarkB(day + 500 * 108000 + 107999);

    QImage image(columns, imageHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        bar.paintBar(&painter, image.size());
    }
    for (int row : {0, spanRow, imageHeight - 1}) {
        QCOMPARE(QColor(image.pixel(200, row)), positionColor);
        QCOMPARE(QColor(image.pixel(201, row)), positionColor);
        QCOMPARE(QColor(image.pixel(500, row)), markColor);
    }
    QCOMPARE(QColor(image.pixel(300, spanRow)), markColor);
    QCOMPARE(QColor(image.pixel(199, spanRow)), spanColor);
    // Between the marks the span is shaded with the mark colour, outside it is not.
    const QColor between(image.pixel(400, spanRow));
    QVERIFY2(between != spanColor && between.blue() > spanColor.blue(), "the range between A and B is shaded");
    QCOMPARE(QColor(image.pixel(600, spanRow)), spanColor);

    // Marks and position of -1 are not drawn.
    bar.setPosition(-1);
    bar.setMarkA(-1);
    bar.setMarkB(-1);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        bar.paintBar(&painter, image.size());
    }
    for (int column : {200, 201, 300, 400, 500})
        QCOMPARE(QColor(image.pixel(column, spanRow)), spanColor);
}

// Bookmarks as a band along the bar's foot from start to end, with a flag at the start; the middle
// of the bar (chunks, POS marks) stays as it was.
void TestTimelineBar::bookmarksAlongTheFoot()
{
    const int columns = 800;
    const QColor bookmarkColor(0x00, 0xe5, 0xff);
    ChunkSpans spans;
    spans.setChunks(toEntries({{day, day + dayMs}}));
    TimelineBar bar;
    bar.setSize(QSizeF(columns, imageHeight));
    bar.setSpans(&spans);
    bar.setSpanColor(spanColor);
    bar.setBookmarkColor(bookmarkColor);
    bar.setDayStart(day);
    bar.setDayEnd(day + dayMs);
    // 108 s a column: a span over columns 100 to 150, a moment at column 600.
    QTest::ignoreMessage(QtWarningMsg, "TimelineBar: dropped 2 of 4 bookmarks that are not two numbers");
    bar.setBookmarkSpans(QVariantList{QVariantList{day + 100 * 108000, day + 150 * 108000}, QVariant(day),
                                      QVariantList{day + 600 * 108000, day + 600 * 108000},
                                      QVariantList{QStringLiteral("noon"), day}});
    QCOMPARE(bar.bookmarkSpans().size(), 2);

    QImage image(columns, imageHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        bar.paintBar(&painter, image.size());
    }
    const auto rowsOf = [&](int column) {
        int rows = 0;
        for (int row = 0; row < imageHeight; ++row)
            rows += QColor(image.pixel(column, row)) == bookmarkColor ? 1 : 0;
        return rows;
    };
    QVERIFY(rowsOf(125) > 0);
    QVERIFY(rowsOf(100) > rowsOf(125)); // the flag
    QVERIFY(rowsOf(600) > 0);
    QCOMPARE(rowsOf(50), 0);
    QCOMPARE(rowsOf(300), 0);
    QCOMPARE(QColor(image.pixel(125, spanRow)), spanColor);
}

void TestTimelineBar::labelsAdaptToTheZoom_data()
{
    QTest::addColumn<qint64>("viewMs");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<qint64>("expected");

    constexpr qint64 minute = 60000;
    constexpr qint64 hour = 60 * minute;
    QTest::newRow("a day on a wide bar: hours") << dayMs << 1600 << 50 << hour;
    QTest::newRow("a day on a narrow bar") << dayMs << 400 << 50 << 3 * hour;
    QTest::newRow("a day on a tiny bar") << dayMs << 60 << 50 << 24 * hour;
    QTest::newRow("an hour: minutes") << hour << 1600 << 50 << 2 * minute;
    QTest::newRow("five minutes") << 5 * minute << 1600 << 50 << minute;
    QTest::newRow("two minutes") << 2 * minute << 400 << 50 << minute;
    QTest::newRow("exactly room enough") << hour << 1500 << 50 << 2 * minute;
    QTest::newRow("a column short of room") << hour << 1499 << 50 << 5 * minute;
    QTest::newRow("a week") << 7 * dayMs << 1600 << 50 << 6 * hour;
    QTest::newRow("a year on a narrow bar") << 365 * dayMs << 100 << 50 << 256 * dayMs;
    QTest::newRow("no width") << dayMs << 0 << 50 << minute;
}

void TestTimelineBar::labelsAdaptToTheZoom()
{
    QFETCH(qint64, viewMs);
    QFETCH(int, columns);
    QFETCH(int, spacing);
    QFETCH(qint64, expected);
    QCOMPARE(TimelineBar::labelStepMs(viewMs, columns, spacing), expected);
}

void TestTimelineBar::badPropertyValuesAreHarmless()
{
    TimelineBar bar;
    bar.setSize(QSizeF(800, 60));
    bar.setDayStart(day);
    bar.setDayEnd(day + dayMs);

    // The day's ends set the wrong way round for a moment, as QML bindings may: the view stays a
    // valid range and becomes the whole day once the day is valid again.
    bar.setDayStart(day + 2 * dayMs);
    QCOMPARE(bar.viewStart(), day + 2 * dayMs);
    QCOMPARE(bar.viewEnd() - bar.viewStart(), TimelineBar::minimumViewMs);
    bar.setDayEnd(day + 3 * dayMs);
    QCOMPARE(bar.viewStart(), day + 2 * dayMs);
    QCOMPARE(bar.viewEnd(), day + 3 * dayMs);

    // Extreme values are bounded, never overflow.
    bar.setViewStart(std::numeric_limits<qlonglong>::min());
    bar.setViewEnd(std::numeric_limits<qlonglong>::max());
    QCOMPARE(bar.viewStart(), day + 2 * dayMs);
    QCOMPARE(bar.viewEnd(), day + 3 * dayMs);
    bar.panBy(1e300);
    bar.panBy(qQNaN());
    QCOMPARE(bar.viewStart(), day + 2 * dayMs);
    QCOMPARE(bar.timeAt(qQNaN()), day + 2 * dayMs);
    QCOMPARE(bar.timeAt(1e300), day + 3 * dayMs - 1);

    QTest::ignoreMessage(QtWarningMsg, "TimelineBar: zoom factor 0 ignored");
    bar.zoomAt(400, 0);
    QTest::ignoreMessage(QtWarningMsg, "TimelineBar: zoom factor nan ignored");
    bar.zoomAt(400, qQNaN());
    QCOMPARE(bar.viewEnd() - bar.viewStart(), dayMs);
    bar.zoomAt(qQNaN(), 1e300);
    QCOMPARE(bar.viewEnd() - bar.viewStart(), TimelineBar::minimumViewMs);
    QCOMPARE(bar.viewStart(), day + 2 * dayMs);

    QTest::ignoreMessage(QtWarningMsg, "TimelineBar: dropped 3 of 5 POS times that are neither a number nor a date");
    bar.setPosTimes(QVariantList{day + 5, QVariant(), QStringLiteral("noon"), qInf(),
                                 QDateTime::fromMSecsSinceEpoch(day + 7, Qt::UTC)});
    QCOMPARE(bar.posTimes(), (QVariantList{day + 5, day + 7}));

    // Painting with no chunks and into a target of no size.
    QImage image(800, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    bar.paintBar(&painter, QSize(0, 0));
    QCOMPARE(image.pixel(10, 10), QRgb(0));
    bar.paintBar(&painter, image.size());
    QCOMPARE(QColor(image.pixel(10, 10)), bar.gapColor());
}

QTEST_MAIN(TestTimelineBar)
#include "tst_timelinebar.moc"
