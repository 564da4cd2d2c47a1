// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#ifdef REPLICA_SIDE_LIBRARY
#define REPLICA_SIDE_EXPORT Q_DECL_EXPORT
#else
#define REPLICA_SIDE_EXPORT Q_DECL_IMPORT
#endif

class QRemoteObjectNode;
class RawReplica;

// The companion's end of the remote-control interface, apart from the source: the generated
// replica header and the source header both define the shared record, so they cannot meet in
// one file or one link. Layout records cross this wrapper as two parallel text lists.
class REPLICA_SIDE_EXPORT ReplicaSide : public QObject
{
    Q_OBJECT

public:
    explicit ReplicaSide(const QUrl& url, QObject* parent = nullptr);
    ~ReplicaSide() override;

    static QByteArray typeName();
    static QByteArray signature();

    bool waitForSource(int timeoutMs);

    void requestLoginStatus();
    void jumpPage(int page);
    // Sends the page argument as the integer that goes on the wire, whatever its value.
    void sendRawPage(int value);
    void setLayout(const QString& name, const QString& json);
    void requestLayoutList();

signals:
    void loggedIn(bool state);
    void loggedOut();
    void layoutListChanged(const QStringList& names, const QStringList& jsons);

private:
    std::unique_ptr<QRemoteObjectNode> m_node;
    std::unique_ptr<RawReplica> m_replica;
};
