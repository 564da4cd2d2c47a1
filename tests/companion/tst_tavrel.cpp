// SPDX-License-Identifier: MIT
// The tavrel program itself, started from a folder of its own beside a test source that plays
// the client.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "programrun.h"
#include "scopedconfig.h"
#include "testsource.h"

namespace {

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestTavrel : public QObject
{
    Q_OBJECT

private:
    QString logPath() const { return m_dir->filePath(QStringLiteral("tavrel.log")); }
    QString log() const { return readAll(logPath()); }

    bool startTavrel(ProgramRun& run)
    {
        return run.start(m_dir->filePath(QStringLiteral("tavrel")), {}, m_dir->path());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(ProgramRun::placeInto(QStringLiteral(TAVREL_BINARY), m_dir->path()));
        m_source = std::make_unique<TestSource>(TestSource::freeUrl());
        m_config = std::make_unique<ScopedConfig>(m_dir->path(), ScopedConfig::forUrl(m_source->url()));
        QVERIFY(m_config->written());
    }

    void cleanup()
    {
        m_source.reset();
        m_config.reset();
        m_dir.reset();
    }

    void startedBeforeTheClientFollowsItWhenItComes()
    {
        ProgramRun tavrel;
        QVERIFY(startTavrel(tavrel));
        const QString url = m_source->url().toString();
        QTRY_VERIFY2_WITH_TIMEOUT(log().contains(QStringLiteral("Connecting to: QUrl(\"%1\")").arg(url)),
                                  qPrintable(log()), 15000);
        QVERIFY(log().contains(QStringLiteral("IPC url: \"%1\"").arg(url)));

        m_source->setLoggedIn(true);
        m_source->setLayouts({{"Lobby", "{\"a\":1}"}, {"Yard", "{\"b\":2}"}});
        QVERIFY(m_source->start());
        QTRY_VERIFY2_WITH_TIMEOUT(log().contains(QStringLiteral("Layouts: (\"Lobby\", \"Yard\")")), qPrintable(log()),
                                  15000);
        QVERIFY(log().contains(QStringLiteral("void QuickRpc::handleLoggedIn(bool)\n  isLoggedIn: true\n")));
        // The window's first page choice waited for the link instead of being lost.
        QCOMPARE(m_source->calls().mid(0, 3), (QStringList{"requestLoginStatus", "jumpPage 1", "requestLayoutList"}));
        QCOMPARE(tavrel.process().state(), QProcess::Running);
        // The messages go to the log file, not to the console.
        QVERIFY(!tavrel.process().readAllStandardError().contains("Connecting to:"));
    }

    void startsOnTheLayoutItIsGiven_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("call");
        QTest::newRow("offered") << "Yard"
                                 << "setLayout Yard {\"b\":2}";
        QTest::newRow("not offered") << "Garden" << QString();
    }

    void startsOnTheLayoutItIsGiven()
    {
        QFETCH(QString, layout);
        QFETCH(QString, call);
        ProgramRun tavrel;
        QVERIFY(tavrel.start(m_dir->filePath(QStringLiteral("tavrel")), {QStringLiteral("--layout"), layout},
                             m_dir->path()));
        m_source->setLoggedIn(true);
        m_source->setLayouts({{"Lobby", "{\"a\":1}"}, {"Yard", "{\"b\":2}"}});
        QVERIFY(m_source->start());
        QTRY_VERIFY2_WITH_TIMEOUT(log().contains(QLatin1String("Layouts: (\"Lobby\", \"Yard\")")), qPrintable(log()),
                                  15000);
        if (call.isEmpty()) {
            QTRY_VERIFY2_WITH_TIMEOUT(log().contains(QStringLiteral("The client has no layout \"%1\"").arg(layout)),
                                      qPrintable(log()), 15000);
            QVERIFY2(m_source->calls().filter(QStringLiteral("setLayout")).isEmpty(),
                     qPrintable(m_source->calls().join('|')));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(m_source->count(call), 1, 15000);
        }
    }

    void secondStartAppendsToTheLog()
    {
        for (int run = 1; run <= 2; ++run) {
            ProgramRun tavrel;
            QVERIFY(startTavrel(tavrel));
            // "Service instance:" is the last line of a connection attempt; a run stopped between
            // "Connecting to:" and it would leave the first run's lines incomplete.
            QTRY_COMPARE_WITH_TIMEOUT(log().count(QLatin1String("Service instance:")), run, 15000);
        }
        QCOMPARE(log().count(QLatin1String("IPC url:")), 2);
        QVERIFY(log().indexOf(QLatin1String("Service instance:")) < log().lastIndexOf(QLatin1String("IPC url:")));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestSource> m_source;
    std::unique_ptr<ScopedConfig> m_config;
};

QTEST_GUILESS_MAIN(TestTavrel)
#include "tst_tavrel.moc"
