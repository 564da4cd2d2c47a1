// SPDX-License-Identifier: MIT
#include "rpcreplica.h"

#include <QCoreApplication>
#include <QRemoteObjectNode>
#include <QSettings>
#include <QtDebug>

#include "ipcdefaults.h"
#include "localsocket.h"
#include "rep_client_service_replica.h"

namespace {
// Heartbeats find a vanished client; while it is away they also drive the reconnection, so
// they run fast then and slowly once the link is up.
constexpr int HeartbeatWhileAway = 500;
constexpr int HeartbeatWhileValid = 5000;
// How often a local socket that is missing, or not this user's, is looked at again.
constexpr int SocketCheckInterval = 500;
} // namespace

RpcReplica::RpcReplica(QObject* parent) : RpcReplica(configuredHostUrl(), parent) {}

RpcReplica::RpcReplica(const QUrl& hostUrl, QObject* parent) : QObject(parent), m_hostUrl(hostUrl)
{
    m_socketCheck.setInterval(SocketCheckInterval);
    connect(&m_socketCheck, &QTimer::timeout, this, &RpcReplica::connectNodeWhenSafe);
}

RpcReplica::~RpcReplica()
{
    m_replica.reset();
    m_node.reset();
}

QString RpcReplica::configFilePath()
{
    return QStringLiteral("%1/config.ini").arg(QCoreApplication::applicationDirPath());
}

QUrl RpcReplica::configuredHostUrl()
{
    const QSettings config(configFilePath(), QSettings::IniFormat);
    const QString url = config.value(QStringLiteral("IPC/url"), QString::fromLatin1(StationIpc::DefaultUrl)).toString();
    qDebug() << "IPC url:" << url;
    return QUrl(url);
}

QUrl RpcReplica::hostUrl() const
{
    return m_hostUrl;
}

client_ServiceReplica* RpcReplica::replica() const
{
    return m_replica.get();
}

void RpcReplica::connectToHost()
{
    qInfo() << "Connecting to:" << m_hostUrl;

    // An earlier replica refers to the node about to be replaced, so it goes first.
    m_replica.reset();
    m_node = std::make_unique<QRemoteObjectNode>();
    m_node->setHeartbeatInterval(HeartbeatWhileAway);

    connect(
        m_node.get(), &QRemoteObjectNode::error, this,
        [](QRemoteObjectNode::ErrorCode code) {
            qDebug() << "QRemoteObjectNode::error";
            qDebug() << "  Error: " << code;
        },
        Qt::DirectConnection);
    connect(
        m_node.get(), &QRemoteObjectNode::remoteObjectAdded, this,
        [](const QRemoteObjectSourceLocation& location) {
            qDebug() << "QRemoteObjectNode::remoteObjectAdded";
            qDebug() << location;
        },
        Qt::DirectConnection);
    connect(
        m_node.get(), &QRemoteObjectNode::remoteObjectRemoved, this,
        [](const QRemoteObjectSourceLocation& location) {
            qDebug() << "QRemoteObjectNode::remoteObjectRemoved";
            qDebug() << location;
        },
        Qt::DirectConnection);

    // An empty name binds to the source published under its type name. Acquired before the node
    // connects: the caller attaches to the replica at once, and a local socket may come later.
    m_replica.reset(m_node->acquire<client_ServiceReplica>());
    m_refusedSocket = false;
    connectNodeWhenSafe();

    connect(
        m_replica.get(), &QRemoteObjectReplica::initialized, this,
        [] { qDebug() << "client_ServiceReplica::initialized"; }, Qt::DirectConnection);
    connect(m_replica.get(), &QRemoteObjectReplica::stateChanged, this, &RpcReplica::handleStateChanged,
            Qt::DirectConnection);

    qDebug() << "Service instance:" << m_replica.get();
}

void RpcReplica::connectNodeWhenSafe()
{
    const QString socketPath = StationIpc::localSocketPath(m_hostUrl);
    if (!socketPath.isEmpty()) {
        QString detail;
        switch (StationIpc::inspectLocalSocket(socketPath, &detail)) {
        case StationIpc::SocketState::Own:
        case StationIpc::SocketState::Open:
            break;
        case StationIpc::SocketState::Foreign:
            // Whoever holds it would see the layouts and steer what the companion sends.
            if (!m_refusedSocket)
                qWarning().noquote() << "Not connecting to" << m_hostUrl.toString() << ": the socket" << socketPath
                                     << "belongs to another user (" + detail + ")";
            m_refusedSocket = true;
            m_socketCheck.start();
            return;
        case StationIpc::SocketState::Missing:
        case StationIpc::SocketState::Unknown:
            // The client is not there yet; its socket is looked at again until it is.
            m_socketCheck.start();
            return;
        }
    }
    m_socketCheck.stop();
    if (!m_node->connectToNode(m_hostUrl))
        qWarning() << "connectToNode() failed";
}

void RpcReplica::handleStateChanged(QRemoteObjectReplica::State state, QRemoteObjectReplica::State oldState)
{
    qDebug() << "client_ServiceReplica::stateChanged(new:" << state << ", old:" << oldState << ")";
    if (state == QRemoteObjectReplica::Valid) {
        m_node->setHeartbeatInterval(HeartbeatWhileValid);
        emit connectedToHost();
    } else {
        m_node->setHeartbeatInterval(HeartbeatWhileAway);
        emit disconnectedFromHost();
    }
}
