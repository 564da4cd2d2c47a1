// SPDX-License-Identifier: MIT
#include "simprocess.h"

#include <memory>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QtTest>

#include <nlohmann/json.hpp>

SimProcess::SimProcess()
{
    m_process.setProgram(program());
}

SimProcess::~SimProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SimProcess::program()
{
    return QStringLiteral(VANTOR_SIM_PATH);
}

QString SimProcess::mediaDir()
{
    return QStringLiteral(SIM_MEDIA_DIR);
}

QList<int> SimProcess::freePorts(int count)
{
    // All servers stay open until every port is known, so no port is handed out twice.
    std::vector<std::unique_ptr<QTcpServer>> servers;
    QList<int> ports;
    for (int i = 0; i < count; ++i) {
        auto server = std::make_unique<QTcpServer>();
        if (!server->listen(QHostAddress::LocalHost, 0))
            return {};
        ports << server->serverPort();
        servers.push_back(std::move(server));
    }
    return ports;
}

bool SimProcess::start(const QString& sitePath, const QStringList& extraArgs)
{
    using Json = nlohmann::ordered_json;
    QFile source(sitePath);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    Json site = Json::parse(source.readAll().toStdString(), nullptr, false);
    if (site.is_discarded() || !site.contains("objects"))
        return false;
    int gateways = 0;
    for (const auto& o : site["objects"])
        gateways += o.contains("gateway");
    const QList<int> ports = freePorts(2 + 2 * gateways);
    if (ports.size() != 2 + 2 * gateways)
        return false;
    m_serverPort = ports[0];
    m_controlPort = ports[1];
    int next = 2;
    for (auto& o : site["objects"]) {
        if (!o.contains("gateway"))
            continue;
        const GatewayPorts gp{ports[next], ports[next + 1]};
        next += 2;
        o["gateway"]["httpPort"] = gp.http;
        o["settings"]["posPort"] = gp.pos;
        m_gateways.insert(o["id"].get<qint64>(), gp);
    }

    m_sitePath = m_dir.filePath("site.json");
    QFile file(m_sitePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QByteArray::fromStdString(site.dump(2)));
    file.close();

    QStringList args = {"--site",         m_sitePath,
                        "--port",         QString::number(m_serverPort),
                        "--control-port", QString::number(m_controlPort),
                        "--media-dir",    mediaDir()};
    args << extraArgs;
    m_process.setArguments(args);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(15000);
    while (!m_stdout.contains("vantor-sim: ready")) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_stderr += m_process.readAllStandardError();
            qWarning("vantor-sim did not get ready: %s", m_stderr.constData());
            return false;
        }
        m_process.waitForReadyRead(100);
        m_stdout += m_process.readAllStandardOutput();
    }
    m_control.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_controlPort));
    return m_control.waitForConnected(5000);
}

QString SimProcess::command(const QString& line)
{
    if (m_control.state() != QAbstractSocket::ConnectedState)
        return {};
    m_control.write(line.toUtf8() + "\n");
    m_control.flush();
    QDeadlineTimer deadline(5000);
    while (!m_control.canReadLine()) {
        if (deadline.hasExpired() || m_control.state() != QAbstractSocket::ConnectedState)
            return {};
        m_control.waitForReadyRead(100);
    }
    return QString::fromUtf8(m_control.readLine()).trimmed();
}

void SimProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool SimProcess::waitForExit(int timeoutMs)
{
    const bool done = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    m_stderr += m_process.readAllStandardError();
    return done;
}

int threadCount()
{
    return static_cast<int>(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}
