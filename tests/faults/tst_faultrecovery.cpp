// SPDX-License-Identifier: MIT
// The client in this process while the pieces around it fail: the server killed and started again,
// a camera's stream server killed and started again, and a gateway that goes down in the middle of
// a chunk, sends garbage instead of media, or is not there at all.
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>

#include "app.h"
#include "clienttestmain.h"
#include "downloader.h"
#include "faultsite.h"
#include "freeports.h"
#include "inprocessclient.h"
#include "processstats.h"
#include "simprocess.h"
#include "testfiles.h"
#include "testhttpserver.h"
#include "vantorclient.h"

using namespace faults;
using namespace testsupport;

namespace {

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(12345);
    for (char& byte : bytes)
        byte = static_cast<char>(generator.generate() & 0xff);
    return bytes;
}

// A stand-in for a chunk's gateway that fails on purpose: chunk 0 is cut after its first part and
// the gateway goes down with it (connection and listener both); chunk 1 is random bytes under a
// 200 answer; other chunks are not there.
void makeFailingGateway(TestHttpServer& gateway)
{
    gateway.route(QStringLiteral("/pos-data"),
                  TestHttpServer::Reply::ok(R"({"from": 0, "to": 0, "arr": []})", "application/json"));
    TestHttpServer::Reply cut = TestHttpServer::Reply::ok(randomBytes(256 * 1024), "video/mp4");
    cut.contentLength = 4000000;
    cut.ending = TestHttpServer::Ending::Abort;
    cut.stopListening = true;
    gateway.route(QStringLiteral("/11-%1*").arg(QLatin1String(chunkStarts[0])), cut);
    gateway.route(QStringLiteral("/11-%1*").arg(QLatin1String(chunkStarts[1])),
                  TestHttpServer::Reply::ok(randomBytes(512 * 1024), "video/mp4"));
    gateway.setFallback(TestHttpServer::Reply::withStatus(404, "no such chunk\n"));
}

int posDataRequests(const TestHttpServer& gateway)
{
    int count = 0;
    for (const TestHttpServer::Request& request : gateway.requests())
        count += request.path == QLatin1String("/pos-data");
    return count;
}

} // namespace

class TestFaultRecovery : public QObject
{
    Q_OBJECT

private:
    QQuickItem* recordedPage() const { return m_client.firstNamed(QStringLiteral("recordedPage")); }

    QObject* pageObject(const char* name) const
    {
        return recordedPage() ? recordedPage()->property(name).value<QObject*>() : nullptr;
    }

    QList<QQuickItem*> visibleRows(const QString& name) const
    {
        QList<QQuickItem*> rows;
        for (QQuickItem* row : itemsNamed(recordedPage(), name)) {
            if (row->isVisible())
                rows << row;
        }
        return rows;
    }

    // Rows come in the server's order, the chunks' order of time.
    QQuickItem* chunkRow(int index) const { return visibleRows(QStringLiteral("chunkRow")).value(index); }

    // Clicks a chunk and waits for its download to end; gives the failure message, or "" when the
    // chunk arrived.
    QString fetchChunk(int index)
    {
        auto* downloader = qobject_cast<Downloader*>(pageObject("downloader"));
        QQuickItem* row = chunkRow(index);
        if (!downloader || !row)
            return QStringLiteral("no downloader or no chunk row %1").arg(index);
        QSignalSpy finished(downloader, &Downloader::finished);
        QSignalSpy failed(downloader, &Downloader::failed);
        m_client.click(row);
        static_cast<void>(QTest::qWaitFor([&] { return !finished.isEmpty() || !failed.isEmpty(); }, 30000));
        if (!failed.isEmpty())
            return failed.first().first().toString();
        return finished.isEmpty() ? QStringLiteral("the download neither finished nor failed") : QString();
    }

    QObject* recordedMpv() const
    {
        QObject* player = pageObject("player");
        QObject* backend = player ? player->property("backend").value<QObject*>() : nullptr;
        return backend ? backend->property("mpvObject").value<QObject*>() : nullptr;
    }

    // The tile's own account of its stream: "no signal" while frames do not come.
    static bool showsNoVideo(QQuickItem* camera) { return camera->property("noSignal").toBool(); }

    static bool showsVideo(QQuickItem* camera)
    {
        return camera->property("videoLoaded").toBool() && !camera->property("noSignal").toBool();
    }

    // The window slides from the login page to the main page once signed in; while it slides it
    // takes no input at all, so a click then never reaches the page.
    bool windowSettled() const
    {
        QObject* stack = m_client.firstNamed(QStringLiteral("windowStack"));
        auto* current = stack ? stack->property("currentItem").value<QQuickItem*>() : nullptr;
        return current && current->objectName() == QLatin1String("mainPage") && !stack->property("busy").toBool();
    }

