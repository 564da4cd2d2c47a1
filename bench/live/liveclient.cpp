// SPDX-License-Identifier: MIT
#include "liveclient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRemoteObjectNode>

#include "livecommon.h"
#include "rep_client_service_replica.h"

LiveClient::LiveClient(const QString& program, const QString& logPath, const QString& statsPath, const QUrl& ipc)
    : m_program(program), m_log(logPath), m_statsFile(statsPath), m_ipc(ipc)
{
    // Both files are read from their start: nothing of an earlier run may be left in them.
    for (const QString& path : {logPath, statsPath}) {
        QFile::remove(path);
        QDir().mkpath(QFileInfo(path).absolutePath());
    }
}

LiveClient::~LiveClient()
{
    stop();
}

bool LiveClient::start()
{
    // The replica first, so that it sees the very first publications.
    m_node = std::make_unique<QRemoteObjectNode>();
    m_node->setHeartbeatInterval(50);
    m_node->connectToNode(m_ipc);
    m_replica.reset(m_node->acquire<client_ServiceReplica>());
    QObject::connect(m_replica.get(), &client_ServiceReplica::loggedIn, [this](bool in) {
        if (in && m_loggedInMs == 0)
            m_loggedInMs = nowMs();
        // The source answers in order, so the oldest probe is the one answered.
        if (!m_probesSent.empty()) {
            m_responseTimes.push_back(nowMs() - m_probesSent.front());
            m_probesSent.pop_front();
        }
    });
    QObject::connect(m_replica.get(), &client_ServiceReplica::layoutListChanged,
                     [this](const QList<client_Layout>& layouts) {
                         if (!layouts.isEmpty() && m_layoutsMs == 0)
                             m_layoutsMs = nowMs();
                         for (const client_Layout& layout : layouts)
                             m_layouts[layout.name()] = layout.json();
                     });
    QObject::connect(m_replica.get(), &QRemoteObjectReplica::initialized, [this] {
        m_sourceMs = nowMs();
        // Fast heartbeats find the client soon after it starts; once connected they would
        // take a GUI thread that is busy for a second (a layout switch) for a lost client.
        m_node->setHeartbeatInterval(5000);
    });

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("STATION_TILE_STATS_FILE"), m_statsFile.path());
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(m_program);
    m_process.setWorkingDirectory(QFileInfo(m_program).absolutePath());
    // libmpv and FFmpeg write to standard error; it is kept beside the log, out of the way.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_log.path() + QStringLiteral(".stderr"));
    m_startMs = nowMs();
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        fail(QStringLiteral("cannot start %1: %2").arg(m_program, m_process.errorString()));
        return false;
    }
    return true;
}

bool LiveClient::waitForLayouts(int timeoutMs)
{
    bool asked = false;
    return waitUntil(
               [this, &asked] {
                   poll();
                   if (!running())
                       return true;
                   if (m_sourceMs != 0 && !asked) {
                       m_replica->requestLoginStatus();
                       m_replica->requestLayoutList();
                       asked = true;
                   }
                   return !m_layouts.empty();
               },
               timeoutMs) &&
           running();
}

qint64 LiveClient::setLayout(const QString& name)
{
    const auto found = m_layouts.find(name);
    if (found == m_layouts.end()) {
        fail(QStringLiteral("the client published no layout \"%1\"").arg(name));
        return 0;
    }
    if (!waitUntil([this] { return m_replica->isReplicaValid() || !running(); }, 10000) || !running()) {
        fail(QStringLiteral("the replica lost the client"));
        return 0;
    }
    const qint64 sent = nowMs();
    m_replica->setLayout(found->first, found->second);
    return sent;
}

bool LiveClient::showRecordedPage(bool recorded)
{
    if (!waitUntil([this] { return m_replica->isReplicaValid() || !running(); }, 10000) || !running()) {
        fail(QStringLiteral("the replica lost the client"));
        return false;
    }
    m_replica->jumpPage(recorded ? client_ServiceReplica::RECORDER : client_ServiceReplica::PLAYBACK);
    return true;
}

void LiveClient::probeResponse()
{
    if (!m_replica || !m_replica->isReplicaValid())
        return;
    m_probesSent.push_back(nowMs());
    m_replica->requestLoginStatus();
}

void LiveClient::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_replica.reset();
    m_node.reset();
}

void LiveClient::poll()
{
    m_log.poll();
    const QStringList lines = m_statsFile.poll();
    for (const QString& line : lines)
        m_stats.addLine(line);
}
