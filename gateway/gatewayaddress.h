// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

class VantorObject;

// Where a stream gateway is: the host for its URLs and its POS endpoint, its HTTP port and its POS
// port. The gateway object's own settings come first ("address", "posPort"); what they lack comes
// from the server's answer or from the defaults. A host text that would change what a URL or an
// endpoint means ("gw.example/x?") is never used.
//
// QML reaches it as the singleton GatewayAddress; C++ calls the static functions.
class GatewayAddress : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString defaultHost READ defaultHost CONSTANT)
    Q_PROPERTY(int defaultHttpPort READ defaultHttpPort CONSTANT)
    Q_PROPERTY(int defaultPosPort READ defaultPosPort CONSTANT)

public:
    // Where the gateways serve recorded chunks and their POS text, and publish POS receipts.
    static constexpr int DefaultHttpPort = 9554;
    static constexpr int DefaultPosPort = 5556;
    // This machine: a gateway nobody named.
    static QString defaultHost();
    static int defaultHttpPort() { return DefaultHttpPort; }
    static int defaultPosPort() { return DefaultPosPort; }

    explicit GatewayAddress(QObject* parent = nullptr);
    ~GatewayAddress() override;

    // The text as the host part of a URL: trimmed, a bare IPv6 address put in brackets. Empty for
    // an empty text, and, with a warning, for anything but a host name, an IPv4 address or an IPv6
    // address.
    static QString usableHost(const QString& text);
    // The gateway's "address" setting as a host; empty when the gateway (which may be null) has no
    // such setting or an unusable one. Logs "GW address from LDAP" whenever the setting exists.
    static QString configuredHost(const VantorObject* gateway);
    // The host of the gateway's HTTP service: its setting, else the server's answer, else this
    // machine; each choice logged ("GW address from streamInfo result", "GW address from fallback").
    static QString httpHost(const VantorObject* gateway, const QString& serverAddress);
    // {host, port} of the gateway's POS publisher: its settings, else the defaults. A "posPort" that
    // is not a port number is reported and the default kept; "Port from LDAP" is logged whenever the
    // setting exists.
    Q_INVOKABLE static QVariantMap posEndpoint(VantorObject* gateway);

    // The gateway's requests, for a host as usableHost() gives it.
    static QString baseUrl(const QString& host, int port);
    // "/pos-data" with the stream and the span [from, to] in ms since the epoch.
    static QString posQueryUrl(const QString& host, int port, const QString& streamId, const QString& from,
                               const QString& to);
    // The media of the chunk [start, end) of the stream.
    static QString mediaUrl(const QString& host, int port, const QString& streamId, const QString& start,
                            const QString& end);
    // The chunk's start and end (ms since the epoch) named by a URL as mediaUrl() makes it; false,
    // with nothing set, for any other URL.
    static bool chunkSpanOf(const QString& url, qint64* start, qint64* end);
};
