// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QRemoteObjectReplica>
#include <QTimer>
#include <QUrl>

class QRemoteObjectNode;
class client_ServiceReplica;

// The companion's connection to the client: a Qt Remote Objects node and the client_Service
// replica acquired on it. Reconnection is left to Qt Remote Objects; this class only reports
// the replica entering and leaving the valid state.
class RpcReplica : public QObject
{
    Q_OBJECT

public:
    // Reads the client's address from config.ini beside the executable, the file the client
    // reads too, so that both meet on one address when they share a folder.
    explicit RpcReplica(QObject* parent = nullptr);
    // For callers that know the address already; nothing is read.
    explicit RpcReplica(const QUrl& hostUrl, QObject* parent = nullptr);
    ~RpcReplica() override;

    void connectToHost();

    client_ServiceReplica* replica() const;
    QUrl hostUrl() const;

    static QString configFilePath();
    // The configured address, or the default when the file or the key is missing.
    static QUrl configuredHostUrl();

signals:
    void connectedToHost();
    void disconnectedFromHost();

private:
    void handleStateChanged(QRemoteObjectReplica::State state, QRemoteObjectReplica::State oldState);
    void connectNodeWhenSafe();

    QUrl m_hostUrl;
    std::unique_ptr<QRemoteObjectNode> m_node;
    // Declared after the node so that it goes first: the replica refers to its node.
    std::unique_ptr<client_ServiceReplica> m_replica;
    QTimer m_socketCheck;
    // Said once in the log per connection attempt.
    bool m_refusedSocket = false;
};
