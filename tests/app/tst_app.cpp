// SPDX-License-Identifier: MIT
// The controller against a real simulator and a real replica of its remote-control interface.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app.h"
#include "client_service.h"
#include "freeports.h"
#include "layoutlist.h"
#include "layoutmodel.h"
#include "logcapture.h"
#include "replicaside.h"
#include "rpcsource.h"
#include "simprocess.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

namespace {
const int timeoutMs = 10000;

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
}
} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_workDir;
    QString m_previousDir;
    QUrl m_url;
    SimProcess m_sim;

    std::unique_ptr<App> newApp() { return std::make_unique<App>(); }

private slots:
    void initTestCase()
    {
        // The store opens its database in the working folder, the host reads config.ini beside us.
        QVERIFY(m_workDir.isValid());
        m_previousDir = QDir::currentPath();
        QDir::setCurrent(m_workDir.path());
        m_url = QUrl(QStringLiteral("tcp://127.0.0.1:%1").arg(testsupport::freePorts(1).first()));
        QFile config(configPath());
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[IPC]\nurl=" + m_url.toString().toUtf8() + "\n");
        config.close();
        QVERIFY2(m_sim.startFile(QStringLiteral(APP_SITES_DIR "/app.json")), qPrintable(m_sim.errorText()));
    }

    void cleanupTestCase()
    {
        QFile::remove(configPath());
        QDir::setCurrent(m_previousDir);
    }

    void instanceFollowsTheController()
    {
        QVERIFY(!App::instance());
        {
            auto app = newApp();
            QCOMPARE(App::instance(), app.get());
            QVERIFY(!app->currentUser());
            QCOMPARE(app->vantorClient()->repository(), app->vantorRepository());
            QCOMPARE(app->rpcSource()->url(), m_url);
        }
        QVERIFY(!App::instance());
    }

    void signInSequence()
    {
        auto app = newApp();
        ReplicaSide replica(m_url);
        QVERIFY(replica.waitForSource(timeoutMs));

        QStringList order;
        connect(app->rpcSource()->source().get(), &client_ServiceSource::loggedIn, this,
                [&](bool state) { order << QStringLiteral("remote %1").arg(state); });
        connect(app.get(), &App::loggedIn, this, [&] { order << QStringLiteral("app"); });
        QSignalSpy remoteLoggedIn(&replica, &ReplicaSide::loggedIn);
        QSignalSpy remoteLayouts(&replica, &ReplicaSide::layoutListChanged);
        QSignalSpy layoutsReset(app->layoutsList(), &QAbstractItemModel::modelReset);
        QSignalSpy loginError(app.get(), &App::loginError);

        LogCapture log;
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), m_sim.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(remoteLayouts.count() == 1, timeoutMs);
        QCOMPARE(loginError.count(), 0);
        QCOMPARE(order, (QStringList{"remote 1", "app"}));
        QCOMPARE(remoteLoggedIn.count(), 1);
        QCOMPARE(remoteLoggedIn.first().first().toBool(), true);

        // Layouts arrive in the server's order with their names and texts intact.
        const QStringList names = remoteLayouts.first().at(0).toStringList();
        const QStringList jsons = remoteLayouts.first().at(1).toStringList();
        QCOMPARE(names, (QStringList{QStringLiteral("Entrée ☃"), QStringLiteral("Hall")}));
        QVERIFY(jsons.at(0).contains(QLatin1String("\"label\":\"Porte\"")));
        QCOMPARE(layoutsReset.count(), 1);
        QCOMPARE(app->layoutsList()->rowCount(), 2);
        QCOMPARE(app->layoutsList()->index(0, 0).data(LayoutList::NameRole).toString(), names.at(0));

        // The repository was rebuilt before the layouts were read.
        for (const char* id : {"1", "3", "11", "21", "13", "31", "32"})
            QVERIFY2(app->vantorRepository()->objectById(QString::fromLatin1(id)), id);
        QCOMPARE(app->vantorRepository()->findByPath(QStringLiteral("Site,Doors,Door lock"))->id(),
                 QStringLiteral("32"));

        const QStringList lines = log.lines();
        const QStringList expected{"Connected to Vantor", "Logging in", "Logged in, id: 3", "Fetching objects ...",
                                   "Fetching layouts ..."};
        int at = -1;
        for (const QString& line : expected) {
            const int next = lines.indexOf(line, at + 1);
            QVERIFY2(next > at,
                     qPrintable(QStringLiteral("missing or out of order: ") + line + "\n" + lines.join('\n')));
            at = next;
        }

        // A layout applied from the companion reaches the grid, and its door is paired.
        replica.setLayout(names.at(0), jsons.at(0));
        QTRY_COMPARE_WITH_TIMEOUT(app->layoutModel()->rowCount(), 2, timeoutMs);
        QVERIFY(log.contains(QStringLiteral("Applying layout: \"Entrée ☃\"")));
        QCOMPARE(app->layoutModel()->index(1, 0).data(LayoutModel::ActuatorIdRole).toString(), QStringLiteral("32"));
        QCOMPARE(app->layoutModel()->index(0, 0).data(LayoutModel::UrlRole).toString(),
                 QStringLiteral("av://lavfi:testsrc2=size=320x240"));

        // A replica that connects late learns the state by asking.
        ReplicaSide late(m_url);
        QVERIFY(late.waitForSource(timeoutMs));
        QSignalSpy lateLoggedIn(&late, &ReplicaSide::loggedIn);
        QSignalSpy lateLayouts(&late, &ReplicaSide::layoutListChanged);
        late.requestLoginStatus();
        late.requestLayoutList();
        QTRY_VERIFY_WITH_TIMEOUT(lateLoggedIn.count() >= 1 && lateLayouts.count() >= 1, timeoutMs);
        QCOMPARE(lateLoggedIn.last().first().toBool(), true);
        QCOMPARE(lateLayouts.last().at(0).toStringList(), names);
    }

    void doorCommandsGoThroughTheServerClient()
    {
        auto app = newApp();
        QSignalSpy loggedIn(app.get(), &App::loggedIn);
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), m_sim.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(app->vantorRepository()->objectById(QStringLiteral("32")), timeoutMs);
        VantorObject* lock = app->vantorRepository()->objectById(QStringLiteral("32"));
        const bool before = lock->value();
        QSignalSpy changed(lock, &VantorObject::valueChanged);
        lock->setValue(!before);
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, timeoutMs);
        QCOMPARE(lock->value(), !before);
        lock->setValue(before); // leave the site as it was
        QTRY_COMPARE_WITH_TIMEOUT(lock->value(), before, timeoutMs);
    }

    void emptyLayoutMapPublishesAnEmptyList()
    {
        SimProcess bare;
        QFile source(QStringLiteral(APP_SITES_DIR "/app.json"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QJsonObject site = QJsonDocument::fromJson(source.readAll()).object();
        site.remove(QStringLiteral("layouts"));
        QTemporaryDir dir;
        QFile variant(dir.filePath(QStringLiteral("bare.json")));
        QVERIFY(variant.open(QIODevice::WriteOnly));
        variant.write(QJsonDocument(site).toJson());
        variant.close();
        QVERIFY2(bare.start(variant.fileName()), qPrintable(bare.errorText()));
        auto app = newApp();
        ReplicaSide replica(m_url);
        QVERIFY(replica.waitForSource(timeoutMs));
        QSignalSpy remoteLayouts(&replica, &ReplicaSide::layoutListChanged);
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), bare.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(remoteLayouts.count() == 1, timeoutMs);
        QVERIFY(remoteLayouts.first().at(0).toStringList().isEmpty());
        QCOMPARE(app->layoutsList()->rowCount(), 0);
    }

    void failuresReachTheLoginPage()
    {
        auto app = newApp();
        QSignalSpy loginError(app.get(), &App::loginError);
        QSignalSpy loggedIn(app.get(), &App::loggedIn);
        QSignalSpy retries(app.get(), &App::signInRetryScheduled);

        // Nothing listens there: a fixed text for the operator, and another try to come.
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"),
                   testsupport::freePorts(1).first());
        QTRY_COMPARE_WITH_TIMEOUT(loginError.count(), 1, timeoutMs);
        QCOMPARE(loginError.takeFirst().first().toString(), QStringLiteral("Failed to connect"));
        QCOMPARE(retries.count(), 1);
        QVERIFY(app->signInRetrying());

        // Refused credentials: the library's own message, and no other try (none is pending;
        // the operator's own sign-in replaced the one that was).
        LogCapture log;
        app->login(QStringLiteral("alice"), QStringLiteral("wrong"), QStringLiteral("127.0.0.1"), m_sim.serverPort());
        QVERIFY(!app->signInRetrying());
        QTRY_COMPARE_WITH_TIMEOUT(loginError.count(), 1, timeoutMs);
        const QString refused = loginError.takeFirst().first().toString();
        QVERIFY2(refused.contains(QLatin1String("Code: ")) && refused != QLatin1String("Failed to connect"),
                 qPrintable(refused));
        QCOMPARE(log.lines(QtWarningMsg).filter(QStringLiteral("Login error: ")).size(), 1);
        QVERIFY(!app->signInRetrying());
        QCOMPARE(retries.count(), 1);

        // A later attempt behaves as the first: each handler runs once.
        log.clear();
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), m_sim.serverPort());
        QTRY_COMPARE_WITH_TIMEOUT(loggedIn.count(), 1, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("Fetching layouts ...")), timeoutMs);
        QCOMPARE(log.count(QStringLiteral("Connected to Vantor")), 1);
        QCOMPARE(log.count(QStringLiteral("Logged in, id: 3")), 1);
        QCOMPARE(loggedIn.count(), 1);
        QCOMPARE(loginError.count(), 0);
    }

    void jumpPageMapping()
    {
        auto app = newApp();
        ReplicaSide replica(m_url);
        QVERIFY(replica.waitForSource(timeoutMs));
        QSignalSpy jumps(app.get(), &App::requestedJumpPage);

        replica.jumpPage(0);
        QTRY_COMPARE_WITH_TIMEOUT(jumps.count(), 1, timeoutMs);
        QCOMPARE(jumps.takeFirst().first().toString(), QStringLiteral("recorder"));
        replica.jumpPage(1);
        QTRY_COMPARE_WITH_TIMEOUT(jumps.count(), 1, timeoutMs);
        QCOMPARE(jumps.takeFirst().first().toString(), QStringLiteral("playback"));

        LogCapture log;
        replica.jumpPage(2);
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(QtWarningMsg).size(), 2, timeoutMs);
        QCOMPARE(log.lines(QtWarningMsg).first(),
                 QStringLiteral("App::App(QObject*)::<lambda(client_ServiceSource::ClientPage)>"));
        QVERIFY(log.lines(QtWarningMsg).at(1).startsWith(QLatin1String("  Unknow page:")));
        // A page that follows proves the SETTINGS request was handled, without a signal.
        replica.jumpPage(1);
        QTRY_COMPARE_WITH_TIMEOUT(jumps.count(), 1, timeoutMs);
        QCOMPARE(jumps.first().first().toString(), QStringLiteral("playback"));
    }

    void droppedConnectionSignsInAgain()
    {
        auto app = newApp();
        ReplicaSide replica(m_url);
        QVERIFY(replica.waitForSource(timeoutMs));
        QSignalSpy remoteLoggedIn(&replica, &ReplicaSide::loggedIn);
        QSignalSpy remoteLayouts(&replica, &ReplicaSide::layoutListChanged);
        QSignalSpy rebuilt(app->vantorRepository(), &VantorObjectsRepository::dataChanged);
        QSignalSpy lost(app.get(), &App::connectionLost);
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), m_sim.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(remoteLayouts.count() == 1, timeoutMs);
        replica.setLayout(QStringLiteral("Hall"), remoteLayouts.first().at(1).toStringList().at(1));
        QTRY_COMPARE_WITH_TIMEOUT(app->layoutModel()->rowCount(), 1, timeoutMs);
        QVERIFY(app->signedIn());
        remoteLoggedIn.clear();

        QVERIFY(m_sim.command(QStringLiteral("drop")).startsWith(QLatin1String("ok")));
        QTRY_VERIFY_WITH_TIMEOUT(!app->signedIn(), timeoutMs);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(lost.first().first().toInt(), App::kFirstReconnectDelayMs);
        QTRY_VERIFY_WITH_TIMEOUT(!remoteLoggedIn.isEmpty(), timeoutMs);
        QCOMPARE(remoteLoggedIn.first().first().toBool(), false);

        // Back by itself: signed in, objects and layouts fetched again, the layout kept.
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), 3 * timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(remoteLayouts.count() == 2, timeoutMs);
        QCOMPARE(remoteLoggedIn.last().first().toBool(), true);
        QVERIFY(rebuilt.count() >= 2);
        QCOMPARE(app->layoutModel()->rowCount(), 1);
        QVERIFY(!app->reconnecting());
    }

    void signInWaitsForAServerNotUpYet()
    {
        // A wall computer that boots before its server: the stored fields are tried again with
        // growing delays until the server answers.
        const int port = testsupport::freePorts(1).first();
        auto app = newApp();
        QSignalSpy retries(app.get(), &App::signInRetryScheduled);
        QSignalSpy loginError(app.get(), &App::loginError);
        LogCapture log;
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), port);
        QTRY_VERIFY_WITH_TIMEOUT(retries.count() >= 2, 4 * timeoutMs);
        QCOMPARE(retries.at(0).first().toInt(), 1000);
        QCOMPARE(retries.at(1).first().toInt(), 2000);
        QVERIFY(log.count(QStringLiteral("Trying to sign in again")) >= 1);
        QVERIFY(!app->signedIn());

        SimProcess late;
        QVERIFY2(
            late.start(QStringLiteral(APP_SITES_DIR "/app.json"), {QStringLiteral("--port"), QString::number(port)}),
            qPrintable(late.errorText()));
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), 6 * timeoutMs);
        QVERIFY(!app->signInRetrying());
        QCOMPARE(app->nextSignInRetryDelayMs(), int(App::kFirstReconnectDelayMs));
        QTRY_VERIFY_WITH_TIMEOUT(app->vantorRepository()->objectById(QStringLiteral("32")), timeoutMs);
        for (const QList<QVariant>& message : qAsConst(loginError))
            QCOMPARE(message.first().toString(), QStringLiteral("Failed to connect"));
    }

    void restartedServerIsFoundAgainWithGrowingDelays()
    {
        auto sim = std::make_unique<SimProcess>();
        QVERIFY2(sim->startFile(QStringLiteral(APP_SITES_DIR "/app.json")), qPrintable(sim->errorText()));
        const int port = sim->serverPort();
        auto app = newApp();
        app->login(QStringLiteral("alice"), QStringLiteral("secret"), QStringLiteral("127.0.0.1"), port);
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), timeoutMs);
        QSignalSpy lost(app.get(), &App::connectionLost);
        QSignalSpy loginError(app.get(), &App::loginError);

        sim->kill();
        sim->waitForExit();
        // The first attempt (after 1 s) finds nobody; the next waits twice as long.
        QTRY_VERIFY_WITH_TIMEOUT(lost.count() >= 2, 4 * timeoutMs);
        QCOMPARE(lost.at(0).first().toInt(), 1000);
        QCOMPARE(lost.at(1).first().toInt(), 2000);
        QVERIFY(!app->signedIn());
        QCOMPARE(loginError.count(), 0); // the operator is not sent back to the login page

        SimProcess restarted;
        QVERIFY2(restarted.start(QStringLiteral(APP_SITES_DIR "/app.json"),
                                 {QStringLiteral("--port"), QString::number(port)}),
                 qPrintable(restarted.errorText()));
        QTRY_VERIFY_WITH_TIMEOUT(app->signedIn(), 6 * timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(app->vantorRepository()->objectById(QStringLiteral("32")), timeoutMs);
        QCOMPARE(app->nextReconnectDelayMs(), int(App::kFirstReconnectDelayMs));
    }

    void logoutReachesReplicas()
    {
        auto app = newApp();
        ReplicaSide replica(m_url);
        QVERIFY(replica.waitForSource(timeoutMs));
        QSignalSpy remoteLoggedIn(&replica, &ReplicaSide::loggedIn);
        QSignalSpy remoteLoggedOut(&replica, &ReplicaSide::loggedOut);
        QSignalSpy loggedOut(app.get(), &App::loggedOut);
        emit app->vantorClient()->loggedOut();
        QCOMPARE(loggedOut.count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(remoteLoggedOut.count(), 1, timeoutMs);
        QCOMPARE(remoteLoggedIn.count(), 1);
        QCOMPARE(remoteLoggedIn.first().first().toBool(), false);
        QVERIFY(!app->rpcSource()->source()->isLoggedIn());
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
