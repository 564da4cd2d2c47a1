#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// A vantor-sim playing one site file on free loopback ports, with its control channel open.
class SimProcess
{
public:
    SimProcess(const QString& program, const QString& siteFile, const QStringList& extraArgs = {})
        : m_program(program), m_siteFile(siteFile), m_extraArgs(extraArgs)
    {
    }

    ~SimProcess() { stop(); }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator and waits for its ready line. A port taken between choosing it and
    // binding it makes the simulator exit with 3; then other ports are tried.
    bool start(QString* error)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = freePort();
            m_controlPort = freePort();
            const int gatewayPort = freePort();
            const int posPort = freePort();
            QStringList args{"--site", m_siteFile, "--port", QString::number(m_port), "--control-port",
                             QString::number(m_controlPort), "--gateway-address", "127.0.0.1", "--gateway-port",
                             QString::number(gatewayPort), "--pos-port", QString::number(posPort), "--pos-rate", "0"};
            args += m_extraArgs;
            m_process.setProgram(m_program);
            m_process.setArguments(args);
            m_process.setProcessChannelMode(QProcess::SeparateChannels);
            m_process.start();
            if (!m_process.waitForStarted(5000)) {
                *error = QStringLiteral("cannot start %1: %2").arg(m_program, m_process.errorString());
                return false;
            }
            const QDeadlineTimer deadline(15000);
            QByteArray out;
            while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
                if (m_process.canReadLine() || m_process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 200)))) {
                    while (m_process.canReadLine()) {
                        const QByteArray line = m_process.readLine().trimmed();
                        if (line == "vantor-sim: ready")
                            return connectControl(error);
                        out += line + '\n';
                    }
                }
            }
            if (m_process.state() == QProcess::Running) {
                *error = "vantor-sim printed no ready line in time:\n" + QString::fromUtf8(out);
                stop();
                return false;
            }
            m_process.waitForFinished(1000);
            const QString stderrText = QString::fromUtf8(m_process.readAllStandardError());
            if (m_process.exitCode() != 3) {
                *error = QStringLiteral("vantor-sim exited with %1:\n%2").arg(m_process.exitCode()).arg(stderrText);
                return false;
            }
        }
        *error = "vantor-sim found no free ports";
        return false;
    }

    void stop()
    {
        m_control.abort();
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    int port() const { return m_port; }

    // One control command; the simulator's answer line, or an empty text after a timeout.
    QString control(const QString& line)
    {
        m_control.write(line.toUtf8() + '\n');
        const QDeadlineTimer deadline(5000);
        while (!m_control.canReadLine() && !deadline.hasExpired())
            m_control.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 200)));
        return QString::fromUtf8(m_control.readLine()).trimmed();
    }

    QString standardError() { return QString::fromUtf8(m_process.readAllStandardError()); }

    // A port nobody listens on right now.
    static int freePort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }

private:
    bool connectControl(QString* error)
    {
        m_control.connectToHost(QHostAddress::LocalHost, quint16(m_controlPort));
        if (!m_control.waitForConnected(5000)) {
            *error = "cannot reach the control channel: " + m_control.errorString();
            return false;
        }
        return true;
    }

    QString m_program;
    QString m_siteFile;
    QStringList m_extraArgs;
    QProcess m_process;
    QTcpSocket m_control;
    int m_port = 0;
    int m_controlPort = 0;
};
