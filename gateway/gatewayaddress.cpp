// SPDX-License-Identifier: MIT
#include "gatewayaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

#include "gatewaylog.h"
#include "vantorobject.h"
#include "vantorsetting.h"

namespace {

const QString AddressKey = QStringLiteral("address");
const QString PosPortKey = QStringLiteral("posPort");

bool isIpv6(const QString& text)
{
    return QHostAddress(text).protocol() == QAbstractSocket::IPv6Protocol;
}

QString encoded(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

GatewayAddress::GatewayAddress(QObject* parent) : QObject(parent) {}

GatewayAddress::~GatewayAddress() = default;

QString GatewayAddress::defaultHost()
{
    return QStringLiteral("127.0.0.1");
}

QString GatewayAddress::usableHost(const QString& text)
{
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9.-]+$"));
    const QString host = text.trimmed();
    if (host.isEmpty() || hostName.match(host).hasMatch())
        return host;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')) && isIpv6(host.mid(1, host.size() - 2)))
        return host;
    if (isIpv6(host))
        return QLatin1Char('[') + host + QLatin1Char(']');
    qCWarning(lcGateway).noquote() << "Invalid gateway address:" << host;
    return QString();
}

QString GatewayAddress::configuredHost(const VantorObject* gateway)
{
    if (!gateway || !gateway->settings()->contains(AddressKey))
        return QString();
    const QString host = usableHost(gateway->settings()->prop(AddressKey));
    qDebug().noquote() << "GW address from LDAP";
    return host;
}

QString GatewayAddress::httpHost(const VantorObject* gateway, const QString& serverAddress)
{
    QString host = configuredHost(gateway);
    if (host.isEmpty()) {
        host = usableHost(serverAddress);
        qDebug().noquote() << "GW address from streamInfo result";
    }
    if (host.isEmpty()) {
        host = defaultHost();
        qDebug().noquote() << "GW address from fallback";
    }
    return host;
}

QVariantMap GatewayAddress::posEndpoint(VantorObject* gateway)
{
    // An empty address would make an endpoint without a host.
    QString host = configuredHost(gateway);
    if (host.isEmpty())
        host = defaultHost();
    int port = DefaultPosPort;
    if (gateway && gateway->settings()->contains(PosPortKey)) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        const QString text = gateway->settings()->prop(PosPortKey).trimmed();
        // Too many digits for an int give 0 as well.
        const int parsed = digits.match(text).hasMatch() ? text.toInt() : 0;
        if (parsed > 0 && parsed < 65536)
            port = parsed;
        else
            qCWarning(lcGateway).noquote() << "Invalid posPort:" << text << "using" << port;
        qDebug().noquote() << "Port from LDAP";
    }
    return {{QStringLiteral("host"), host}, {QStringLiteral("port"), port}};
}

QString GatewayAddress::baseUrl(const QString& host, int port)
{
    return QStringLiteral("http://%1:%2").arg(host).arg(port);
}

QString GatewayAddress::posQueryUrl(const QString& host, int port, const QString& streamId, const QString& from,
                                    const QString& to)
{
    return baseUrl(host, port) +
           QStringLiteral("/pos-data?strmId=%1&from=%2&to=%3").arg(encoded(streamId), encoded(from), encoded(to));
}

bool GatewayAddress::chunkSpanOf(const QString& url, qint64* start, qint64* end)
{
    // ".../STREAM-START-END": the stream id may hold '-' itself, the two times never do.
    const QString name = QUrl(url).path().section(QLatin1Char('/'), -1);
    if (name.count(QLatin1Char('-')) < 2)
        return false;
    bool startOk = false;
    bool endOk = false;
    const qint64 from = name.section(QLatin1Char('-'), -2, -2).toLongLong(&startOk);
    const qint64 to = name.section(QLatin1Char('-'), -1).toLongLong(&endOk);
    if (!startOk || !endOk || from < 0 || to < from)
        return false;
    if (start)
        *start = from;
    if (end)
        *end = to;
    return true;
}

QString GatewayAddress::mediaUrl(const QString& host, int port, const QString& streamId, const QString& start,
                                 const QString& end)
{
    return baseUrl(host, port) + QStringLiteral("/%1-%2-%3").arg(encoded(streamId), encoded(start), encoded(end));
}
