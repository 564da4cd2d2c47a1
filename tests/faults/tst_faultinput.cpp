// SPDX-License-Identifier: MIT
// Bad input from the outside, to the client in this process: layout texts stored on the server
// that are huge or nested beyond reason, and POS publishers that send a megabyte in one message,
// frames that are not UTF-8 and messages of the wrong shape.
#include "app.h"
#include "clienttestmain.h"
#include "freeports.h"
#include "inprocessclient.h"
#include "layoutmodel.h"
#include "logcapture.h"
#include "processstats.h"
#include "simprocess.h"
#include "testfiles.h"
#include "testpublisher.h"

using namespace testsupport;

namespace {

constexpr int hugeLayoutBytes = 10 * 1024 * 1024;
constexpr int nestingDepth = 100000;

// Stream 14 sits behind a device that is no gateway of the simulator: its POS settings point at
// the test's own publisher.
QByteArray inputSite(int posPort)
{
    QByteArray site = R"({
    "name": "input",
    "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 13, "name": "Till box", "type": 2, "parent": 1,
         "settings": {"address": "127.0.0.1", "posPort": POS_PORT}},
        {"id": 14, "name": "Till", "type": 10, "parent": 13, "className": "stream.CAMERA"}
    ],
    "layouts": {
        "Pos": {"numRows": 1, "numCols": 2, "elements": [
            {"row": 0, "col": 0, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Till",
             "deviceId": "13", "objectId": "14"},
            {"row": 0, "col": 1, "rowSpan": 1, "colSpan": 1, "type": "alarm", "label": "Alarm"}
        ]},
        "Huge": HUGE_LAYOUT,
        "Deep": DEEP_LAYOUT
    }
})";
    site.replace("POS_PORT", QByteArray::number(posPort));

    // A valid layout of one camera and one alarm, carried in ten megabytes of text.
    // Compact, as the server stores a layout object: the client must get exactly this size.
    QByteArray huge = R"({"numRows":1,"numCols":2,"elements":[)"
                      R"({"row":0,"col":0,"rowSpan":1,"colSpan":1,"type":"alarm","label":"Alarm"},)"
                      R"({"row":0,"col":1,"rowSpan":1,"colSpan":1,"type":"video","label":"Till",)"
                      R"("deviceId":"13","objectId":"14"}],"notes":")";
    huge += QByteArray(hugeLayoutBytes - huge.size() - 2, 'n');
    huge += "\"}";
    site.replace("HUGE_LAYOUT", huge);

    // Stored as a text: the server keeps it as it is, and only the client parses it.
    const QByteArray deep =
        "\"{\\\"numRows\\\": 1, \\\"numCols\\\": 1, \\\"elements\\\": " + QByteArray(nestingDepth, '[') +
        QByteArray(nestingDepth, ']') + "}\"";
    site.replace("DEEP_LAYOUT", deep);
    return site;
}

} // namespace

class TestFaultInput : public QObject
{
    Q_OBJECT

private:
    QStringList tillLines() const { return posLinesOf(m_client.cameraFor(QStringLiteral("14"))); }

