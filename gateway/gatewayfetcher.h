// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

// The one way to a stream gateway's HTTP service, for its POS documents and its recorded chunks:
// every request carries the client's "User-Agent" and follows redirects only to places as safe.
// Lives on the thread that uses it; its replies are made there too.
class GatewayFetcher : public QObject
{
    Q_OBJECT

public:
    // What a document request came to.
    struct Answer
    {
        // 0 when no HTTP answer came.
        int status = 0;
        // As the gateway sent it, an error page too.
        QByteArray body;
        // Why the request failed; empty when it was answered with a status below 400.
        QString error;
        bool timedOut = false;

        bool ok() const { return error.isEmpty() && status == 200; }
    };
    using AnswerHandler = std::function<void(const Answer&)>;

    explicit GatewayFetcher(QObject* parent = nullptr);
    ~GatewayFetcher() override;

    // A GET request for url as the gateway expects it. idleTimeoutMs > 0 ends a transfer that
    // sends nothing for so long.
    static QNetworkRequest request(const QUrl& url, int idleTimeoutMs = 0);
    // A transfer to read as it arrives. The caller owns the reply and deletes it (deleteLater).
    QNetworkReply* get(const QUrl& url, int idleTimeoutMs = 0);
    // A small document read whole. handler runs once, on this object's thread, when the request
    // ends or after timeoutMs (> 0) in all; never after cancel() or once context is destroyed.
    // The reply is deleted after the handler; it can be kept (QPointer) to cancel the request.
    QNetworkReply* fetch(const QUrl& url, int timeoutMs, QObject* context, AnswerHandler handler);
    // Ends a fetch() request without a call of its handler, and deletes its reply.
    static void cancel(QNetworkReply* reply);

    // The HTTP status of a reply; 0 while none came.
    static int status(const QNetworkReply* reply);
    // Why a finished reply is no answer: "HTTP 404 Not Found" for an error status, the network's
    // reason for a transfer that failed; empty for a good answer.
    static QString failure(const QNetworkReply* reply);

private:
    QNetworkAccessManager* m_manager = nullptr;
};
