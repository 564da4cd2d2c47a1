// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include "rep_client_service_replica.h"

class LayoutList;
class RpcReplica;

// What the companion's window sees of the client: whether it is signed in, its layouts (in the
// shared LayoutList), and the two requests the operator can send back.
class QuickRpc : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool loggedIn READ loggedIn NOTIFY loggedInChanged)

public:
    // Connects to the configured address and fills the process-wide layout list.
    explicit QuickRpc(QObject* parent = nullptr);
    // Connects to the given address and fills the given list, which must outlive this object
    // or be deleted with it.
    QuickRpc(const QUrl& hostUrl, LayoutList* layouts, QObject* parent = nullptr);
    ~QuickRpc() override;

    bool loggedIn() const;

    // A layout to show once the client offers it, the first time it does: a station can start
    // on a layout of its own. Taken by the instances made after it is set (the window's is made by
    // the QML engine).
    static void setStartLayout(const QString& name);
    // The page ("playback" or "recorder") to show with the start layout.
    static void setStartPage(const QString& page);

signals:
    void loggedInChanged();

public slots:
    void setLayout(const QString& name, const QString& json);
    void setPage(const QString& page);

private slots:
    void handleLoggedIn(bool isLoggedIn);
    void handleLoggedOut();
    void handleLayoutListChanged(const QList<client_Layout>& layouts);

private:
    QuickRpc(std::unique_ptr<RpcReplica> rpc, LayoutList* layouts, QObject* parent);

    void handleConnected();
    void handleDisconnected();
    bool replicaValid() const;

    std::unique_ptr<RpcReplica> m_rpc;
    bool m_loggedIn = false;
    QPointer<LayoutList> m_layouts;
    // A page asked for before the client could be reached; sent once it can.
    std::optional<client_ServiceReplica::ClientPage> m_pendingPage;
    // Empty once applied, or when none was asked for.
    QString m_startLayout;
    QString m_startPage;
};
