// SPDX-License-Identifier: MIT
// The choice between a camera's main stream and its sub-stream, and its hysteresis over time.
#include <QtTest>

#include "logcapture.h"
#include "streamchoice.h"

using namespace StreamChoice;

class TestStreamChoice : public QObject
{
    Q_OBJECT

private slots:
    void parseSize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("plain") << "640x360" << 640 << 360;
        QTest::newRow("capital X and blanks") << " 1920 X 1080 " << 1920 << 1080;
        QTest::newRow("empty") << "" << 0 << 0;
        QTest::newRow("one number") << "640" << 0 << 0;
        QTest::newRow("words") << "full HD" << 0 << 0;
        QTest::newRow("zero width") << "0x360" << 0 << 0;
        QTest::newRow("negative") << "-640x360" << 0 << 0;
        QTest::newRow("fraction") << "640.5x360" << 0 << 0;
        QTest::newRow("too many digits") << "1234567x10" << 0 << 0;
        QTest::newRow("star") << "640*360" << 0 << 0;
    }

    void parseSize()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(int, height);
        const PictureSize size = StreamChoice::parseSize(text);
        QCOMPARE(size.width, width);
        QCOMPARE(size.height, height);
        QCOMPARE(size.isValid(), width > 0);
    }

    void badSizeIsLoggedOnce()
    {
        LogCapture log;
        StreamChoice::parseSize(QStringLiteral("huge"), QStringLiteral("\"subSize\" of stream 21"));
        StreamChoice::parseSize(QStringLiteral("huge"), QStringLiteral("\"subSize\" of stream 21"));
        StreamChoice::parseSize(QStringLiteral("huge"), QStringLiteral("\"size\" of stream 21"));
        StreamChoice::parseSize(QString(), QStringLiteral("\"size\" of stream 22"));
        const QStringList warnings = log.lines(QtWarningMsg);
        QCOMPARE(warnings.size(), 2);
        QCOMPARE(
            warnings.first(),
            QStringLiteral("Picture size \"subSize\" of stream 21 \"huge\" is not WIDTHxHEIGHT: taken as unknown"));
    }

    void choose_data()
    {
        QTest::addColumn<bool>("hasSub");
        QTest::addColumn<QString>("subSize");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<bool>("fullView");
        QTest::addColumn<int>("stream");
        QTest::newRow("well below") << true << "640x360" << 480.0 << 270.0 << false << int(Sub);
        QTest::newRow("exactly the sub-stream") << true << "640x360" << 640.0 << 360.0 << false << int(Sub);
        QTest::newRow("a pixel wider") << true << "640x360" << 641.0 << 300.0 << false << int(Main);
        QTest::newRow("a pixel higher") << true << "640x360" << 600.0 << 361.0 << false << int(Main);
        QTest::newRow("a 4x4 wall on full HD") << true << "640x360" << 480.0 << 270.0 << false << int(Sub);
        QTest::newRow("full view") << true << "640x360" << 100.0 << 100.0 << true << int(Main);
        QTest::newRow("no sub-stream") << false << "640x360" << 100.0 << 100.0 << false << int(Main);
        QTest::newRow("sub-stream size unknown") << true << "" << 100.0 << 100.0 << false << int(Main);
        QTest::newRow("sub-stream size bad") << true << "small" << 100.0 << 100.0 << false << int(Main);
        QTest::newRow("tile size not known") << true << "640x360" << qQNaN() << 100.0 << false << int(Main);
    }

    void choose()
    {
        QFETCH(bool, hasSub);
        QFETCH(QString, subSize);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(bool, fullView);
        QFETCH(int, stream);
        QCOMPARE(int(StreamChoice::choose(hasSub, StreamChoice::parseSize(subSize), width, height, fullView)), stream);
    }

    void hysteresisHoldsAndSpaces()
    {
        Hysteresis choice(1000, 5000);
        QCOMPARE(choice.update(Sub, 0), Sub);
        QCOMPARE(choice.nextCheckMs(), -1);

        // A resize past the threshold: not before it has held for a second, and 5 s after the
        // first choice at the earliest.
        QCOMPARE(choice.update(Main, 1000), Sub);
        QCOMPARE(choice.nextCheckMs(), 5000);
        QCOMPARE(choice.update(Main, 4999), Sub);
        QCOMPARE(choice.update(Main, 5000), Main);

        // Dragged back and forth: each way back starts the hold anew, and it must hold.
        QCOMPARE(choice.update(Sub, 10000), Main);
        QCOMPARE(choice.update(Main, 10500), Main);
        QCOMPARE(choice.nextCheckMs(), -1);
        QCOMPARE(choice.update(Sub, 10600), Main);
        QCOMPARE(choice.nextCheckMs(), 11600);
        QCOMPARE(choice.update(Sub, 11599), Main);
        QCOMPARE(choice.update(Sub, 11600), Sub);

        // Full view switches at once, also right after a switch, and so does leaving it.
        QCOMPARE(choice.update(Main, 11700, true), Main);
        QCOMPARE(choice.update(Sub, 11800, true), Sub);
        QCOMPARE(choice.current(), Sub);
    }
};

QTEST_GUILESS_MAIN(TestStreamChoice)
#include "tst_streamchoice.moc"
