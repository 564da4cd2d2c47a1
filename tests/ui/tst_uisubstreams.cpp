// SPDX-License-Identifier: MIT
// A wall of cameras with sub-streams against the simulator: in a full-HD window a 4x4 layout plays
// only sub-streams, and a double click plays the main stream of that one tile.
#include <QTemporaryDir>
#include <QtTest>

#include "clienttestmain.h"
#include "freeports.h"
#include "inprocessclient.h"
#include "simprocess.h"
#include "testfiles.h"

using namespace testsupport;

namespace {

constexpr int cameras = 16;

// Each camera its own colour, so that every URL names one camera.
QString source(int camera, const char* size)
{
    return QStringLiteral("av://lavfi:color{EQU}c{EQU}0x%1%1%1:size{EQU}%2:rate{EQU}5")
        .arg(camera * 10, 2, 16, QLatin1Char('0'))
        .arg(QLatin1String(size));
}

QString expanded(const QString& url)
{
    return QString(url).replace(QLatin1String("{EQU}"), QLatin1String("="));
}

QByteArray siteText()
{
    QString objects = QStringLiteral(R"({"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 10, "name": "Gateway", "type": 2, "parent": 1, "className": "device.GATEWAY",
         "gateway": {}, "settings": {"address": "127.0.0.1"}})");
    QString cells;
    for (int i = 0; i < cameras; ++i) {
        objects += QStringLiteral(",\n{\"id\": %1, \"name\": \"Cam %1\", \"type\": 10, \"parent\": 10, "
                                  "\"settings\": {\"url\": \"%2\", \"size\": \"1280x720\", \"subUrl\": \"%3\", "
                                  "\"subSize\": \"640x360\"}}")
                       .arg(100 + i)
                       .arg(source(i, "1280x720"), source(i, "320x180"));
        cells += QStringLiteral("%1{\"row\": %2, \"col\": %3, \"rowSpan\": 1, \"colSpan\": 1, \"type\": \"video\", "
                                "\"label\": \"Cam %4\", \"deviceId\": \"10\", \"objectId\": \"%4\"}")
                     .arg(i ? "," : "")
                     .arg(i / 4)
                     .arg(i % 4)
                     .arg(100 + i);
    }
    return QStringLiteral("{\"name\": \"wall\", \"pos\": {\"rate\": 0}, \"objects\": [%1],\n"
                          "\"layouts\": {\"Wall\": {\"numRows\": 4, \"numCols\": 4, \"elements\": [%2]}}}")
        .arg(objects, cells)
        .toUtf8();
}

QString playing(QQuickItem* camera)
{
    auto* mpv = camera ? camera->property("playerObject").value<QObject*>() : nullptr;
    return mpv ? mpv->property("path").toString() : QString();
}

} // namespace

class TestUiSubStreams : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(sitePath, siteText()));
        QVERIFY2(m_sim.start(sitePath), qPrintable(m_sim.output()));
        QVERIFY(m_client.load(m_sim.serverPort(), freePort()));
        m_client.window()->resize(1920, 1080);
        QTRY_VERIFY_WITH_TIMEOUT(m_client.firstNamed(QStringLiteral("mainPage")), 20000);
        QVERIFY2(m_client.listLayouts(1), "the client hosts its remote interface and lists its layouts");
        QCOMPARE(m_client.layoutCount(), 1);
        QVERIFY(m_client.applyLayout(QStringLiteral("Wall")));
        QTRY_COMPARE_WITH_TIMEOUT(m_client.cameras().size(), cameras, 20000);
    }

    void cleanupTestCase()
    {
        m_client.unload();
        m_sim.stop();
    }

    void wallPlaysOnlySubStreams()
    {
        const QList<QQuickItem*> tiles = m_client.cameras();
        for (int i = 0; i < cameras; ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(playing(tiles[i]), expanded(source(i, "320x180")), 20000);
            QCOMPARE(tiles[i]->property("stream").toString(), QStringLiteral("sub"));
        }
    }

    void fullViewPlaysTheMainStreamOfThatTileAlone()
    {
        const QList<QQuickItem*> tiles = m_client.cameras();
        QQuickItem* chosen = tiles[5];
        QTest::mouseDClick(m_client.window(), Qt::LeftButton, Qt::NoModifier,
                           chosen->mapToScene(QPointF(chosen->width() / 2, chosen->height() / 2)).toPoint());
        QTRY_VERIFY_WITH_TIMEOUT(chosen->property("singleView").toBool(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(playing(chosen), expanded(source(5, "1280x720")), 20000);
        for (int i = 0; i < cameras; ++i) {
            if (i != 5)
                QCOMPARE(playing(tiles[i]), expanded(source(i, "320x180")));
        }
        chosen->setProperty("singleView", false);
        QTRY_COMPARE_WITH_TIMEOUT(playing(chosen), expanded(source(5, "320x180")), 20000);
    }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    InProcessClient m_client;
};

int main(int argc, char* argv[])
{
    return runClientTest<TestUiSubStreams>(argc, argv);
}

#include "tst_uisubstreams.moc"
