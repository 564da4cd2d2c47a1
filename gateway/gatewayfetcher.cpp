// SPDX-License-Identifier: MIT
#include "gatewayfetcher.h"

#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace {

// The name the gateways know this client by.
const QByteArray UserAgent = QByteArrayLiteral("PELMAR client");
// Set on a fetch() reply by cancel(): its handler is not called.
const char* const CancelledProperty = "gatewayFetchCancelled";

} // namespace

GatewayFetcher::GatewayFetcher(QObject* parent) : QObject(parent), m_manager(new QNetworkAccessManager(this)) {}

GatewayFetcher::~GatewayFetcher() = default;

QNetworkRequest GatewayFetcher::request(const QUrl& url, int idleTimeoutMs)
{
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", UserAgent);
    // A gateway serves each connection on a worker of a small pool and keeps an idle one open for
    // seconds: with a connection kept per camera and per kind of request, a wall of cameras
    // starved the pool and every fetch waited for an idle connection to time out. A request is a
    // chunk or a document, seconds apart: a new connection each costs a round trip.
    request.setRawHeader("Connection", "close");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (idleTimeoutMs > 0)
        request.setTransferTimeout(idleTimeoutMs);
    return request;
}

QNetworkReply* GatewayFetcher::get(const QUrl& url, int idleTimeoutMs)
{
    return m_manager->get(request(url, idleTimeoutMs));
}

QNetworkReply* GatewayFetcher::fetch(const QUrl& url, int timeoutMs, QObject* context, AnswerHandler handler)
{
    QNetworkReply* reply = get(url);
    auto timedOut = std::make_shared<bool>(false);
    if (timeoutMs > 0) {
        // For the whole request: a gateway that sends a byte now and then must not hold it forever.
        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
            *timedOut = true;
            reply->abort();
        });
        timer->start(timeoutMs);
    }
    connect(reply, &QNetworkReply::finished, context ? context : this, [reply, timedOut, handler = std::move(handler)] {
        if (reply->property(CancelledProperty).toBool())
            return;
        Answer answer;
        answer.status = status(reply);
        answer.body = reply->readAll();
        answer.timedOut = *timedOut;
        answer.error = answer.timedOut ? QStringLiteral("no answer in time") : failure(reply);
        reply->deleteLater();
        handler(answer);
    });
    // Nobody left to hear the answer: the request goes too.
    if (context)
        connect(context, &QObject::destroyed, reply, [reply] { cancel(reply); });
    return reply;
}

void GatewayFetcher::cancel(QNetworkReply* reply)
{
    if (!reply)
        return;
    // Before the abort, which reports the end at once.
    reply->setProperty(CancelledProperty, true);
    reply->abort();
    reply->deleteLater();
}

int GatewayFetcher::status(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString GatewayFetcher::failure(const QNetworkReply* reply)
{
    const int code = status(reply);
    if (code >= 400)
        return QStringLiteral("HTTP %1 %2")
            .arg(code)
            .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    if (reply->error() != QNetworkReply::NoError)
        return reply->errorString();
    return QString();
}
