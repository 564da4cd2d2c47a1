// SPDX-License-Identifier: MIT
// Where the password goes, with a keyring that answers as it is told: the move out of the settings
// file, a keyring that refuses or keeps silent, and writes that overtake each other.
#include <deque>

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "logcapture.h"
#include "passwordstore.h"

namespace {

// Answers each request with the next scripted outcome, at once or when told to.
class ScriptedKeyring : public Keyring
{
public:
    struct Request
    {
        QString kind;
        QString secret;
        Answer answer;
    };

    // What the next requests get; a request with no script left waits for answerNext().
    std::deque<std::pair<Outcome, QString>> script;
    std::deque<Request> waiting;
    QStringList requests;

    void read(Answer answer) override { take({QStringLiteral("read"), QString(), std::move(answer)}); }
    void write(const QString& secret, Answer answer) override
    {
        take({QStringLiteral("write"), secret, std::move(answer)});
    }
    void remove(Answer answer) override { take({QStringLiteral("remove"), QString(), std::move(answer)}); }

    void answerNext(Outcome outcome, const QString& text = QString())
    {
        QVERIFY(!waiting.empty());
        Request request = std::move(waiting.front());
        waiting.pop_front();
        request.answer(outcome, text);
    }

private:
    void take(Request request)
    {
        requests << (request.secret.isEmpty() ? request.kind : request.kind + QLatin1Char(' ') + request.secret);
        if (script.empty()) {
            waiting.push_back(std::move(request));
            return;
        }
        const auto [outcome, text] = script.front();
        script.pop_front();
        request.answer(outcome, text);
    }
};

using Outcome = Keyring::Outcome;

} // namespace

