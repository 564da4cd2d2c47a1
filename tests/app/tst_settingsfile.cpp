// SPDX-License-Identifier: MIT
// The file that keeps the login fields stays owner-only: created so, repaired when wider, and kept
// so across the writes of QSettings and of the QML Settings element, which replace the file.
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "logcapture.h"
#include "settingsfile.h"
#include "startup.h"

namespace {

int modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QString octal(int mode)
{
    return QStringLiteral("0%1").arg(mode, 3, 8, QLatin1Char('0'));
}

bool writeFile(const QString& path, const QByteArray& contents, int mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets the process umask for a scope.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : m_previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private:
    QString folder() const { return QFileInfo(m_path).absolutePath(); }

private slots:
    void initTestCase()
    {
        m_path = loginSettingsFilePath();
        const QString expected =
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/pelmar.example/PELMAR.conf");
        QCOMPARE(m_path, expected);
    }

    void init() { QVERIFY(QDir(folder()).removeRecursively()); }

    void missingFileStartsOwnerOnly_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("usual umask") << 022;
        QTest::newRow("open umask") << 0;
    }

    void missingFileStartsOwnerOnly()
    {
        QFETCH(int, umask);
        ScopedUmask mask(mode_t(umask & 0777));
        LogCapture log;
        QVERIFY(protectSettingsFile(m_path));
        QCOMPARE(octal(modeOf(m_path)), octal(0600));
        QCOMPARE(octal(modeOf(folder())), octal(0700));
        QVERIFY(readFile(m_path).isEmpty());
        QVERIFY2(log.lines(QtWarningMsg).isEmpty(), qPrintable(log.lines().join('\n')));

        // A second start finds the file as it should be and says nothing.
        QVERIFY(protectSettingsFile(m_path));
        QVERIFY2(log.lines(QtWarningMsg).isEmpty(), qPrintable(log.lines().join('\n')));
    }

    void widerFileIsNarrowedWithAWarning_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expected");
        QTest::newRow("world-readable") << 0644 << 0600;
        QTest::newRow("world-writable") << 0666 << 0600;
        QTest::newRow("group-readable") << 0640 << 0600;
        QTest::newRow("only others may read") << 0604 << 0600;
        QTest::newRow("owner read-only, others read") << 0444 << 0400;
    }

    void widerFileIsNarrowedWithAWarning()
    {
        QFETCH(int, mode);
        QFETCH(int, expected);
        const QByteArray contents = "[General]\nhost=10.0.0.5\npass=secret\nport=20101\nuser=operator\n";
        QVERIFY(QDir().mkpath(folder()));
        QVERIFY(writeFile(m_path, contents, mode));

        LogCapture log;
        QVERIFY(protectSettingsFile(m_path));
        QCOMPARE(octal(modeOf(m_path)), octal(expected));
        QCOMPARE(readFile(m_path), contents);
        const QStringList warnings = log.lines(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(m_path) && warnings.first().contains(octal(mode)) &&
                     warnings.first().contains(QLatin1String("owner-only")),
                 qPrintable(warnings.first()));
    }

    void folderThatCannotBeMadeFailsInTheLog()
    {
        // The settings folder's place is taken by a plain file.
        QVERIFY(QDir().mkpath(QFileInfo(folder()).path()));
        QVERIFY(writeFile(folder(), "not a folder", 0644));
        LogCapture log;
        QVERIFY(!protectSettingsFile(m_path));
        QCOMPARE(log.lines(QtWarningMsg).size(), 1);
        QVERIFY2(log.lines(QtWarningMsg).first().contains(folder()), qPrintable(log.lines().join('\n')));
        QVERIFY(QFile::remove(folder()));
    }

    void qsettingsWritesKeepTheMode()
    {
        ScopedUmask mask(022);
        QVERIFY(protectSettingsFile(m_path));
        for (const QString& password : {QStringLiteral("first"), QStringLiteral("second"), QString()}) {
            {
                QSettings settings;
                settings.setValue(QStringLiteral("pass"), password);
                settings.setValue(QStringLiteral("user"), QStringLiteral("operator"));
                settings.sync();
                QCOMPARE(settings.status(), QSettings::NoError);
            }
            QCOMPARE(octal(modeOf(m_path)), octal(0600));
            QCOMPARE(QSettings().value(QStringLiteral("pass")).toString(), password);
        }
    }

    void qmlSettingsElementKeepsTheMode()
    {
        ScopedUmask mask(022);
        QVERIFY(protectSettingsFile(m_path));
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.12\nimport Qt.labs.settings 1.0\n"
                          "Settings { property string user: \"\"; property string pass: \"\" }",
                          QUrl());
        std::unique_ptr<QObject> settings(component.create());
        QVERIFY2(settings, qPrintable(component.errorString()));
        QVERIFY(settings->setProperty("user", QStringLiteral("operator")));
        QVERIFY(settings->setProperty("pass", QStringLiteral("s3cret")));
        // The element writes on a timer and on destruction.
        settings.reset();
        QCOMPARE(QSettings().value(QStringLiteral("pass")).toString(), QStringLiteral("s3cret"));
        QCOMPARE(octal(modeOf(m_path)), octal(0600));
    }

private:
    QString m_path;
};

int main(int argc, char* argv[])
{
    // The application's own names give the real file name; it lives in a private folder.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    prepareClientApplication();
    QCoreApplication app(argc, argv);
    TestSettingsFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsfile.moc"
