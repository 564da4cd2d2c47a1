// SPDX-License-Identifier: MIT
// The choice between a camera's main stream and its sub-stream, and its hysteresis over time.
#include <QSignalSpy>
#include <QtTest>

#include "logcapture.h"
#include "streamchoice.h"
#include "streamchooser.h"

using namespace StreamChoice;

// (ms, event): 'S' the main stream is too slow, 'R' the hold is over and the main stream returns.
using FallbackEvents = QVector<QPair<int, char>>;
Q_DECLARE_METATYPE(FallbackEvents)

namespace {

// A tile larger than its camera's 320x180 sub-stream: by its size it plays the main stream.
void setUpChooser(StreamChooser& chooser, const QString& name)
{
    chooser.setMainUrl(QStringLiteral("http://camera/%1/main").arg(name));
    chooser.setSubUrl(QStringLiteral("http://camera/%1/sub").arg(name));
    chooser.setSubSize(QStringLiteral("320x180"));
    chooser.setTileWidth(640);
    chooser.setTileHeight(360);
}

// Long enough for a timer that should not have fired yet to fire, were it wrong.
constexpr int kWellBeforeTheHoldEndsMs = 150;

} // namespace

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

    void fallbackHolds_data()
    {
        QTest::addColumn<FallbackEvents>("events");
        // The hold after each 'S'.
        QTest::addColumn<QVector<qint64>>("holds");
        QTest::newRow("the first fallback") << FallbackEvents{{0, 'S'}} << QVector<qint64>{30000};
        QTest::newRow("too slow again on probation: twice as long")
            << FallbackEvents{{0, 'S'}, {30000, 'R'}, {40000, 'S'}, {100000, 'R'}, {110000, 'S'}}
            << QVector<qint64>{30000, 60000, 120000};
        QTest::newRow("never longer than the longest hold")
            << FallbackEvents{{0, 'S'},      {30000, 'R'},  {31000, 'S'},  {91000, 'R'},  {92000, 'S'}, {212000, 'R'},
                              {213000, 'S'}, {453000, 'R'}, {454000, 'S'}, {934000, 'R'}, {935000, 'S'}}
            << QVector<qint64>{30000, 60000, 120000, 240000, 480000, 480000};
        QTest::newRow("kept up through the probation: the first hold again")
            << FallbackEvents{{0, 'S'}, {30000, 'R'}, {40000, 'S'}, {100000, 'R'}, {160000, 'S'}}
            << QVector<qint64>{30000, 60000, 30000};
        QTest::newRow("a second report while falling back changes nothing")
            << FallbackEvents{{0, 'S'}, {10000, 'S'}} << QVector<qint64>{30000, 30000};
    }

    void fallbackHolds()
    {
        QFETCH(FallbackEvents, events);
        QFETCH(QVector<qint64>, holds);
        Fallback fallback;
        QVERIFY(!fallback.active());
        QCOMPARE(fallback.holdEndsMs(), -1);
        QVector<qint64> seen;
        for (const auto& event : events) {
            if (event.second == 'S') {
                fallback.mainTooSlow(event.first);
                QVERIFY(fallback.active());
                seen.append(fallback.holdMs());
            } else {
                QVERIFY2(event.first >= fallback.holdEndsMs(), "returns only once the hold is over");
                fallback.returnToMain(event.first);
                QVERIFY(!fallback.active());
                QVERIFY(fallback.onProbation(event.first));
            }
        }
        QCOMPARE(seen, holds);
    }

    // A tile whose main stream cannot keep up plays its sub-stream, says why, and tries the main
    // stream again after the hold; too slow again, it waits twice as long.
    void chooserFallsBackAndReturns()
    {
        LogCapture log;
        StreamChooser chooser;
        setUpChooser(chooser, QStringLiteral("a"));
        chooser.setFallbackTimings(300, 1200, 5000);
        QCOMPARE(chooser.stream(), QStringLiteral("main"));
        QSignalSpy changes(&chooser, &StreamChooser::choiceChanged);

        chooser.reportMainTooSlow();
        QCOMPARE(chooser.stream(), QStringLiteral("sub"));
        QCOMPARE(chooser.url(), QStringLiteral("http://camera/a/sub"));
        QVERIFY(chooser.mainTooSlow());
        QCOMPARE(changes.count(), 1);
        QVERIFY2(log.contains(QStringLiteral(
                     "Main stream cannot keep up here; playing the sub-stream for 0.3 s: http://camera/a/main")),
                 qPrintable(log.lines().join(QLatin1Char('\n'))));
        chooser.reportMainTooSlow();
        QCOMPARE(changes.count(), 1);

        QTRY_COMPARE_WITH_TIMEOUT(chooser.stream(), QStringLiteral("main"), 5000);
        QVERIFY(!chooser.mainTooSlow());
        QVERIFY(log.contains(QStringLiteral("Trying the main stream again: http://camera/a/main")));

        // Too slow again on probation: twice the hold.
        chooser.reportMainTooSlow();
        QCOMPARE(chooser.stream(), QStringLiteral("sub"));
        QTest::qWait(300 + kWellBeforeTheHoldEndsMs);
        QCOMPARE(chooser.stream(), QStringLiteral("sub"));
        QTRY_COMPARE_WITH_TIMEOUT(chooser.stream(), QStringLiteral("main"), 5000);
    }

    void fallbackNeedsASubStreamAndTheMainStream()
    {
        StreamChooser withoutSub;
        withoutSub.setMainUrl(QStringLiteral("http://camera/b/main"));
        withoutSub.setTileWidth(640);
        withoutSub.setTileHeight(360);
        withoutSub.reportMainTooSlow();
        QCOMPARE(withoutSub.stream(), QStringLiteral("main"));
        QVERIFY(!withoutSub.mainTooSlow());

        // On its sub-stream by size, a tile has nothing to fall back from.
        StreamChooser small;
        setUpChooser(small, QStringLiteral("c"));
        small.setTimings(0, 0);
        small.setTileWidth(160);
        small.setTileHeight(90);
        QTRY_COMPARE(small.stream(), QStringLiteral("sub"));
        small.reportMainTooSlow();
        QVERIFY(!small.mainTooSlow());

        // A fallen-back tile that the sub-stream leaves (its size becomes unknown) plays main.
        StreamChooser lost;
        setUpChooser(lost, QStringLiteral("d"));
        lost.setFallbackTimings(60000, 60000, 60000);
        lost.reportMainTooSlow();
        QCOMPARE(lost.stream(), QStringLiteral("sub"));
        lost.setSubSize(QStringLiteral("unknown"));
        QCOMPARE(lost.stream(), QStringLiteral("main"));
        QVERIFY(!lost.mainTooSlow());
    }

    // A wall that fell back as a whole comes back a tile at a time: while one tile's main stream
    // is on probation, the others keep their sub-streams.
    void oneTileReturnsAtATime()
    {
        StreamChooser first;
        StreamChooser second;
        setUpChooser(first, QStringLiteral("e"));
        setUpChooser(second, QStringLiteral("f"));
        first.setFallbackTimings(100, 100, 1500);
        second.setFallbackTimings(100, 100, 1500);
        first.reportMainTooSlow();
        second.reportMainTooSlow();
        QTRY_VERIFY_WITH_TIMEOUT(first.stream() == QLatin1String("main") || second.stream() == QLatin1String("main"),
                                 5000);
        StreamChooser& returned = first.stream() == QLatin1String("main") ? first : second;
        StreamChooser& waiting = &returned == &first ? second : first;
        QCOMPARE(waiting.stream(), QStringLiteral("sub"));
        QVERIFY(waiting.mainTooSlow());
        QTest::qWait(kWellBeforeTheHoldEndsMs);
        QCOMPARE(waiting.stream(), QStringLiteral("sub"));
        // The first one's probation over, the second returns.
        QTRY_COMPARE_WITH_TIMEOUT(waiting.stream(), QStringLiteral("main"), 5000);
        QCOMPARE(returned.stream(), QStringLiteral("main"));
    }
};

QTEST_GUILESS_MAIN(TestStreamChoice)
#include "tst_streamchoice.moc"
