// SPDX-License-Identifier: MIT
// vantor-sim for a test: a copy of a site file with free ports for every gateway, the simulator on
// free server and control ports, its ready line awaited, its output kept, its control channel spoken.
#pragma once

#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

struct GatewayPorts
{
    int http = 0;
    int pos = 0;
};

class SimProcess
{
public:
    SimProcess();
    ~SimProcess();

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Copies the site file with free ports for every gateway (its "httpPort" and its "posPort"
    // setting) and the numbered chunk media file's path made absolute (the order of everything
    // else is kept) and starts the simulator on free server and
    // control ports. Waits for the ready line; false, with the simulator's own words in output(),
    // when it does not come.
    bool start(const QString& sitePath, const QStringList& extraArgs = {});
    bool startFile(const QString& sitePath) { return start(sitePath); }
    // The same site on the same ports again, after kill() or stop(): a server that comes back
    // where it was.
    bool restart();

    // Set before start(): where the chunk media are cached (a folder shared by all tests, so that
    // they are made once), the simulator's environment and working folder.
    void setMediaDir(const QString& folder) { m_mediaDir = folder; }
    void setEnvironment(const QProcessEnvironment& environment) { m_process.setProcessEnvironment(environment); }
    void setWorkingDirectory(const QString& folder) { m_process.setWorkingDirectory(folder); }

    // One control command; gives the answer line ("ok ..." or "error ..."), or an empty string.
    QString command(const QString& line);

    void kill(); // SIGKILL, as a crash or a power cut of the server would do
    void stop(); // SIGTERM, then SIGKILL if it lingers
    bool waitForExit(int timeoutMs = 10000);
    bool running() const { return m_process.state() == QProcess::Running; }

    // Everything the simulator wrote since it was last started, standard output and standard error.
    QString output();
    QString errorText() { return output(); }

    int serverPort() const { return m_serverPort; }
    int controlPort() const { return m_controlPort; }
    GatewayPorts gateway(qint64 id) const { return m_gateways.value(id); }
    QString sitePath() const { return m_sitePath; }
    QProcess& process() { return m_process; }

    static QString program();
    static QString sharedMediaDir();

private:
    bool launch();
    void collect();

    QTemporaryDir m_dir;
    QProcess m_process;
    QTcpSocket m_control;
    QByteArray m_output;
    QString m_sitePath;
    QString m_mediaDir;
    QStringList m_extraArgs;
    int m_serverPort = 0;
    int m_controlPort = 0;
    QMap<qint64, GatewayPorts> m_gateways;
};
