// SPDX-License-Identifier: MIT
#include "quickrpc.h"

#include <utility>

#include <QCoreApplication>
#include <QStringList>
#include <QtDebug>
#include <QtQml>

#include "layoutlist.h"
#include "rpcreplica.h"
#include "sharedlayoutlist.h"

namespace {
QString& startLayoutOfNewInstances()
{
    static QString name;
    return name;
}

QString& startPageOfNewInstances()
{
    static QString page;
    return page;
}
} // namespace

void QuickRpc::setStartLayout(const QString& name)
{
    startLayoutOfNewInstances() = name;
}

void QuickRpc::setStartPage(const QString& page)
{
    startPageOfNewInstances() = page;
}

QuickRpc::QuickRpc(QObject* parent) : QuickRpc(std::make_unique<RpcReplica>(), sharedLayoutList(), parent) {}

QuickRpc::QuickRpc(const QUrl& hostUrl, LayoutList* layouts, QObject* parent)
    : QuickRpc(std::make_unique<RpcReplica>(hostUrl), layouts, parent)
{
}

QuickRpc::QuickRpc(std::unique_ptr<RpcReplica> rpc, LayoutList* layouts, QObject* parent)
    : QObject(parent),
      m_rpc(std::move(rpc)),
      m_layouts(layouts),
      m_startLayout(startLayoutOfNewInstances()),
      m_startPage(startPageOfNewInstances())
{
    connect(m_rpc.get(), &RpcReplica::connectedToHost, this, &QuickRpc::handleConnected);
    connect(m_rpc.get(), &RpcReplica::disconnectedFromHost, this, &QuickRpc::handleDisconnected);
    m_rpc->connectToHost();

    client_ServiceReplica* replica = m_rpc->replica();
    connect(replica, &client_ServiceReplica::loggedIn, this, &QuickRpc::handleLoggedIn);
    connect(replica, &client_ServiceReplica::loggedOut, this, &QuickRpc::handleLoggedOut);
    connect(replica, &client_ServiceReplica::layoutListChanged, this, &QuickRpc::handleLayoutListChanged);
}

QuickRpc::~QuickRpc() = default;

bool QuickRpc::loggedIn() const
{
    return m_loggedIn;
}

bool QuickRpc::replicaValid() const
{
    const client_ServiceReplica* replica = m_rpc->replica();
    return replica && replica->state() == QRemoteObjectReplica::Valid;
}

void QuickRpc::setLayout(const QString& name, const QString& json)
{
    if (!replicaValid()) {
        // Applying a layout later would surprise the operator, so the request is dropped.
        qWarning() << "Not connected to the client, layout not applied:" << name;
        return;
    }
    m_rpc->replica()->setLayout(name, json);
}

void QuickRpc::setPage(const QString& page)
{
    client_ServiceReplica::ClientPage remotePage;
    if (page == QLatin1String("playback")) {
        remotePage = client_ServiceReplica::PLAYBACK;
    } else if (page == QLatin1String("recorder")) {
        remotePage = client_ServiceReplica::RECORDER;
    } else {
        qDebug() << "Invalid page";
        return;
    }
    if (!replicaValid()) {
        // The window picks its first page while the link is still coming up; the client
        // should still end up on the page the window shows.
        m_pendingPage = remotePage;
        return;
    }
    m_pendingPage.reset();
    m_rpc->replica()->jumpPage(remotePage);
}

void QuickRpc::handleConnected()
{
    m_rpc->replica()->requestLoginStatus();
    if (m_pendingPage) {
        const client_ServiceReplica::ClientPage page = *m_pendingPage;
        m_pendingPage.reset();
        m_rpc->replica()->jumpPage(page);
    }
}

void QuickRpc::handleDisconnected()
{
    // Announced even when already false: the window must show the signed-out page again.
    m_loggedIn = false;
    emit loggedInChanged();
}

void QuickRpc::handleLoggedIn(bool isLoggedIn)
{
    qDebug() << "void QuickRpc::handleLoggedIn(bool)";
    qDebug() << "  isLoggedIn:" << isLoggedIn;
    if (isLoggedIn && m_rpc->replica())
        m_rpc->replica()->requestLayoutList();
    if (isLoggedIn != m_loggedIn) {
        m_loggedIn = isLoggedIn;
        emit loggedInChanged();
    }
}

void QuickRpc::handleLoggedOut()
{
    qDebug() << "void QuickRpc::handleLoggedOut()";
    if (m_loggedIn) {
        m_loggedIn = false;
        emit loggedInChanged();
    }
}

void QuickRpc::handleLayoutListChanged(const QList<client_Layout>& layouts)
{
    if (!m_layouts)
        return;
    QStringList names;
    m_layouts->clear();
    for (const client_Layout& layout : layouts) {
        m_layouts->append(layout.name(), layout.json());
        names.append(layout.name());
    }
    qDebug() << "Layouts:" << names;
    if (m_startLayout.isEmpty() || layouts.isEmpty())
        return;
    for (const client_Layout& layout : layouts) {
        if (layout.name() == m_startLayout) {
            qInfo() << "Showing the start layout:" << m_startLayout;
            const QString name = std::exchange(m_startLayout, QString());
            setLayout(name, layout.json());
            if (!m_startPage.isEmpty())
                setPage(std::exchange(m_startPage, QString()));
            return;
        }
    }
    qWarning() << "The client has no layout" << m_startLayout << "to start on; it has" << names;
}