class tst_PasswordStore : public QObject
{
    Q_OBJECT

private:
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("PELMAR.conf")); }
    void writeFilePassword(const QString& password)
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        if (!password.isNull())
            settings.setValue(QStringLiteral("pass"), password);
    }
    bool fileHasPassword() const { return QSettings(settingsPath(), QSettings::IniFormat).contains("pass"); }
    QString filePassword() const { return QSettings(settingsPath(), QSettings::IniFormat).value("pass").toString(); }

    // The store under test, with the keyring it asks.
    std::unique_ptr<PasswordStore> makeStore(ScriptedKeyring** keyring)
    {
        auto owned = std::make_unique<ScriptedKeyring>();
        *keyring = owned.get();
        return std::make_unique<PasswordStore>(std::move(owned), settingsPath());
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // What the keyring says first decides where the password lives; a password in the file moves
    // only when the keyring takes it, and is never dropped.
    void firstAnswerDecidesThePlace_data()
    {
        QTest::addColumn<QString>("inFile"); // null: no "pass" key
        QTest::addColumn<int>("readOutcome");
        QTest::addColumn<QString>("readText");
        QTest::addColumn<int>("writeOutcome"); // -1: no write expected
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("fileKeepsIt");

        const int none = -1;
        QTest::newRow("keyring holds it, file empty") << QString() << int(Outcome::Done) << "k3y" << none << "keyring"
                                                      << "k3y" << false;
        QTest::newRow("file's password moves in")
            << "f1le" << int(Outcome::NotFound) << "" << int(Outcome::Done) << "keyring"
            << "f1le" << false;
        QTest::newRow("file's newer password replaces the keyring's")
            << "newer" << int(Outcome::Done) << "older" << int(Outcome::Done) << "keyring"
            << "newer" << false;
        QTest::newRow("keyring refuses the move: file keeps it")
            << "f1le" << int(Outcome::NotFound) << "" << int(Outcome::Refused) << "file"
            << "f1le" << true;
        QTest::newRow("locked keyring: file keeps it") << "f1le" << int(Outcome::Refused) << "locked" << none << "file"
                                                       << "f1le" << true;
        QTest::newRow("no keyring answers") << "f1le" << int(Outcome::Unavailable) << "no service" << none << "file"
                                            << "f1le" << true;
        QTest::newRow("an empty field's key goes") << "" << int(Outcome::Done) << "k3y" << none << "keyring"
                                                   << "k3y" << false;
    }

    void firstAnswerDecidesThePlace()
    {
        QFETCH(QString, inFile);
        QFETCH(int, readOutcome);
        QFETCH(QString, readText);
        QFETCH(int, writeOutcome);
        QFETCH(QString, place);
        QFETCH(QString, password);
        QFETCH(bool, fileKeepsIt);

        writeFilePassword(inFile);
        ScriptedKeyring* keyring = nullptr;
        auto store = makeStore(&keyring);
        keyring->script.push_back({Outcome(readOutcome), readText});
        if (writeOutcome >= 0)
            keyring->script.push_back({Outcome(writeOutcome), QStringLiteral("write refused")});
        QSignalSpy ready(store.get(), &PasswordStore::readyChanged);

        LogCapture log;
        store->start();
        QCOMPARE(ready.count(), 1);
        QVERIFY(store->isReady());
        QCOMPARE(store->placeName(), place);
        QCOMPARE(store->password(), password);
        QCOMPARE(fileHasPassword(), fileKeepsIt);
        if (fileKeepsIt)
            QCOMPARE(filePassword(), inFile);
        QCOMPARE(keyring->requests.count(), writeOutcome >= 0 ? 2 : 1);
        if (place == QLatin1String("file")) {
            // Said once, with the reason, so that the operator knows where the password is.
            const QStringList warnings = log.lines(QtWarningMsg);
            QCOMPARE(warnings.filter(QStringLiteral("owner-only settings file")).count(), 1);
        }
        QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value("host").toString(), QStringLiteral("127.0.0.1"));
    }

    // A keyring that keeps silent does not hold the sign-in: the file serves, and a late answer
    // changes nothing.
    void silentKeyringFallsBackToTheFile()
    {
        writeFilePassword(QStringLiteral("f1le"));
        ScriptedKeyring* keyring = nullptr;
        auto store = makeStore(&keyring);
        store->setAnswerTimeoutMs(50);
        QSignalSpy ready(store.get(), &PasswordStore::readyChanged);
        store->start();
        QVERIFY(!store->isReady());
        QCOMPARE(store->password(), QString());
        QVERIFY(ready.wait(5000));
        QCOMPARE(store->placeName(), QStringLiteral("file"));
        QCOMPARE(store->password(), QStringLiteral("f1le"));

        keyring->answerNext(Outcome::Done, QStringLiteral("late"));
        QCOMPARE(store->placeName(), QStringLiteral("file"));
        QCOMPARE(store->password(), QStringLiteral("f1le"));
        QVERIFY(fileHasPassword());
    }

    // After the start: the operator's password goes to the keyring; one it refuses goes to the
    // file; an empty one is removed; an older write's answer does not undo a newer one.
    void storedPasswordsFollowTheKeyring()
    {
        ScriptedKeyring* keyring = nullptr;
        auto store = makeStore(&keyring);
        keyring->script.push_back({Outcome::NotFound, QString()});
        store->start();
        QCOMPARE(store->placeName(), QStringLiteral("keyring"));
        QSignalSpy finished(store.get(), &PasswordStore::keyringWriteFinished);

        store->store(QStringLiteral("first"));
        store->store(QStringLiteral("second"));
        QCOMPARE(keyring->requests, QStringList({"read", "write first", "write second"}));
        QCOMPARE(store->password(), QStringLiteral("second"));
        // The first write fails after the second was asked for: the second decides.
        keyring->answerNext(Outcome::Refused, QStringLiteral("too late"));
        QCOMPARE(store->placeName(), QStringLiteral("keyring"));
        QVERIFY(!fileHasPassword());
        keyring->answerNext(Outcome::Done);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.last().at(0).toBool(), true);

        store->store(QStringLiteral("second")); // unchanged: nothing to ask
        QCOMPARE(keyring->requests.count(), 3);
        store->store(QString());
        QCOMPARE(keyring->requests.last(), QStringLiteral("remove"));
        keyring->answerNext(Outcome::Done);

        LogCapture log;
        store->store(QStringLiteral("third"));
        keyring->answerNext(Outcome::Refused, QStringLiteral("locked"));
        QCOMPARE(finished.last().at(0).toBool(), false);
        QCOMPARE(store->placeName(), QStringLiteral("file"));
        QCOMPARE(filePassword(), QStringLiteral("third"));
        QCOMPARE(store->password(), QStringLiteral("third"));
        QCOMPARE(log.lines(QtWarningMsg).filter(QStringLiteral("locked")).count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_PasswordStore)
#include "tst_passwordstore.moc"
