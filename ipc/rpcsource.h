// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QRemoteObjectHost>
#include <QUrl>

class client_Service;

// Hosts the remote-control interface on the address from "config.ini" beside the executable.
class RpcSource : public QObject
{
    Q_OBJECT

public:
    explicit RpcSource(QObject* parent = nullptr);
    ~RpcSource() override;

    // Creates the host and the service and publishes the service under its type name. False,
    // with a warning, when the host cannot listen, or when a local socket's name is another
    // user's or its socket cannot be kept to this user; the service exists either way.
    bool start();

    // Empty before start.
    std::shared_ptr<client_Service> source() const { return m_source; }
    QUrl url() const { return m_url; }

    // The configured address, or the default when the file or the key is missing.
    static QString configuredUrl();

private:
    // For a local socket: whether no other user holds the name, and whether the socket made is
    // this user's and closed to others (narrowed if it is open). Both say in the log why not.
    bool socketIsFree(const QString& path);
    bool socketIsPrivate(const QString& path);

    QUrl m_url;
    std::unique_ptr<QRemoteObjectHost> m_host;
    std::shared_ptr<client_Service> m_source;
};
