// SPDX-License-Identifier: MIT
#include "rpcsource.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSettings>
#include <QtDebug>

#include "client_service.h"
#include "ipcdefaults.h"

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
    m_host = std::make_unique<QRemoteObjectHost>();
    const bool listening = m_host->setHostUrl(m_url);
    if (!listening) {
        qWarning() << "bool RpcSource::start()";
        qWarning() << "  Err: cannot listen on" << m_url.toString() << m_host->lastError();
    }

    m_source = std::make_shared<client_Service>();
    m_host->enableRemoting(m_source.get());
    return listening;
}
