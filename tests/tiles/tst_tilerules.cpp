// SPDX-License-Identifier: MIT
// Which camera cells play: the cap of a layout, the smallest tile, and the cap's key in config.ini.
#include <limits>

#include <QTemporaryDir>
#include <QtTest>

#include "logcapture.h"
#include "testfiles.h"
#include "tilerules.h"

class TestTileRules : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data()
    {
        QTest::addColumn<bool>("hasUrl");
        QTest::addColumn<int>("order");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<int>("verdict");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("first camera, large") << true << 0 << 640.0 << 360.0 << int(TileRules::Plays);
        QTest::newRow("last within the cap") << true << 63 << 96.0 << 54.0 << int(TileRules::Plays);
        QTest::newRow("first beyond the cap") << true << 64 << 96.0 << 54.0 << int(TileRules::OverCap);
        QTest::newRow("far beyond the cap") << true << 399 << 1920.0 << 1080.0 << int(TileRules::OverCap);
        QTest::newRow("no camera cell") << true << -1 << 640.0 << 360.0 << int(TileRules::OverCap);
        QTest::newRow("no URL, whatever else") << false << 0 << 640.0 << 360.0 << int(TileRules::NoUrl);
        QTest::newRow("no URL beyond the cap") << false << 100 << 10.0 << 10.0 << int(TileRules::NoUrl);
        QTest::newRow("exactly the smallest") << true << 0 << 48.0 << 48.0 << int(TileRules::Plays);
        QTest::newRow("a pixel too narrow") << true << 0 << 47.9 << 200.0 << int(TileRules::TooSmall);
        QTest::newRow("a pixel too low") << true << 0 << 200.0 << 47.0 << int(TileRules::TooSmall);
        QTest::newRow("a 40x40 grid on a full-HD screen") << true << 3 << 48.0 << 27.0 << int(TileRules::TooSmall);
        QTest::newRow("beyond the cap and too small") << true << 70 << 10.0 << 10.0 << int(TileRules::OverCap);
        QTest::newRow("size not known yet") << true << 0 << nan << 100.0 << int(TileRules::TooSmall);
    }

    void verdict()
    {
        QFETCH(bool, hasUrl);
        QFETCH(int, order);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(int, verdict);
        const TileRules rules(64);
        QCOMPARE(rules.verdict(hasUrl, order, width, height), verdict);
        QCOMPARE(int(TileRules::verdictFor(hasUrl, order, 64, width, height)), verdict);
    }

    void maxTilesFromConfig_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<int>("tiles");
        QTest::addColumn<bool>("warns");
        QTest::newRow("no file") << QByteArray() << 64 << false;
        QTest::newRow("no key") << QByteArray("[IPC]\nurl=tcp://127.0.0.1:9999\n") << 64 << false;
        QTest::newRow("a number") << QByteArray("[Video]\nmaxTiles=16\n") << 16 << false;
        QTest::newRow("blanks around it") << QByteArray("[Video]\nmaxTiles= 200 \n") << 200 << false;
        QTest::newRow("the largest") << QByteArray("[Video]\nmaxTiles=1024\n") << 1024 << false;
        QTest::newRow("one") << QByteArray("[Video]\nmaxTiles=1\n") << 1 << false;
        QTest::newRow("zero") << QByteArray("[Video]\nmaxTiles=0\n") << 64 << true;
        QTest::newRow("negative") << QByteArray("[Video]\nmaxTiles=-3\n") << 64 << true;
        QTest::newRow("too many") << QByteArray("[Video]\nmaxTiles=5000\n") << 64 << true;
        QTest::newRow("a word") << QByteArray("[Video]\nmaxTiles=many\n") << 64 << true;
        QTest::newRow("a fraction") << QByteArray("[Video]\nmaxTiles=12.5\n") << 64 << true;
    }

    void maxTilesFromConfig()
    {
        QFETCH(QByteArray, config);
        QFETCH(int, tiles);
        QFETCH(bool, warns);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config.ini"));
        if (!config.isEmpty())
            QVERIFY(testsupport::writeFile(path, config));
        LogCapture log;
        QCOMPARE(TileRules::maxTilesFromConfig(path), tiles);
        const QStringList warnings = log.lines(QtWarningMsg);
        QCOMPARE(warnings.size(), warns ? 1 : 0);
        if (warns)
            QVERIFY2(warnings.first().contains(QLatin1String("Video/maxTiles")) &&
                         warnings.first().contains(QLatin1String("using 64")),
                     qPrintable(warnings.first()));
    }
};

QTEST_GUILESS_MAIN(TestTileRules)
#include "tst_tilerules.moc"