    // Clicks the door's button; the caption must turn to the other command and the server must
    // have taken the new value. Callers return when it fails, so that a failed step is not
    // followed by a server kill whose heartbeat loss would blur the log.
    void clickDoorAndCheck()
    {
        QQuickItem* doorView = m_client.door();
        QVERIFY(doorView);
        auto* button = doorView->property("buttonOpenClose").value<QQuickItem*>();
        QVERIFY(button);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(windowSettled(), 10000);
        const QString before = button->property("text").toString();
        const QString after = before == QLatin1String("Open") ? QStringLiteral("Close") : QStringLiteral("Open");
        const int acknowledged = m_sim.output().count(QLatin1String("setActuatorValue -> ok"));
        QSignalSpy clicked(button, SIGNAL(clicked()));
        m_client.click(button);
        QVERIFY2(clicked.count() == 1, "the click did not reach the door's button");
        QTRY_COMPARE_WITH_TIMEOUT(button->property("text").toString(), after, 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(m_sim.output().count(QLatin1String("setActuatorValue -> ok")) > acknowledged,
                                  qPrintable(m_sim.output().right(2000)), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(QFileInfo(QStringLiteral(FFMPEG_BINARY)).isExecutable(), "ffmpeg serves the live stream");
        const QList<int> more = freePorts(2);
        QCOMPARE(more.size(), 2);
        m_stream = std::make_unique<StreamServer>(more[0]);
        m_sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(m_sitePath, recoverySite(m_stream->url())));
        QVERIFY(m_stream->start(m_dir.path()));
        QVERIFY2(m_sim.start(m_sitePath, {QStringLiteral("--verbose")}), qPrintable(m_sim.output()));
        QVERIFY(m_client.load(m_sim.serverPort(), more[1]));
        QTRY_VERIFY2_WITH_TIMEOUT(m_client.firstNamed(QStringLiteral("mainPage")), qPrintable(m_sim.output()), 20000);
        QVERIFY2(m_client.listLayouts(1), "the client hosts its remote interface and lists its layouts");
        QVERIFY(m_client.applyLayout(QStringLiteral("Live")));
        QTRY_COMPARE_WITH_TIMEOUT(m_client.cells().size(), 2, 10000);
    }

    void cleanupTestCase()
    {
        m_client.unload();
        m_sim.stop();
        if (m_stream)
            m_stream->kill();
    }

    // The operator clicks a door as soon as the layout is there, while the first live video is
    // being set up: the command is answered on the connection that was open, and that connection
    // stays up while the video starts and plays.
    void doorRightAfterTheLayoutIsApplied()
    {
        App* app = App::instance();
        QVERIFY(app && app->vantorClient());
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), 10000);
        QSignalSpy stateChanges(app->vantorClient(), &VantorClient::connectionStateChanged);
        QQuickItem* camera = m_client.cameraFor(QStringLiteral("11"));
        QVERIFY(camera);
        clickDoorAndCheck();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(showsVideo(camera), 30000);
        clickDoorAndCheck();
        if (QTest::currentTestFailed())
            return;
        // Longer than the client's allowance of silence (3 heartbeats of 1 s): a connection that
        // heartbeats had dropped meanwhile would show below.
        const int longerThanTheSilenceAllowed = 3500;
        QTest::qWait(longerThanTheSilenceAllowed);
        QVERIFY2(stateChanges.isEmpty(), qPrintable(QStringLiteral("the connection changed state %1 times; server: %2")
                                                        .arg(stateChanges.count())
                                                        .arg(m_sim.output().right(1500))));
        QVERIFY2(!m_sim.output().contains(QLatin1String("session 2 opened")), qPrintable(m_sim.output().right(1500)));
        QVERIFY(app->signedIn());
    }

    void serverKilledAndStartedAgain()
    {
        App* app = App::instance();
        QVERIFY(app);
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), 10000);
        QQuickItem* camera = m_client.cameraFor(QStringLiteral("11"));
        QVERIFY(camera);
        QTRY_VERIFY_WITH_TIMEOUT(showsVideo(camera), 30000);
        clickDoorAndCheck();
        if (QTest::currentTestFailed())
            return;

        m_sim.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!app->signedIn(), 15000);
        // The operator keeps the layout; the window does not fall back to the login page, not even
        // a while after the loss.
        const int whileTheServerIsGone = 1500;
        QTest::qWait(whileTheServerIsGone);
        QVERIFY(m_client.firstNamed(QStringLiteral("mainPage")));
        QVERIFY(!m_client.firstNamed(QStringLiteral("loginPage")));
        QCOMPARE(m_client.cells().size(), 2);

        QVERIFY2(m_sim.restart(), qPrintable(m_sim.output()));
        // Attempts come 1, 2, 4 ... s apart; the second or third finds the new server.
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), 40000);
        QTRY_VERIFY2_WITH_TIMEOUT(m_sim.output().contains(QLatin1String("session 1: getDynamicAttribute -> ok")),
                                  qPrintable(m_sim.output()), 10000);
        clickDoorAndCheck();
        if (QTest::currentTestFailed())
            return;
        clickDoorAndCheck();
    }

    void streamServerKilledAndStartedAgain()
    {
        QQuickItem* camera = m_client.cameraFor(QStringLiteral("11"));
        QVERIFY(camera);
        QVERIFY2(camera->property("noSignal").isValid(), "a camera view tells whether its stream has stopped");
        QQuickItem* overlay = itemsNamed(camera, QStringLiteral("noSignalOverlay")).value(0);
        QVERIFY(overlay);
        QTRY_VERIFY_WITH_TIMEOUT(showsVideo(camera), 30000);

        QVERIFY(!overlay->isVisible());
        m_stream->kill();
        QTRY_VERIFY_WITH_TIMEOUT(showsNoVideo(camera), 20000);
        QVERIFY(overlay->isVisible());
        // A while without the server: the tile keeps trying and nothing gives way.
        const int whileTheStreamIsGone = 5000;
        QTest::qWait(whileTheStreamIsGone);
        QVERIFY(showsNoVideo(camera));

        QVERIFY(m_stream->start(m_dir.path()));
        QTRY_VERIFY_WITH_TIMEOUT(showsVideo(camera), 60000);
        QVERIFY(!overlay->isVisible());
    }

    void gatewayFailuresOnTheRecordedPage()
    {
        TestHttpServer gateway;
        makeFailingGateway(gateway);
        QVERIFY(gateway.listen());
        m_client.replica()->jumpPage(0); // the recorded page
        QTRY_VERIFY_WITH_TIMEOUT(recordedPage(), 10000);
        QVERIFY(recordedPage()->setProperty("gatewayPort", gateway.port()));
        // The recorded chunks' day.
        QVERIFY(QMetaObject::invokeMethod(recordedPage(), "showDay",
                                          Q_ARG(QVariant, QVariant(QString::fromLatin1(chunkStarts[0]).toDouble()))));
        QTRY_COMPARE_WITH_TIMEOUT(visibleRows(QStringLiteral("streamRow")).size(), 1, 10000);
        QQuickItem* streamRow = visibleRows(QStringLiteral("streamRow")).first();
        // The page may still be sliding in when the row first shows: click until it is chosen.
        const int clickAgainAfterMs = 300;
        for (int attempt = 0; attempt < 10 && recordedPage()->property("strmId").toString().isEmpty(); ++attempt) {
            if (QTest::qWaitFor([&] { return !recordedPage()->property("strmId").toString().isEmpty(); },
                                clickAgainAfterMs))
                break;
            m_client.click(streamRow);
        }
        QCOMPARE(recordedPage()->property("strmId").toString(), QStringLiteral("11"));
        QTRY_COMPARE_WITH_TIMEOUT(visibleRows(QStringLiteral("chunkRow")).size(), 3, 10000);
        QQuickItem* error = m_client.firstNamed(QStringLiteral("downloadError"));
        QVERIFY(error);

        // Down in the middle of the chunk: the half that arrived is no chunk.
        QString failure = fetchChunk(0);
        QVERIFY2(!failure.isEmpty(), "a cut transfer is reported as a failure");
        QVERIFY(!gateway.isListening());
        QTRY_VERIFY(error->isVisible());
        QVERIFY2(!error->property("text").toString().isEmpty(), "the page says why");
        QCOMPARE(pageObject("player")->property("url").toString(), QString());
        auto* downloader = qobject_cast<Downloader*>(pageObject("downloader"));
        QVERIFY(!QFileInfo::exists(downloader->property("filePath").toString()));

        // Still down: nobody answers at all.
        failure = fetchChunk(2);
        QVERIFY2(!failure.isEmpty(), "an absent gateway is reported as a failure");
        QTRY_VERIFY(error->isVisible());

        // Back, but sending bytes that are no video: the download ends, the player refuses it.
        QVERIFY(gateway.listen());
        QObject* mpv = recordedMpv();
        QVERIFY(mpv);
        QSignalSpy ended(mpv, SIGNAL(fileEnded(QString)));
        failure = fetchChunk(1);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(!error->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 15000);
        QVERIFY2(ended.last().first().toString().contains(QLatin1String("error")),
                 qPrintable(ended.last().first().toString()));
        QVERIFY(!mpv->property("dwidth").toInt());
        QTRY_VERIFY_WITH_TIMEOUT(mpv->property("idle").toBool(), 10000);
        // The operator is told, not left with a blank player.
        QQuickItem* playError = m_client.firstNamed(QStringLiteral("playError"));
        QVERIFY(playError);
        QTRY_VERIFY(playError->isVisible());

        // The simulator's own gateway has the real media: the page plays again.
        QVERIFY(recordedPage()->setProperty("gatewayPort", m_sim.gateway(10).http));
        failure = fetchChunk(2);
        QVERIFY2(failure.isEmpty(), qPrintable(failure + m_sim.output().right(1500)));
        QTRY_VERIFY_WITH_TIMEOUT(mpv->property("dwidth").toInt() > 0, 20000);
        QVERIFY(!playError->isVisible());
        QVERIFY(posDataRequests(gateway) >= 2);
    }

private:
    QTemporaryDir m_dir;
    QString m_sitePath;
    SimProcess m_sim;
    std::unique_ptr<StreamServer> m_stream;
    InProcessClient m_client;
};

int main(int argc, char* argv[])
{
    return runClientTest<TestFaultRecovery>(argc, argv);
}

#include "tst_faultrecovery.moc"
