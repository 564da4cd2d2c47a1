// SPDX-License-Identifier: MIT
#include "downloader.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQml>

namespace {

int httpStatus(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

Downloader::Downloader(QObject* parent) : QObject(parent) {}

Downloader::~Downloader()
{
    // The manager deletes its replies; none of them may call back into a half-destroyed object.
    if (m_manager)
        m_manager->disconnect(this);
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
    if (m_manager)
        m_manager->disconnect(this);
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply = nullptr;
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

    m_manager = std::make_unique<QNetworkAccessManager>();
    connect(m_manager.get(), &QNetworkAccessManager::finished, this, &Downloader::handleFinished);

    QNetworkRequest request(QUrl(m_url, QUrl::TolerantMode));
    request.setRawHeader("User-Agent", "PELMAR client");
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &Downloader::handleReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &Downloader::progress);
}

void Downloader::cancel()
{
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
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
    if (httpStatus(reply) >= 400) {
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
        fail(reason);
    }
}

void Downloader::handleFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    const int status = httpStatus(reply);
    if (reply->error() != QNetworkReply::NoError || status >= 400) {
        const QString reason = status >= 400
                                   ? QStringLiteral("HTTP %1 %2")
                                         .arg(status)
                                         .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
                                   : reply->errorString();
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