    // Applies a layout and waits until the page shows it: its cells, the camera in the given row.
    void applyAndWait(const QString& name, int cells, int cameraRow)
    {
        QVERIFY(m_client.applyLayout(name));
        LayoutModel* model = App::instance()->layoutModel();
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() == cells &&
                                     model->index(cameraRow, 0).data(LayoutModel::ObjectIdRole).toString() ==
                                         QLatin1String("14"),
                                 20000);
        QTRY_COMPARE_WITH_TIMEOUT(m_client.cells().size(), cells, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_client.cameraFor(QStringLiteral("14")), 10000);
    }

    // Publishes until the tile shows the line: the subscription filter may still be on its way.
    bool tileShows(const QString& line)
    {
        const int republishEveryMs = 200;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            m_publisher.publish({QByteArrayLiteral("14"), line.toUtf8()});
            if (QTest::qWaitFor([&] { return tillLines().contains(line); }, republishEveryMs))
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QList<int> more = freePorts(1);
        QCOMPARE(more.size(), 1);
        const QString sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(sitePath, inputSite(m_publisher.port())));
        QVERIFY2(m_sim.start(sitePath, {QStringLiteral("--verbose")}), qPrintable(m_sim.output()));
        QVERIFY(m_client.load(m_sim.serverPort(), more[0]));
        QTRY_VERIFY2_WITH_TIMEOUT(m_client.firstNamed(QStringLiteral("mainPage")), qPrintable(m_sim.output()), 20000);
        QVERIFY2(m_client.listLayouts(3), "the client hosts its remote interface and lists its layouts");
        QCOMPARE(m_client.layoutCount(), 3);
    }

    void cleanupTestCase()
    {
        m_client.unload();
        m_sim.stop();
    }

    void hugeLayoutTextArrivesWholeAndApplies()
    {
        // Server, client and companion pass all ten megabytes on, unchanged.
        const QString huge = m_client.layoutJson(QStringLiteral("Huge"));
        QCOMPARE(huge.size(), hugeLayoutBytes);
        QVERIFY(huge.endsWith(QLatin1String("nnn\"}")));
        applyAndWait(QStringLiteral("Huge"), 2, 1);
    }

    void deeplyNestedLayoutIsRefusedWithAMessage()
    {
        applyAndWait(QStringLiteral("Pos"), 2, 0);
        LayoutModel* model = App::instance()->layoutModel();

        const QString deep = m_client.layoutJson(QStringLiteral("Deep"));
        QCOMPARE(deep.count(QLatin1Char('[')), nestingDepth);
        LogCapture log;
        QVERIFY(m_client.applyLayout(QStringLiteral("Deep")));
        QTRY_VERIFY_WITH_TIMEOUT(!log.lines(QtWarningMsg).filter(QLatin1String("Layout is not valid JSON")).isEmpty(),
                                 10000);
        // The layout on screen stays as it was.
        QCOMPARE(m_client.cells().size(), 2);
        QCOMPARE(model->index(0, 0).data(LayoutModel::ObjectIdRole).toString(), QStringLiteral("14"));
        QVERIFY(m_client.cameraFor(QStringLiteral("14")));
    }

    void megabytePosMessage()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_publisher.subscriptions().contains(QStringLiteral("+14")), 10000);
        QVERIFY(tileShows(QStringLiteral("before the megabyte")));

        // One line of a megabyte, then a megabyte of short lines.
        LogCapture log;
        m_publisher.publish({QByteArrayLiteral("14"), QByteArray(1024 * 1024, 'W') + "\nTOTAL 1.00"});
        QByteArray manyLines;
        for (int i = 0; manyLines.size() < 1024 * 1024; ++i)
            manyLines += "line " + QByteArray::number(i) + '\n';
        m_publisher.publish({QByteArrayLiteral("14"), manyLines});
        QVERIFY2(tileShows(QStringLiteral("after the megabyte")), qPrintable(tillLines().join('|').left(500)));

        // The overlay keeps a bounded number of lines of bounded length, and says what it cut.
        const QStringList lines = tillLines();
        QVERIFY2(lines.size() <= 200, qPrintable(QString::number(lines.size())));
        for (const QString& line : lines)
            QVERIFY2(line.size() <= 64 * 1024, qPrintable(QString::number(line.size())));
        QVERIFY2(!log.lines(QtWarningMsg).filter(QLatin1String("POS message")).isEmpty(),
                 qPrintable(log.lines().join('\n').left(2000)));
    }

    void framesThatAreNotUtf8()
    {
        const QByteArray invalidText = "bad \xff\xfe byte, \xc3\x28 pair, \xe2\x82 cut, \xc0\xaf overlong end";
        m_publisher.publish({QByteArrayLiteral("14"), invalidText});
        // A channel name that only starts like this camera's passes the filter, not the tile.
        m_publisher.publish({QByteArrayLiteral("14\xff"), QByteArrayLiteral("not for this tile")});
        m_publisher.publish({QByteArrayLiteral("\xff\xfe"), QByteArrayLiteral("no channel at all")});
        // The wrong number of frames.
        m_publisher.publish({QByteArrayLiteral("14")});
        m_publisher.publish({QByteArrayLiteral("14"), QByteArrayLiteral("three"), QByteArrayLiteral("frames")});
        m_publisher.publish({QByteArrayLiteral("14"), QByteArray()});
        QVERIFY(tileShows(QStringLiteral("after the bad frames")));

        const QStringList lines = tillLines();
        const QStringList shown = lines.filter(QLatin1String("overlong end"));
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().startsWith(QLatin1String("bad ")) && shown.first().contains(QChar(0xfffd)),
                 qPrintable(shown.first()));
        QVERIFY(lines.filter(QLatin1String("not for this tile")).isEmpty());
        QVERIFY(lines.filter(QLatin1String("no channel at all")).isEmpty());
    }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    TestPublisher m_publisher;
    InProcessClient m_client;
};

int main(int argc, char* argv[])
{
    return runClientTest<TestFaultInput>(argc, argv);
}

#include "tst_faultinput.moc"
