// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QString>

class GatewayFetcher;
class QNetworkReply;

// Fetches one recorded chunk over HTTP into the file "recorder" of a folder private to this
// process. finished means the file holds the whole chunk; a failed transfer leaves no file.
class Downloader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString filePath READ filePath WRITE setFilePath NOTIFY filePathChanged)
    Q_PROPERTY(QString url READ url WRITE setUrl NOTIFY urlChanged)
    // The file's name in the private folder: two downloaders with different names can fetch one
    // chunk while another plays.
    Q_PROPERTY(QString fileName READ fileName WRITE setFileName NOTIFY fileNameChanged)

public:
    explicit Downloader(QObject* parent = nullptr);
    ~Downloader() override;

    QString filePath() const;
    void setFilePath(const QString& value);
    QString url() const;
    void setUrl(const QString& value);
    QString fileName() const { return m_fileName; }
    void setFileName(const QString& value);

signals:
    void filePathChanged();
    void urlChanged();
    void fileNameChanged();
    void finished();
    void cancelled();
    void failed(const QString& message);
    void progress(qint64 received, qint64 total);

public slots:
    // Starts fetching url into the target file, replacing a transfer in progress.
    void download();
    // Aborts the transfer in progress and removes its partial file; emits cancelled in any case.
    void cancel();

private slots:
    void handleReadyRead();
    void handleFinished(QNetworkReply* reply);

private:
    QString targetPath() const;
    void fail(const QString& message);

    QString m_filePath;
    QString m_url;
    QString m_fileName = QStringLiteral("recorder");
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<GatewayFetcher> m_fetcher;
};
