// SPDX-License-Identifier: MIT
#include "simprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <nlohmann/json.hpp>

#include "freeports.h"

namespace {
constexpr int readyTimeoutMs = 20000;
}

SimProcess::SimProcess() : m_mediaDir(sharedMediaDir())
{
    m_process.setProgram(program());
}

SimProcess::~SimProcess()
{
    m_control.abort();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SimProcess::program()
{
    return QStringLiteral(VANTOR_SIM_PATH);
}

QString SimProcess::sharedMediaDir()
{
    return QStringLiteral(SIM_MEDIA_DIR);
}

bool SimProcess::start(const QString& sitePath, const QStringList& extraArgs)
{
    using Json = nlohmann::ordered_json;
    QFile source(sitePath);
    if (!source.open(QIODevice::ReadOnly)) {
        qWarning("cannot read the site %s", qPrintable(sitePath));
        return false;
    }
    Json site = Json::parse(source.readAll().toStdString(), nullptr, false);
    if (site.is_discarded() || !site.contains("objects")) {
        qWarning("the site %s is no JSON object with \"objects\"", qPrintable(sitePath));
        return false;
    }
    int gateways = 0;
    for (const auto& o : site["objects"])
        gateways += o.contains("gateway");
    const QList<int> ports = testsupport::freePorts(2 + 2 * gateways);
    if (ports.size() != 2 + 2 * gateways)
        return false;
    m_serverPort = ports[0];
    m_controlPort = ports[1];
    m_gateways.clear();
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

    // The copy lives elsewhere: a media file named relative to the site stays the site's.
    if (site.contains("chunkMedia") && site["chunkMedia"].is_object() && site["chunkMedia"].contains("numbered") &&
        site["chunkMedia"]["numbered"].is_string()) {
        const QString numbered = QString::fromStdString(site["chunkMedia"]["numbered"].get<std::string>());
        site["chunkMedia"]["numbered"] = QFileInfo(sitePath).dir().absoluteFilePath(numbered).toStdString();
    }
    m_sitePath = m_dir.filePath(QStringLiteral("site.json"));
    QFile file(m_sitePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QByteArray::fromStdString(site.dump(2)));
    file.close();
    m_extraArgs = extraArgs;
    return launch();
}

bool SimProcess::restart()
{
    if (m_sitePath.isEmpty() || running())
        return false;
    return launch();
}

bool SimProcess::launch()
{
    // Each run's output stands alone: a restarted simulator's lines must not be confused with the
    // ones of the run before.
    m_output.clear();
    QStringList args = {QStringLiteral("--site"),         m_sitePath,
                        QStringLiteral("--port"),         QString::number(m_serverPort),
                        QStringLiteral("--control-port"), QString::number(m_controlPort),
                        QStringLiteral("--media-dir"),    m_mediaDir};
    args << m_extraArgs;
    m_process.setArguments(args);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        qWarning("vantor-sim did not start: %s", qPrintable(m_process.errorString()));
        return false;
    }
    // The ready line is awaited with the event loop running: the test's own servers (a stream,
    // a POS publisher) may have to answer the simulator meanwhile.
    const bool ready = QTest::qWaitFor(
        [&] {
            collect();
            return m_output.contains("vantor-sim: ready") || m_process.state() == QProcess::NotRunning;
        },
        readyTimeoutMs);
    if (!ready || !m_output.contains("vantor-sim: ready")) {
        qWarning("vantor-sim did not get ready: %s", m_output.constData());
        return false;
    }
    m_control.abort();
    m_control.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_controlPort));
    return m_control.waitForConnected(5000);
}

void SimProcess::collect()
{
    m_output += m_process.readAllStandardOutput();
    m_output += m_process.readAllStandardError();
}

QString SimProcess::output()
{
    collect();
    return QString::fromUtf8(m_output);
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
    collect();
    m_control.abort();
    m_process.kill();
    m_process.waitForFinished(5000);
    collect();
}

void SimProcess::stop()
{
    m_control.abort();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    collect();
}

bool SimProcess::waitForExit(int timeoutMs)
{
    const bool done = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    collect();
    return done;
}
