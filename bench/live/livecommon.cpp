// SPDX-License-Identifier: MIT
#include "livecommon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t s_stopRequested = 0;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

void emitLine(const QString& line)
{
    out() << line << Qt::endl;
}

void fail(const QString& message)
{
    err() << "bench_live: " << message << Qt::endl;
}

void installStopHandlers()
{
    signal(SIGTERM, [](int) { s_stopRequested = 1; });
    signal(SIGINT, [](int) { s_stopRequested = 1; });
}

bool stopRequested()
{
    return s_stopRequested != 0;
}

qint64 nowMs()
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs || stopRequested())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, pollMs);
        QThread::msleep(static_cast<unsigned long>(pollMs));
    }
    return true;
}

void sleepWithEvents(int ms)
{
    const qint64 end = nowMs() + ms;
    waitUntil([end] { return nowMs() >= end; }, ms + 1000, 20);
}

double processCpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = file.readAll();
    // The command name may hold spaces; the fields after it are counted from the last ')'.
    const int close = text.lastIndexOf(')');
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
}

qint64 processStatusKb(qint64 pid, const char* key)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString runClicker(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool ran =
        process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString line = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    if (!ran || line.isEmpty()) {
        fail(QStringLiteral("%1 %2 failed: %3 %4")
                 .arg(program, arguments.join(QLatin1Char(' ')), process.errorString(),
                      QString::fromLocal8Bit(process.readAllStandardError()).trimmed()));
        return QString();
    }
    return line;
}

QString valueOf(const QString& text, const QString& key)
{
    const QRegularExpression expression(QStringLiteral("(?:^| )%1=(\\S*)").arg(QRegularExpression::escape(key)));
    return expression.match(text).captured(1);
}
