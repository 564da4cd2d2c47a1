// SPDX-License-Identifier: MIT
#include "screenreader.h"

#include "livecommon.h"

bool ScreenReader::start(const QString& program, const QStringList& rects, const QString& samples, int rateHz)
{
    QStringList arguments{QStringLiteral("--aspect"), QStringLiteral("16:9"), QStringLiteral("--rate"),
                          QString::number(rateHz)};
    for (const QString& rect : rects)
        arguments << QStringLiteral("--rect") << rect;
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setStandardOutputFile(samples, QIODevice::Truncate);
    m_process.setStandardErrorFile(samples + QStringLiteral(".stderr"));
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        fail(QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString()));
        return false;
    }
    // Its first sample comes within a few ms; a wrong rectangle ends it at once.
    if (m_process.waitForFinished(300)) {
        fail(QStringLiteral("%1 ended at once; see %2.stderr").arg(program, samples));
        return false;
    }
    return true;
}

void ScreenReader::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
