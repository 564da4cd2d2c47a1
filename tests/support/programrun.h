// SPDX-License-Identifier: MIT
// A program started by a test from a private folder of its own: the executable is linked into the
// folder so that its config.ini and working directory are the test's, and it is stopped for sure
// when the test is done.
#pragma once

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

class ProgramRun
{
public:
    ProgramRun() = default;
    ~ProgramRun() { stop(); }

    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // A hard link keeps the executable's folder where it is run from (a symbolic link would
    // resolve back to the build folder); a copy serves where links cannot be made.
    static bool placeInto(const QString& executable, const QString& folder)
    {
        const QString target = folder + '/' + QFileInfo(executable).fileName();
        if (QFile::exists(target))
            return true;
        if (::link(QFile::encodeName(executable).constData(), QFile::encodeName(target).constData()) == 0)
            return true;
        return QFile::copy(executable, target);
    }

    bool start(const QString& program, const QStringList& arguments, const QString& workingDirectory,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setWorkingDirectory(workingDirectory);
        m_process.setProcessEnvironment(environment);
        m_process.start();
        return m_process.waitForStarted(10000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};
