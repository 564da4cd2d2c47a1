// SPDX-License-Identifier: MIT
// Against a real keyring daemon in a D-Bus session of the test's own (with-keyring.sh): the
// Secret Service through QtKeychain, and the client moving its stored password there and signing
// in with it.
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "keyring.h"
#include "passwordstore.h"
#include "programrun.h"
#include "simprocess.h"
#include "testfiles.h"

namespace {

const char siteFile[] = R"({
    "name": "keyring",
    "pos": {"rate": 0},
    "objects": [
        {"id": 1, "name": "Site", "type": 2},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"}
    ]
})";

struct Answered
{
    Keyring::Outcome outcome = Keyring::Outcome::Unavailable;
    QString text;
    bool done = false;
};

// Asks and waits for the answer.
template <typename Ask>
Answered ask(Ask&& request)
{
    Answered result;
    request([&result](Keyring::Outcome outcome, const QString& text) {
        result.outcome = outcome;
        result.text = text;
        result.done = true;
    });
    // Not answered in time: the outcome stays "unavailable", which the caller's check refuses.
    if (!QTest::qWaitFor([&result] { return result.done; }, 20000))
        result.text = QStringLiteral("no answer in 20 s");
    return result;
}

// What a standard tool reads from the keyring for the client's item (as the README tells).
QString lookUpWithSecretTool()
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("pelmar.example/PELMAR"),
                QStringLiteral("user"), QStringLiteral("pass")});
    if (!tool.waitForFinished(20000))
        return QStringLiteral("<secret-tool did not finish>");
    return QString::fromUtf8(tool.readAllStandardOutput());
}

} // namespace

class tst_Keyring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!SecretServiceKeyring::hasSessionBus())
            QSKIP("no D-Bus session: run through with-keyring.sh");
    }

    void secretGoesInAndOut()
    {
        SecretServiceKeyring keyring(QStringLiteral("station-test/roundtrip"), QStringLiteral("pass"));
        QCOMPARE(ask([&](auto answer) { keyring.read(answer); }).outcome, Keyring::Outcome::NotFound);

        const QString secret = QStringLiteral("s3cret, ä €");
        const Answered written = ask([&](auto answer) { keyring.write(secret, answer); });
        QVERIFY2(written.outcome == Keyring::Outcome::Done, qPrintable(written.text));
        const Answered read = ask([&](auto answer) { keyring.read(answer); });
        QCOMPARE(read.outcome, Keyring::Outcome::Done);
        QCOMPARE(read.text, secret);

        QCOMPARE(ask([&](auto answer) { keyring.remove(answer); }).outcome, Keyring::Outcome::Done);
        QCOMPARE(ask([&](auto answer) { keyring.read(answer); }).outcome, Keyring::Outcome::NotFound);
        QCOMPARE(ask([&](auto answer) { keyring.remove(answer); }).outcome, Keyring::Outcome::Done);
    }

    // A station of an older version kept the password in its settings file: the client moves it
    // into the keyring at its start, and signs in with it from there at the next.
    void clientMovesThePasswordAndSignsInFromTheKeyring()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(ProgramRun::placeInto(QStringLiteral(CLIENT_BINARY), dir.path()));
        const QString sitePath = dir.filePath(QStringLiteral("site.json"));
        QVERIFY(testsupport::writeFile(sitePath, siteFile));
        SimProcess sim;
        sim.setWorkingDirectory(dir.path());
        QVERIFY2(sim.start(sitePath, {QStringLiteral("--pos-rate"), QStringLiteral("0")}), qPrintable(sim.output()));

        const QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
        const QString settingsPath = home + QStringLiteral("/pelmar.example/PELMAR.conf");
        {
            QSettings login(settingsPath, QSettings::IniFormat);
            login.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
            login.setValue(QStringLiteral("port"), QString::number(sim.serverPort()));
            login.setValue(QStringLiteral("user"), QStringLiteral("operator"));
            login.setValue(QStringLiteral("pass"), QStringLiteral("secret"));
        }
        const QString logPath = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/PELMAR/clientLogs.txt");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DEBUG"));

        for (int run = 1; run <= 2; ++run) {
            QFile::remove(logPath);
            ProgramRun client;
            QVERIFY(client.start(dir.filePath(QStringLiteral("client")), {}, dir.path(), env));
            QTRY_VERIFY2_WITH_TIMEOUT(testsupport::readFile(logPath).contains(QLatin1String("Logged in, id: ")),
                                      qPrintable(testsupport::readFile(logPath)), 30000);
            // The move ends on its own time, beside the sign-in.
            const QString moved = QStringLiteral("Moved the password from the settings file");
            if (run == 1)
                QTRY_VERIFY2_WITH_TIMEOUT(testsupport::readFile(logPath).contains(moved),
                                          qPrintable(testsupport::readFile(logPath)), 20000);
            client.stop();
            const QString log = testsupport::readFile(logPath);
            QVERIFY2(log.contains(QLatin1String("The password is kept in the desktop's keyring")), qPrintable(log));
            QCOMPARE(log.contains(moved), run == 1);

            QSettings login(settingsPath, QSettings::IniFormat);
            QVERIFY2(!login.contains(QStringLiteral("pass")), "the settings file holds no password");
            QCOMPARE(login.value(QStringLiteral("user")).toString(), QStringLiteral("operator"));
            QCOMPARE(lookUpWithSecretTool(), QStringLiteral("secret"));
        }
    }
};

QTEST_MAIN(tst_Keyring)
#include "tst_keyring.moc"
