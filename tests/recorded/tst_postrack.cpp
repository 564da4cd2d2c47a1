// SPDX-License-Identifier: MIT
// The POS lines of recorded video as a function of the video's position.
#include <QSignalSpy>
#include <QtTest>

#include "logcapture.h"
#include "postrack.h"

namespace {

QString answer(const QString& entries)
{
    return QStringLiteral(R"({"from": 0, "to": 100000, "arr": [%1]})").arg(entries);
}

// Three receipts: two lines at 10 s, one at 11 s, six at 20 s.
const char* threeReceipts = R"({"time": 20000, "text": "c1\nc2\nc3\nc4\nc5\nc6"},
                               {"time": 10000, "text": "a1\na2"}, {"time": "11000", "text": "b1"})";

} // namespace

class TestPosTrack : public QObject
{
    Q_OBJECT

private slots:
    void linesFollowThePosition_data()
    {
        QTest::addColumn<qlonglong>("position");
        QTest::addColumn<QStringList>("lines");
        // Shown 500 ms ahead of their times; held 3 s after the last receipt, then one line goes
        // every 500 ms; at most five lines.
        QTest::newRow("before the first") << 9499LL << QStringList();
        QTest::newRow("the first receipt's moment") << 9500LL << QStringList{"a1", "a2"};
        QTest::newRow("the second adds to it") << 10500LL << QStringList{"a1", "a2", "b1"};
        QTest::newRow("held until the hold ends") << 13499LL << QStringList{"a1", "a2", "b1"};
        QTest::newRow("the oldest goes first") << 13500LL << QStringList{"a2", "b1"};
        QTest::newRow("one more each trim") << 14000LL << QStringList{"b1"};
        QTest::newRow("all gone") << 14500LL << QStringList();
        QTest::newRow("long after, still gone") << 19000LL << QStringList();
        QTest::newRow("a long receipt keeps its last five") << 19500LL << QStringList{"c2", "c3", "c4", "c5", "c6"};
        QTest::newRow("far past the end") << 99999999LL << QStringList();
    }

    void linesFollowThePosition()
    {
        QFETCH(qlonglong, position);
        QFETCH(QStringList, lines);
        PosTrack track;
        track.setLeadMs(500);
        track.setMaxLines(5);
        track.setHoldMs(3000);
        track.setTrimMs(500);
        QVERIFY(track.load(answer(QString::fromLatin1(threeReceipts))));
        QCOMPARE(track.count(), 3);
        QCOMPARE(track.linesAt(position), lines);
        // The same moment gives the same lines whatever was asked before: a seek back and forth.
        QCOMPARE(track.linesAt(99999999), QStringList());
        QCOMPARE(track.linesAt(position), lines);
    }

    void linesCarryOverBetweenCloseReceipts()
    {
        // Receipts 2 s apart never reach the hold: the lines pile up to the limit.
        PosTrack track;
        track.setMaxLines(4);
        QString entries;
        for (int i = 0; i < 6; ++i)
            entries += QStringLiteral("%1{\"time\": %2, \"text\": \"r%3\"}").arg(i ? "," : "").arg(i * 2000).arg(i);
        QVERIFY(track.load(answer(entries)));
        QCOMPARE(track.linesAt(10000), (QStringList{"r2", "r3", "r4", "r5"}));
        // Changing the hold rebuilds the queue: with a hold of one second each receipt is alone.
        track.setHoldMs(1000);
        track.setTrimMs(100);
        QCOMPARE(track.linesAt(10000), QStringList{"r5"});
    }

    void receiptsAreSortedAndBadEntriesLeftOut()
    {
        PosTrack track;
        QSignalSpy changed(&track, &PosTrack::changed);
        LogCapture log;
        QVERIFY(track.load(answer(R"({"time": 300, "text": "late"}, {"time": 100, "text": "early"},
                                   {"time": 300, "text": "same time"}, {"text": "no time"}, {"time": 5},
                                   {"time": "soon", "text": "bad time"}, 7, {"time": 200, "text": 42})")));
        QCOMPARE(track.count(), 4);
        QCOMPARE(track.times(), (QVariantList{100LL, 200LL, 300LL, 300LL}));
        QCOMPARE(track.textOf(1), QStringLiteral("42"));
        QCOMPARE(track.textOf(2), QStringLiteral("late"));
        QCOMPARE(track.textOf(3), QStringLiteral("same time"));
        QCOMPARE(track.timeOf(4), -1LL);
        QVERIFY2(log.lines(QtWarningMsg)
                     .contains(QStringLiteral("POS data: 4 entries without a usable `time` or `text` left out")),
                 qPrintable(log.lines().join('\n')));
        QCOMPARE(changed.count(), 1);
    }

    void answersThatAreNoAnswerLeaveNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("warning");
        QTest::newRow("empty") << QString() << "POS data is no JSON object";
        QTest::newRow("not JSON") << "<html>502</html>"
                                  << "POS data is no JSON object";
        QTest::newRow("an array") << "[1, 2]"
                                  << "POS data is no JSON object";
        QTest::newRow("no from") << R"({"to": 1, "arr": []})"
                                 << "POS data without the field `from`";
        QTest::newRow("no arr") << R"({"from": 1, "to": 1})"
                                << "POS data without the field `arr`";
        QTest::newRow("arr not a list") << R"({"from": 1, "to": 1, "arr": {}})"
                                        << "POS data with an invalid `from` or `arr`";
        QTest::newRow("from not a time") << R"({"from": "x", "to": 1, "arr": []})"
                                         << "POS data with an invalid `from` or `arr`";
    }

    void answersThatAreNoAnswerLeaveNothing()
    {
        QFETCH(QString, text);
        QFETCH(QString, warning);
        PosTrack track;
        QVERIFY(track.load(answer(QStringLiteral(R"({"time": 1, "text": "previous stretch"})"))));
        QCOMPARE(track.count(), 1);
        LogCapture log;
        QVERIFY(!track.load(text));
        QCOMPARE(track.count(), 0);
        QCOMPARE(track.linesAt(1), QStringList());
        QVERIFY2(log.lines(QtWarningMsg).join('\n').contains(warning), qPrintable(log.lines().join('\n')));
    }

    void searchFindsLinesIgnoringCase()
    {
        PosTrack track;
        QVERIFY(track.load(answer(R"({"time": 1000, "text": "POS 1\n2 x Coffee 2.40\nTOTAL 4.80"},
                                   {"time": 2000, "text": "POS 2\n1 x Tea 1.50"},
                                   {"time": 3000, "text": "POS 3\n1 x coffee beans 9.90\nVOID coffee"})")));
        const QVariantList found = track.search(QStringLiteral("  COFFEE "));
        QCOMPARE(found.size(), 3);
        QCOMPARE(found[0].toMap().value("line").toString(), QStringLiteral("2 x Coffee 2.40"));
        QCOMPARE(found[0].toMap().value("time").toLongLong(), 1000LL);
        QCOMPARE(found[0].toMap().value("receipt").toInt(), 0);
        QCOMPARE(found[2].toMap().value("line").toString(), QStringLiteral("VOID coffee"));
        QCOMPARE(found[2].toMap().value("receipt").toInt(), 2);
        QCOMPARE(track.search(QStringLiteral("coffee"), 2).size(), 2);
        QVERIFY(track.search(QStringLiteral("   ")).isEmpty());
        QVERIFY(track.search(QStringLiteral("milk")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPosTrack)
#include "tst_postrack.moc"
