// SPDX-License-Identifier: MIT
// The tile statistics hook: it samples the video items of the application's windows into a file
// of its own (never the log), marks the layout list's rows there, and says in the log what it
// cannot do.
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtTest>

#include "layoutlist.h"
#include "logcapture.h"
#include "testfiles.h"
#include "tilestats.h"
#include "tilestatsrecord.h"

// The hook finds the video items by class name; this one stands in for the player item, its
// properties set as the player would report them.
class MpvObject : public QQuickItem
{
    Q_OBJECT

public:
    using QQuickItem::QQuickItem;
};

namespace {

TileStatsReader readChannel(const QString& path)
{
    TileStatsReader reader;
    const QStringList lines = testsupport::readFile(path).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines)
        reader.addLine(line);
    return reader;
}

qint64 monotonicMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

// Sets or clears an environment variable for the scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value, bool set) : m_name(name)
    {
        if (set)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() { qunsetenv(m_name); }

private:
    const char* m_name;
};

} // namespace

class TestTileStats : public QObject
{
    Q_OBJECT

private slots:
    void samplesEveryVideoItemIntoItsFile()
    {
        QQuickWindow window;
        window.setGeometry(30, 40, 800, 600);
        auto* panel = new QQuickItem(window.contentItem());
        panel->setPosition(QPointF(100, 50));
        auto* playing = new MpvObject(panel);
        playing->setPosition(QPointF(10, 20));
        playing->setSize(QSizeF(320, 180));
        playing->setProperty("playlistCount", 1);
        playing->setProperty("dwidth", 640);
        playing->setProperty("dheight", 360);
        playing->setProperty("estimatedFrameNumber", 250);
        playing->setProperty("frameDropCount", 2);
        playing->setProperty("decoderFrameDropCount", 1);
        playing->setProperty("voDelayedFrameCount", 3);
        playing->setProperty("position", 10.5);
        playing->setProperty("estimatedVfFps", 25.0);
        playing->setProperty("presentedFrames", 262);
        playing->setProperty("path", QStringLiteral("http://127.0.0.1:8000/live.ts"));
        // Not a video item: not sampled.
        auto* other = new QQuickItem(window.contentItem());
        other->setSize(QSizeF(50, 50));
        // A player with no file, and no counter of presented frames.
        auto* idle = new MpvObject(window.contentItem());
        idle->setSize(QSizeF(200, 100));
        idle->setProperty("dwidth", 640);
        idle->setProperty("dheight", 360);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("stats/tiles.txt"));
        LogCapture log;
        TileStats stats(path, 20);
        QVERIFY(stats.start());
        QVERIFY2(log.lines().join(QLatin1Char('\n')).contains(QLatin1String("Tile statistics every 20 ms")),
                 qPrintable(log.lines().join(QLatin1Char('\n'))));
        const int logLines = log.lines().size();
        const qint64 before = monotonicMs();
        // The timer's ticks, numbered from 1.
        QTRY_VERIFY(readChannel(path).ticks().size() >= 2);

