// SPDX-License-Identifier: MIT
#include "downloader.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QUrl>

#include "gatewayfetcher.h"

Downloader::Downloader(QObject* parent) : QObject(parent), m_fetcher(std::make_unique<GatewayFetcher>()) {}

Downloader::~Downloader()
{
    // The fetcher deletes its replies; none of them may call back into a half-destroyed object.
    if (m_reply)
        m_reply->disconnect(this);
}

QString Downloader::filePath() const
{
    return m_filePath;
}

void Downloader::setFilePath(const QString& value)
{
    if (value == m_filePath)
        return;
    m_filePath = value;
    emit filePathChanged();
}

QString Downloader::url() const
{
    return m_url;
}

void Downloader::setUrl(const QString& value)
{
    if (value == m_url)
        return;
    m_url = value;
    emit urlChanged();
}

void Downloader::setFileName(const QString& value)
{
    // A plain name only: the file stays in the private folder.
    QString name = value;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("recorder");
    if (name == m_fileName)
        return;
    m_fileName = name;
    emit fileNameChanged();
}

QString Downloader::targetPath() const
{
    // Private to this process (mode 0700) and removed at exit: a fixed name in the shared
    // temporary folder could be planted or read by anyone.
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/pelmar-XXXXXX"));
    if (!folder.isValid())
        return QString();
    return folder.filePath(m_fileName);
}

void Downloader::download()
{
    // The previous transfer, if any, must not touch the file any more.
    if (m_reply) {
        QNetworkReply* previous = m_reply;
        m_reply = nullptr;
        previous->disconnect(this);
        previous->abort();
        previous->deleteLater();
    }

    setFilePath(targetPath());
    if (m_filePath.isEmpty()) {
        fail(QStringLiteral("no private temporary folder"));
        return;
    }
    QFile::remove(m_filePath);
    QFile file(m_filePath);
    // Created empty at once, so that an empty chunk still gives a file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail(QStringLiteral("cannot create %1: %2").arg(m_filePath, file.errorString()));
        return;
    }
    file.close();

    QNetworkReply* reply = m_fetcher->get(QUrl(m_url, QUrl::TolerantMode));
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &Downloader::handleReadyRead);
    connect(reply, &QNetworkReply::downloadProgress, this, &Downloader::progress);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { handleFinished(reply); });
}

void Downloader::cancel()
{
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        // Half a chunk is no chunk.
        QFile::remove(m_filePath);
    }
    emit cancelled();
}

void Downloader::handleReadyRead()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply || reply != m_reply)
        return;
    // An error page is not the chunk; handleFinished reports it.
    if (GatewayFetcher::status(reply) >= 400) {
        reply->readAll();
        return;
    }
    const QByteArray bytes = reply->readAll();
    QFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size()) {
        const QString reason = QStringLiteral("cannot write %1: %2").arg(m_filePath, file.errorString());
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        fail(reason);
    }
}

void Downloader::handleFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    const QString reason = GatewayFetcher::failure(reply);
    if (!reason.isEmpty()) {
        fail(reason);
        return;
    }
    // Whatever the last readyRead left.
    if (reply->bytesAvailable() > 0) {
        const QByteArray bytes = reply->readAll();
        QFile file(m_filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size()) {
            fail(QStringLiteral("cannot write %1: %2").arg(m_filePath, file.errorString()));
            return;
        }
    }
    emit finished();
}

void Downloader::fail(const QString& message)
{
    if (!m_filePath.isEmpty())
        QFile::remove(m_filePath);
    qWarning() << "Download of" << m_url << "failed:" << message;
    emit failed(message);
}
