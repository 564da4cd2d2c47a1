// SPDX-License-Identifier: MIT
// Runs the real client binary and the start-up sequence with broken and minimal QML files.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <sys/stat.h>

#include "programrun.h"
#include "startup.h"
#include "testfiles.h"

using testsupport::readFile;

class TestStartup : public QObject
{
    Q_OBJECT

private:
    // Starts the client with a private HOME, waits for its log to show the start-up lines, and
    // returns the log text.
    QString runClientWithDebug(const QTemporaryDir& home, const QString* debugValue)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.remove(QStringLiteral("DEBUG"));
        if (debugValue)
            env.insert(QStringLiteral("DEBUG"), *debugValue);

        const QString logPath = home.filePath(QStringLiteral("data/PELMAR/clientLogs.txt"));
        const int runsBefore = readFile(logPath).count(QLatin1String("Debug mode:"));
        ProgramRun client;
        if (!client.start(QStringLiteral(CLIENT_BINARY), {}, home.path(), env))
            return QStringLiteral("client did not start: ") + client.process().errorString();

        // The caller finds out from the log whether the line came.
        static_cast<void>(QTest::qWaitFor(
            [&] { return readFile(logPath).count(QLatin1String("Debug mode:")) != runsBefore; }, 15000));
        client.stop();
        return readFile(logPath);
    }

private slots:
    void debugVariable_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expectedLine");
        QTest::addColumn<bool>("expectedDebug");
        QTest::newRow("unset") << false << QString() << "DEBUG: \"0\"" << false;
        QTest::newRow("one") << true << "1"
                             << "DEBUG: \"1\"" << true;
        QTest::newRow("true") << true << "true"
                              << "DEBUG: \"true\"" << false;
        QTest::newRow("leading blank") << true << " 1"
                                       << "DEBUG: \" 1\"" << false;
        QTest::newRow("leading zero") << true << "01"
                                      << "DEBUG: \"01\"" << false;
    }

    void debugVariable()
    {
        QFETCH(bool, set);
        QFETCH(QString, value);
        QFETCH(QString, expectedLine);
        QFETCH(bool, expectedDebug);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString log = runClientWithDebug(home, set ? &value : nullptr);
        const QStringList lines = log.split(QLatin1Char('\n'));
        QVERIFY2(lines.contains(expectedLine), qPrintable(log));
        QVERIFY2(lines.contains(QStringLiteral("Debug mode: %1").arg(expectedDebug ? "true" : "false")),
                 qPrintable(log));
    }

    void secondStartAppendsToTheLog()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString zero = QStringLiteral("0");
        const QString one = QStringLiteral("1");
        runClientWithDebug(home, &zero);
        const QString log = runClientWithDebug(home, &one);
        QVERIFY2(log.indexOf(QLatin1String("DEBUG: \"0\"")) >= 0, qPrintable(log));
        QVERIFY(log.indexOf(QLatin1String("DEBUG: \"0\"")) < log.indexOf(QLatin1String("DEBUG: \"1\"")));
    }

    // The login fields, the password among them, are owner-only once the client has started.
    void loginFieldsFileIsOwnerOnly_data()
    {
        QTest::addColumn<int>("modeBefore");
        QTest::addColumn<bool>("warned");
        QTest::newRow("missing") << -1 << false;
        QTest::newRow("owner-only") << 0600 << false;
        QTest::newRow("readable by others") << 0644 << true;
    }

    void loginFieldsFileIsOwnerOnly()
    {
        QFETCH(int, modeBefore);
        QFETCH(bool, warned);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString path = home.filePath(QStringLiteral("config/pelmar.example/PELMAR.conf"));
        if (modeBefore >= 0) {
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            // No password, so the login page waits instead of signing in.
            file.write("[General]\nhost=10.0.0.5\npass=\nport=20101\nuser=operator\n");
            file.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(modeBefore)) == 0);
        }

        const QString zero = QStringLiteral("0");
        const QString log = runClientWithDebug(home, &zero);
        QVERIFY2(log.contains(QLatin1String("Debug mode:")), qPrintable(log));
        struct stat st
        {
        };
        QVERIFY2(::stat(QFile::encodeName(path).constData(), &st) == 0, "the client made the settings file");
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(log.contains(QLatin1String("made it owner-only")), warned);
        if (modeBefore >= 0) {
            const QSettings stored(path, QSettings::IniFormat);
            QCOMPARE(stored.value(QStringLiteral("host")).toString(), QStringLiteral("10.0.0.5"));
        }
    }

    void brokenMainFileGivesMinusOneAndNoWindow()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        const QString qml = dir.filePath(QStringLiteral("broken.qml"));
        QFile file(qml);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("import QtQuick 2.11\nimport QtQuick.Window 2.11\nWindow { visible: true; width: \n");
        file.close();

        QCOMPARE(runClient(QUrl::fromLocalFile(qml)), -1);
        qInstallMessageHandler(nullptr);
        QVERIFY(QGuiApplication::topLevelWindows().isEmpty());
        // The load error went to the log file, which the start-up created with its folder.
        const QString log = readFile(clientLogFilePath());
        QVERIFY(clientLogFilePath().startsWith(dir.path()));
        QVERIFY2(log.contains(QLatin1String("broken.qml")), qPrintable(log));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
