// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "rep_client_service_source.h"

// The client's side of the remote-control interface. Requests from replicas become the signals
// below for the controller; the login state and the layout list are kept here so that a replica
// that connects late can ask for them.
class client_Service : public client_ServiceSource
{
    Q_OBJECT

public:
    explicit client_Service(QObject* parent = nullptr);

    bool isLoggedIn() const { return m_loggedIn; }
    QList<client_Layout> layouts() const { return m_layouts; }

    // Client side only: replicas receive loggedIn with the state, also when it did not change.
    void setLoggedIn(bool state);
    // Client side only: replicas receive loggedIn with false, then loggedOut.
    void publishLoggedOut();
    // Client side only: replicas receive layoutListChanged with the stored list.
    void setLayouts(const QList<client_Layout>& layouts);

public slots:
    void requestLoginStatus() override;
    void jumpPage(client_ServiceSource::ClientPage page) override;
    void setLayout(QString name, QString json) override;
    void requestLayoutList() override;

signals:
    void setLayoutRequested(const QString& name, const QString& json);
    void jumpPageRequested(client_ServiceSource::ClientPage page);

private:
    bool m_loggedIn = false;
    QList<client_Layout> m_layouts;
};