        const TileStatsReader reader = readChannel(path);
        const TileStatsTick& tick = reader.ticks().front();
        QCOMPARE(tick.number, qint64(1));
        QCOMPARE(reader.ticks()[1].number, qint64(2));
        QVERIFY(tick.ms >= before && tick.ms <= monotonicMs());
        QCOMPARE(tick.tiles, 2);
        QCOMPARE(tick.window, QRect(30, 40, 800, 600));
        QCOMPARE(tick.samples.size(), std::size_t(2));
        const TileSample& a = tick.samples[0];
        QCOMPARE(a.index, 0);
        QCOMPARE(a.size, QSize(320, 180));
        QCOMPARE(a.rect, QRect(110, 70, 320, 180)); // in the window, through its parent
        QVERIFY(a.loaded);
        QCOMPARE(a.frame, qint64(250));
        QCOMPARE(a.drop, qint64(2));
        QCOMPARE(a.decdrop, qint64(1));
        QCOMPARE(a.delayed, qint64(3));
        QCOMPARE(a.video, QSize(640, 360));
        QCOMPARE(a.pos, 10.5);
        QCOMPARE(a.vffps, 25.0);
        QCOMPARE(a.presented, qint64(262));
        QCOMPARE(a.path, QStringLiteral("http://127.0.0.1:8000/live.ts"));
        const TileSample& b = tick.samples[1];
        QCOMPARE(b.index, 1);
        QVERIFY2(!b.loaded, "a player with no file is not loaded, whatever its size says");
        QCOMPARE(b.presented, qint64(-1));
        QCOMPARE(b.rect, QRect(0, 0, 200, 100));
        // The samples stay out of the log.
        QCOMPARE(log.lines().size(), logLines);
    }

    // The recorded page's time bar, found by its name, after each tick; none when it is hidden.
    void writesWhereTheTimeBarIsAndWhatItShows()
    {
        QQuickWindow window;
        auto* page = new QQuickItem(window.contentItem());
        page->setPosition(QPointF(600, 900));
        auto* bar = new QQuickItem(page);
        bar->setObjectName(QStringLiteral("timeline"));
        bar->setPosition(QPointF(20, 30));
        bar->setSize(QSizeF(1200, 56));
        bar->setProperty("viewStart", qlonglong(1765152000000));
        bar->setProperty("viewEnd", qlonglong(1765152120000));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tiles.txt"));
        TileStats stats(path, 60000);
        QVERIFY(stats.start());
        stats.sample();
        bar->setVisible(false);
        stats.sample();
        const TileStatsReader reader = readChannel(path);
        QCOMPARE(reader.ticks().size(), std::size_t(2));
        QCOMPARE(reader.timelines().size(), std::size_t(1));
        const TimelineSample& read = reader.timelines().front();
        QCOMPARE(read.ms, reader.ticks().front().ms);
        QCOMPARE(read.rect, QRect(620, 930, 1200, 56));
        QCOMPARE(read.viewStart, qint64(1765152000000));
        QCOMPARE(read.viewEnd, qint64(1765152120000));
    }

    void marksTheLayoutListsRows()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tiles.txt"));
        LayoutList layouts;
        TileStats stats(path, 60000);
        QVERIFY(stats.start());
        stats.watchLayouts(&layouts);
        stats.watchLayouts(nullptr); // no list yet: nothing to watch
        const qint64 before = monotonicMs();
        layouts.append(QStringLiteral("A"), QStringLiteral("{}"));
        layouts.append(QStringLiteral("B"), QStringLiteral("{}"));
        const std::vector<qint64> listings = readChannel(path).layoutListings();
        QCOMPARE(listings.size(), std::size_t(2));
        QVERIFY(listings[0] >= before && listings[1] <= monotonicMs());
        QVERIFY(testsupport::readFile(path).contains(QLatin1String("rows=1-1")));
    }

    void madeAnewAtStart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tiles.txt"));
        QVERIFY(testsupport::writeFile(path, TileStatsRecord::layoutsLine(1, 0, 0).toUtf8()));
        TileStats stats(path, 60000);
        QVERIFY(stats.start());
        stats.sample();
        const TileStatsReader reader = readChannel(path);
        QVERIFY2(reader.layoutListings().empty(), "an earlier run's lines were kept");
        QCOMPARE(reader.ticks().size(), std::size_t(1));
    }

    void aFileThatCannotBeMadeGivesAWarningAndNothingElse()
    {
        QTemporaryDir dir;
        // A folder where the file should be.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken")));
        LogCapture log;
        TileStats stats(dir.filePath(QStringLiteral("taken")), 10);
        QVERIFY(!stats.start());
        const QStringList warnings = log.lines(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QLatin1String("Cannot write the tile statistics")),
                 qPrintable(warnings.first()));
        stats.sample(); // nothing to write to, and no crash
        QTest::qWait(50);
        QCOMPARE(log.lines(QtWarningMsg).size(), 1);
    }

    void settingsFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("interval");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("geometry");
        QTest::addColumn<int>("expectedInterval");
        QTest::addColumn<QRect>("expectedGeometry");
        QTest::addColumn<QString>("warning");
        const QByteArray unset;
        QTest::newRow("nothing set") << unset << unset << unset << 0 << QRect() << QString();
        QTest::newRow("statistics to a file")
            << QByteArray("500") << QByteArray("/tmp/s.txt") << unset << 500 << QRect() << QString();
        QTest::newRow("interval without a file")
            << QByteArray("500") << unset << unset << 0 << QRect() << QStringLiteral("STATION_TILE_STATS_FILE");
        QTest::newRow("interval with an empty file") << QByteArray("500") << QByteArray("") << unset << 0 << QRect()
                                                     << QStringLiteral("STATION_TILE_STATS_FILE");
        QTest::newRow("file without an interval")
            << unset << QByteArray("/tmp/s.txt") << unset << 0 << QRect() << QStringLiteral("STATION_TILE_STATS_MS");
        QTest::newRow("interval zero") << QByteArray("0") << QByteArray("/tmp/s.txt") << unset << 0 << QRect()
                                       << QStringLiteral("positive number");
        QTest::newRow("interval not a number") << QByteArray("fast") << QByteArray("/tmp/s.txt") << unset << 0
                                               << QRect() << QStringLiteral("positive number");
        QTest::newRow("geometry alone") << unset << unset << QByteArray("1920x1080+0+0") << 0 << QRect(0, 0, 1920, 1080)
                                        << QString();
        QTest::newRow("geometry of no size")
            << unset << unset << QByteArray("0x1080+0+0") << 0 << QRect() << QStringLiteral("WxH+X+Y");
        QTest::newRow("geometry garbled")
            << unset << unset << QByteArray("1920x1080") << 0 << QRect() << QStringLiteral("WxH+X+Y");
    }

    void settingsFromTheEnvironment()
    {
        QFETCH(QByteArray, interval);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, geometry);
        QFETCH(int, expectedInterval);
        QFETCH(QRect, expectedGeometry);
        QFETCH(QString, warning);
        const ScopedEnv intervalEnv("STATION_TILE_STATS_MS", interval, !interval.isNull());
        const ScopedEnv fileEnv("STATION_TILE_STATS_FILE", file, !file.isNull());
        const ScopedEnv geometryEnv("STATION_WINDOW_GEOMETRY", geometry, !geometry.isNull());
        LogCapture log;
        const TileDiagnosticsSettings settings = TileDiagnosticsSettings::fromEnvironment();
        QCOMPARE(settings.statsIntervalMs, expectedInterval);
        QCOMPARE(settings.statsFile, expectedInterval > 0 ? QString::fromUtf8(file) : QString());
        QCOMPARE(settings.windowGeometry, expectedGeometry);
        const QStringList warnings = log.lines(QtWarningMsg);
        if (warning.isEmpty()) {
            QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
        } else {
            QCOMPARE(warnings.size(), 1);
            QVERIFY2(warnings.first().contains(warning), qPrintable(warnings.first()));
        }
    }
};

QTEST_MAIN(TestTileStats)
#include "tst_tilestats.moc"
