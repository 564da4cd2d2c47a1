// SPDX-License-Identifier: MIT
#include <thread>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "logfile.h"

namespace {
QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void concurrentWritersGiveWholeLines()
    {
        const QString path = m_dir.filePath(QStringLiteral("concurrent.txt"));
        LogFile log(path.toUtf8());
        const int perThread = 2000;
        auto writer = [&log](char tag) {
            const QString line = QString(100, QLatin1Char(tag));
            for (int i = 0; i < perThread; ++i)
                log.write(QtInfoMsg, QMessageLogContext(), line);
        };
        std::thread a(writer, 'a');
        std::thread b(writer, 'b');
        a.join();
        b.join();

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 2 * perThread);
        int as = 0;
        for (const QString& line : lines) {
            QVERIFY2(line == QString(100, QLatin1Char('a')) || line == QString(100, QLatin1Char('b')),
                     qPrintable(QStringLiteral("mixed line: ") + line.left(40)));
            as += line.startsWith(QLatin1Char('a'));
        }
        QCOMPARE(as, perThread);
    }

    void secondStartAppends()
    {
        const QString path = m_dir.filePath(QStringLiteral("append.txt"));
        {
            LogFile first(path.toUtf8());
            first.write(QtWarningMsg, QMessageLogContext(), QStringLiteral("first run"));
        }
        {
            LogFile second(path.toUtf8());
            second.write(QtWarningMsg, QMessageLogContext(), QStringLiteral("second run"));
        }
        QCOMPARE(readLines(path), QStringList({QStringLiteral("first run"), QStringLiteral("second run")}));
    }

    void lineBreaksAreKeptAndOneLineEndFollows()
    {
        const QString path = m_dir.filePath(QStringLiteral("breaks.txt"));
        LogFile log(path.toUtf8());
        log.write(QtDebugMsg, QMessageLogContext(), QStringLiteral("one\ntwo\n\nthree"));
        log.write(QtDebugMsg, QMessageLogContext(), QStringLiteral("next"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("one\ntwo\n\nthree\nnext\n"));
    }

    void everyLevelIsWritten_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("debug") << int(QtDebugMsg);
        QTest::newRow("info") << int(QtInfoMsg);
        QTest::newRow("warning") << int(QtWarningMsg);
        QTest::newRow("critical") << int(QtCriticalMsg);
    }

    void everyLevelIsWritten()
    {
        QFETCH(int, type);
        const QString path = m_dir.filePath(QStringLiteral("level-%1.txt").arg(type));
        LogFile log(path.toUtf8());
        log.write(QtMsgType(type), QMessageLogContext(), QStringLiteral("level message ü"));
        // The default pattern is the message alone, encoded as UTF-8.
        QCOMPARE(readLines(path), QStringList(QStringLiteral("level message ü")));
    }

    void unopenableFileDropsMessagesWithoutFailing()
    {
        const QString path = m_dir.filePath(QStringLiteral("missing-folder/log.txt"));
        LogFile log(path.toUtf8());
        log.write(QtWarningMsg, QMessageLogContext(), QStringLiteral("lost"));
        log.write(QtWarningMsg, QMessageLogContext(), QStringLiteral("lost too"));
        QVERIFY(!QFile::exists(path));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
