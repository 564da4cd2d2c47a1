// SPDX-License-Identifier: MIT
#include "rpcsource.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSettings>
#include <QtDebug>

#include "client_service.h"
#include "ipcdefaults.h"
#include "localsocket.h"

namespace {

const char* const defaultUrl = StationIpc::DefaultUrl;

// Only a TCP address can be reached from other machines; local sockets stay on this one.
bool reachableFromOtherHosts(const QUrl& url)
{
    if (url.scheme() != QLatin1String("tcp"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return false;
    return !QHostAddress(host).isLoopback();
}

} // namespace

RpcSource::RpcSource(QObject* parent) : QObject(parent), m_url(configuredUrl(), QUrl::TolerantMode) {}

RpcSource::~RpcSource()
{
    // The service goes first so that the host never publishes a dangling object.
    m_source.reset();
    m_host.reset();
}

QString RpcSource::configuredUrl()
{
    const QSettings settings(QStringLiteral("%1/config.ini").arg(QCoreApplication::applicationDirPath()),
                             QSettings::IniFormat);
    const QString url = settings.value(QStringLiteral("IPC/url"), QString::fromLatin1(defaultUrl)).toString();
    qDebug() << "IPC url:" << url;
    return url;
}

bool RpcSource::start()
{
    qInfo() << "Listening on:" << m_url;
    if (reachableFromOtherHosts(m_url))
        qWarning() << "IPC url" << m_url.toString()
                   << "is not a loopback address: any host that reaches it can steer the client";

    m_host.reset();
    m_source = std::make_shared<client_Service>();
    const QString socketPath = StationIpc::localSocketPath(m_url);
    if (!socketPath.isEmpty() && !socketIsFree(socketPath))
        return false;

    m_host = std::make_unique<QRemoteObjectHost>();
    const bool listening = m_host->setHostUrl(m_url);
    if (!listening) {
        qWarning() << "bool RpcSource::start()";
        qWarning() << "  Err: cannot listen on" << m_url.toString() << m_host->lastError();
    } else if (!socketPath.isEmpty() && !socketIsPrivate(socketPath)) {
        m_host.reset();
        return false;
    }

    m_host->enableRemoting(m_source.get());
    return listening;
}

bool RpcSource::socketIsFree(const QString& path)
{
    QString detail;
    if (StationIpc::inspectLocalSocket(path, &detail) != StationIpc::SocketState::Foreign)
        return true;
    qWarning().noquote() << "Not listening on" << m_url.toString() << ": the socket" << path
                         << "belongs to another user (" + detail + "), who would receive what is meant for the station";
    return false;
}

bool RpcSource::socketIsPrivate(const QString& path)
{
    QString detail;
    switch (StationIpc::inspectLocalSocket(path, &detail)) {
    case StationIpc::SocketState::Own:
        return true;
    case StationIpc::SocketState::Open: {
        QString error;
        if (StationIpc::makeLocalSocketPrivate(path, &error)) {
            qInfo().noquote() << "The socket" << path << "was open to other users (" + detail + "); made it owner-only";
            return true;
        }
        qWarning().noquote() << "Stopped listening on" << m_url.toString() << ": other users may write the socket"
                             << path << "(" + detail + ") and its mode cannot be changed:" << error;
        return false;
    }
    case StationIpc::SocketState::Missing:
    case StationIpc::SocketState::Foreign:
    case StationIpc::SocketState::Unknown:
        break;
    }
    qWarning().noquote() << "Stopped listening on" << m_url.toString() << ": the socket" << path
                         << "is not this user's own (" + detail + ")";
    return false;
}
