// SPDX-License-Identifier: MIT
// The station as an operator starts it: simulator, client and companion as programs on one
// display. A layout is picked through the remote interface and a screenshot of the client's
// window must show moving video inside every camera tile.
#include <memory>

#include <QDir>
#include <QImage>
#include <QRemoteObjectNode>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "freeports.h"
#include "programrun.h"
#include "rep_client_service_replica.h"
#include "simprocess.h"
#include "testfiles.h"
#include "uisite.h"

using namespace testsupport;
using namespace uitest;

namespace {

// Distinct colours, coarsely quantised, and the share of near-black pixels in a rectangle: a
// synthetic test picture has many colours, an empty tile has one.
struct RegionStats
{
    int colours = 0;
    double darkShare = 1.0;
};

RegionStats statsOf(const QImage& image, const QRect& rect)
{
    RegionStats stats;
    const QRect area = rect.intersected(image.rect());
    if (area.isEmpty())
        return stats;
    QSet<int> colours;
    int dark = 0;
    int total = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            colours.insert((c.red() >> 4) << 8 | (c.green() >> 4) << 4 | (c.blue() >> 4));
            if (c.red() < 24 && c.green() < 24 && c.blue() < 24)
                ++dark;
            ++total;
        }
    }
    stats.colours = colours.size();
    stats.darkShare = total ? double(dark) / total : 1.0;
    return stats;
}

} // namespace

class TestUiSmoke : public QObject
{
    Q_OBJECT

private:
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
        env.remove(QStringLiteral("DEBUG"));
        return env;
    }

    QString clientLog() const { return readFile(m_dir.filePath(QStringLiteral("data/PELMAR/clientLogs.txt"))); }

    // The client's window, as the X server shows it.
    QImage grabClient()
    {
        const QString shot = m_dir.filePath(QStringLiteral("client.png"));
        QFile::remove(shot);
        QProcess import;
        import.start(QStringLiteral("import"),
                     {QStringLiteral("-silent"), QStringLiteral("-window"), QStringLiteral("Client"), shot});
        if (!import.waitForFinished(15000) || import.exitCode() != 0)
            return QImage();
        return QImage(shot);
    }

    // Every camera tile of the "Cameras" layout (one row, two columns) shows video in its middle.
    static bool tilesShowVideo(const QImage& image, QString& report)
    {
        if (image.isNull()) {
            report = QStringLiteral("no screenshot");
            return false;
        }
        bool all = true;
        report.clear();
        for (int col = 0; col < 2; ++col) {
            const int tileWidth = image.width() / 2;
            const QRect tile(col * tileWidth, 0, tileWidth, image.height());
            // The middle of the tile: inside the page's margin and the letterbox of the picture.
            const QRect middle(tile.x() + tile.width() * 35 / 100, tile.y() + tile.height() * 40 / 100,
                               tile.width() * 30 / 100, tile.height() * 20 / 100);
            const RegionStats stats = statsOf(image, middle);
            report += QStringLiteral("tile %1: %2 colours, %3 dark; ").arg(col).arg(stats.colours).arg(stats.darkShare);
            all = all && stats.colours >= 12 && stats.darkShare < 0.5;
        }
        return all;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(ProgramRun::placeInto(QStringLiteral(CLIENT_BINARY), m_dir.path()));
        QVERIFY(ProgramRun::placeInto(QStringLiteral(TAVREL_BINARY), m_dir.path()));
        m_ipcUrl = QStringLiteral("tcp://127.0.0.1:%1").arg(freePort());
        m_sim.setWorkingDirectory(m_dir.path());
        m_sim.setEnvironment(environment());

        // One config.ini for both programs, as they share their folder.
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("config.ini")), "[IPC]\nurl=" + m_ipcUrl.toUtf8() + "\n"));
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("site.json")), siteFile()));
        QVERIFY2(m_sim.start(m_dir.filePath(QStringLiteral("site.json"))), qPrintable(m_sim.output()));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("config/pelmar.example"))));
        QSettings login(m_dir.filePath(QStringLiteral("config/pelmar.example/PELMAR.conf")), QSettings::IniFormat);
        login.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        login.setValue(QStringLiteral("port"), QString::number(m_sim.serverPort()));
        login.setValue(QStringLiteral("user"), QString::fromLatin1(user));
        login.setValue(QStringLiteral("pass"), QString::fromLatin1(password));
        login.sync();
        QCOMPARE(login.status(), QSettings::NoError);
    }

    void liveTilesShowVideo()
    {
        // The companion first, so that the client's window lies on top of it.
        ProgramRun tavrel;
        ProgramRun client;
        QVERIFY(tavrel.start(m_dir.filePath(QStringLiteral("tavrel")), {}, m_dir.path(), environment()));
        QVERIFY(client.start(m_dir.filePath(QStringLiteral("client")), {}, m_dir.path(), environment()));

        QRemoteObjectNode node;
        QVERIFY(node.connectToNode(QUrl(m_ipcUrl)));
        std::unique_ptr<client_ServiceReplica> replica(node.acquire<client_ServiceReplica>());
        QVERIFY2(replica->waitForSource(20000), qPrintable(clientLog()));
        QList<client_Layout> layouts;
        connect(replica.get(), &client_ServiceReplica::layoutListChanged, this,
                [&layouts](const QList<client_Layout>& list) { layouts = list; });
        QTRY_VERIFY2_WITH_TIMEOUT(
            [&] {
                if (layouts.isEmpty())
                    replica->requestLayoutList();
                return !layouts.isEmpty();
            }(),
            qPrintable(clientLog()), 30000);
        QString json;
        for (const client_Layout& layout : qAsConst(layouts)) {
            if (layout.name() == QLatin1String("Cameras"))
                json = layout.json();
        }
        QVERIFY(!json.isEmpty());
        replica->setLayout(QStringLiteral("Cameras"), json);

        // One screenshot per look: the check after the wait must not take another, in which a
        // test pattern may have few colours in the middle of a tile for a frame.
        QImage shot;
        QString report;
        bool shown = false;
        QTRY_VERIFY2_WITH_TIMEOUT(shown || (shown = tilesShowVideo(shot = grabClient(), report)),
                                  qPrintable(report + "\n" + clientLog()), 45000);
        // Kept beside the test for a person to look at.
        shot.save(QCoreApplication::applicationDirPath() + QStringLiteral("/uismoke-client.png"));

        client.stop();
        tavrel.stop();
        m_sim.stop();
        QCOMPARE(m_sim.process().exitCode(), 0);
    }

private:
    QTemporaryDir m_dir;
    QString m_ipcUrl;
    SimProcess m_sim;
};

QTEST_MAIN(TestUiSmoke)
#include "tst_uismoke.moc"
