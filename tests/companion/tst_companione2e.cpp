// SPDX-License-Identifier: MIT
// The simulator, the client and the companion together, as an operator runs them: one folder,
// one config.ini, the client signing in from its stored login fields.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

#include "freeports.h"
#include "programrun.h"
#include "scopedconfig.h"
#include "simprocess.h"
#include "testfiles.h"

namespace {

const char siteFile[] = R"({
    "name": "companion",
    "pos": {"rate": 0},
    "objects": [
        {"id": 1, "name": "Site", "type": 2},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"}
    ],
    "layouts": {
        "Lobby": {"rows": 1, "columns": 1, "cells": []},
        "Yard": {"rows": 2, "columns": 2, "cells": []}
    }
})";

} // namespace

class TestCompanionEndToEnd : public QObject
{
    Q_OBJECT

private:
    QString tavrelLog() const { return testsupport::readFile(m_dir->filePath(QStringLiteral("tavrel.log"))); }
    QString clientLog() const
    {
        return testsupport::readFile(m_dir->filePath(QStringLiteral("data/PELMAR/clientLogs.txt")));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir->filePath(QStringLiteral("cache")));
        env.remove(QStringLiteral("DEBUG"));
        return env;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(ProgramRun::placeInto(QStringLiteral(CLIENT_BINARY), m_dir->path()));
        QVERIFY(ProgramRun::placeInto(QStringLiteral(TAVREL_BINARY), m_dir->path()));

        const int ipcPort = testsupport::freePort();
        QVERIFY(ipcPort > 0);
        m_config = std::make_unique<ScopedConfig>(
            m_dir->path(), ScopedConfig::forUrl(QUrl(QStringLiteral("tcp://127.0.0.1:%1").arg(ipcPort))));
        QVERIFY(m_config->written());

        const QString sitePath = m_dir->filePath(QStringLiteral("site.json"));
        QVERIFY(testsupport::writeFile(sitePath, siteFile));
        m_sim = std::make_unique<SimProcess>();
        m_sim->setWorkingDirectory(m_dir->path());
        m_sim->setEnvironment(environment());
        QVERIFY2(m_sim->start(sitePath, {QStringLiteral("--pos-rate"), QStringLiteral("0")}),
                 qPrintable(m_sim->output()));

        // What the client's login page stored on an earlier run: with all four fields it signs in
        // at once. Qt's settings use the organisation domain as the folder when no name is set.
        QSettings login(m_dir->filePath(QStringLiteral("config/pelmar.example/PELMAR.conf")), QSettings::IniFormat);
        login.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        login.setValue(QStringLiteral("port"), QString::number(m_sim->serverPort()));
        login.setValue(QStringLiteral("user"), QStringLiteral("operator"));
        login.setValue(QStringLiteral("pass"), QStringLiteral("secret"));
        login.sync();
        QCOMPARE(login.status(), QSettings::NoError);
    }

    void cleanup()
    {
        m_sim.reset();
        m_config.reset();
        m_dir.reset();
    }

    void companionFollowsTheSignedInClient_data()
    {
        QTest::addColumn<bool>("companionFirst");
        QTest::addColumn<bool>("localSocket");
        QTest::newRow("client first") << false << false;
        QTest::newRow("companion first") << true << false;
        // The advice where both run on one machine: only their user can open the socket.
        QTest::newRow("companion first, on a local socket") << true << true;
    }

    void companionFollowsTheSignedInClient()
    {
        QFETCH(bool, companionFirst);
        QFETCH(bool, localSocket);
        const QString socketPath = m_dir->filePath(QStringLiteral("station.socket"));
        if (localSocket) {
            m_config.reset(); // its file goes with it
            m_config = std::make_unique<ScopedConfig>(
                m_dir->path(), ScopedConfig::forUrl(QUrl(QStringLiteral("local:") + socketPath)));
            QVERIFY(m_config->written());
        }
        ProgramRun client;
        ProgramRun tavrel;
        const QString clientPath = m_dir->filePath(QStringLiteral("client"));
        const QString tavrelPath = m_dir->filePath(QStringLiteral("tavrel"));
        if (companionFirst) {
            QVERIFY(tavrel.start(tavrelPath, {}, m_dir->path(), environment()));
            QTRY_VERIFY_WITH_TIMEOUT(tavrelLog().contains(QLatin1String("Connecting to:")), 15000);
            QVERIFY(client.start(clientPath, {}, m_dir->path(), environment()));
        } else {
            QVERIFY(client.start(clientPath, {}, m_dir->path(), environment()));
            QVERIFY(tavrel.start(tavrelPath, {}, m_dir->path(), environment()));
        }

        QTRY_VERIFY2_WITH_TIMEOUT(tavrelLog().contains(QLatin1String("Layouts: (\"Lobby\", \"Yard\")")),
                                  qPrintable(tavrelLog() + "\n--- client ---\n" + clientLog()), 30000);
        // The layouts are pushed when the client signs in and may overtake the answer to the
        // companion's own status request, so the sign-in is awaited, not expected before them.
        QTRY_VERIFY2_WITH_TIMEOUT(
            tavrelLog().contains(QLatin1String("void QuickRpc::handleLoggedIn(bool)\n  isLoggedIn: true\n")),
            qPrintable(tavrelLog()), 10000);
        // The window's first page choice reaches the client once.
        QTRY_COMPARE_WITH_TIMEOUT(clientLog().count(QLatin1String("Jumping to page:")), 1, 15000);
        if (localSocket) {
            const QFileInfo socket(socketPath);
            QCOMPARE(socket.ownerId(), ::geteuid());
            QVERIFY2(!(socket.permissions() & (QFile::WriteGroup | QFile::WriteOther)), "nobody else may write it");
        }

        tavrel.stop();
        client.stop();
        m_sim->stop();
        QCOMPARE(m_sim->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_sim->process().exitCode(), 0);
    }

    void companionReturnsToTheClient_data()
    {
        QTest::addColumn<bool>("frozen");
        // Killed: the link closes at once. Frozen: the link stays open and only the heartbeat
        // finds that nobody answers.
        QTest::newRow("client killed and started again") << false;
        QTest::newRow("client frozen and thawed") << true;
    }

    // The companion keeps running while the client goes away and comes back: it shows the
    // client as signed out meanwhile and returns to its state without any action.
    void companionReturnsToTheClient()
    {
        QFETCH(bool, frozen);
        const QString clientPath = m_dir->filePath(QStringLiteral("client"));
        ProgramRun tavrel;
        QVERIFY(tavrel.start(m_dir->filePath(QStringLiteral("tavrel")), {}, m_dir->path(), environment()));
        auto client = std::make_unique<ProgramRun>();
        QVERIFY(client->start(clientPath, {}, m_dir->path(), environment()));

        const QString layouts = QStringLiteral("Layouts: (\"Lobby\", \"Yard\")");
        const QString signedIn = QStringLiteral("void QuickRpc::handleLoggedIn(bool)\n  isLoggedIn: true\n");
        QTRY_VERIFY2_WITH_TIMEOUT(tavrelLog().count(layouts) >= 1, qPrintable(tavrelLog()), 30000);
        QTRY_VERIFY2_WITH_TIMEOUT(tavrelLog().count(signedIn) >= 1, qPrintable(tavrelLog()), 10000);
        // The client may announce its state more than once (on request and on its own sign-in):
        // the counts below are taken once the second announcement would have come.
        const int laterAnnouncementsCome = 500;
        QTest::qWait(laterAnnouncementsCome);
        const int layoutsBefore = tavrelLog().count(layouts);
        const int signedInBefore = tavrelLog().count(signedIn);

        // Not stopped: the client says nothing to the companion on its way out.
        const qint64 clientPid = client->process().processId();
        if (frozen) {
            QCOMPARE(::kill(pid_t(clientPid), SIGSTOP), 0);
        } else {
            client->process().kill();
            QVERIFY(client->process().waitForFinished(10000));
        }
        QTRY_VERIFY2_WITH_TIMEOUT(tavrelLog().contains(QLatin1String(", old: QRemoteObjectReplica::Valid )")),
                                  qPrintable(tavrelLog()), 30000);

        if (frozen) {
            QCOMPARE(::kill(pid_t(clientPid), SIGCONT), 0);
        } else {
            client = std::make_unique<ProgramRun>();
            QVERIFY(client->start(clientPath, {}, m_dir->path(), environment()));
        }
        QTRY_VERIFY2_WITH_TIMEOUT(tavrelLog().count(layouts) > layoutsBefore,
                                  qPrintable(tavrelLog() + "\n--- client ---\n" + clientLog()), 40000);
        QTRY_VERIFY2_WITH_TIMEOUT(tavrelLog().count(signedIn) > signedInBefore, qPrintable(tavrelLog()), 10000);
        QVERIFY(tavrel.process().state() == QProcess::Running);

        tavrel.stop();
        client->stop();
        m_sim->stop();
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScopedConfig> m_config;
    std::unique_ptr<SimProcess> m_sim;
};

QTEST_GUILESS_MAIN(TestCompanionEndToEnd)
#include "tst_companione2e.moc"
