// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include <QObject>
#include <QString>
#include <QStringList>

class GatewayFetcher;
class QFile;
class QNetworkReply;
class QTemporaryDir;

// Exports recorded chunks as one MP4 file joined without re-encoding (see MediaJoiner), named
// after the camera and the time span: each chunk URL is fetched in turn into a private temporary
// folder on this thread, then the parts are joined on a worker thread.
//
// Beside the file it writes a manifest ("NAME.manifest.json", see ExportManifest): where the
// export came from, its chunks and the file's SHA-256, so that a recipient can check it.
//
// Every start() that returns true ends in exactly one finished() or failed(); cancel() ends in
// failed("Export cancelled"). A failure leaves nothing behind and alters no other file.
class ChunkExporter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // Download and joining together, 0..1; rises only during one export, back to 0 at the next.
    Q_PROPERTY(qreal progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    // The file written by the last export that succeeded; empty while a new one runs.
    Q_PROPERTY(QString lastPath READ lastPath NOTIFY lastPathChanged)

public:
    // Where the next exports come from, for their manifests.
    struct Provenance
    {
        QString station;
        QString operatorName;
        QString server;
        QString streamId;
        QString deviceId;
    };

    explicit ChunkExporter(QObject* parent = nullptr);
    // Cancels an export in progress and waits for the joining thread to stop.
    ~ChunkExporter() override;

    bool busy() const;
    qreal progress() const;
    QString lastError() const;
    QString lastPath() const;

    // Starts exporting the chunks (http:// or file:// URLs, or local paths) into folder (a path or
    // a file:// URL; empty for defaultFolder()), created if missing. Returns false, with lastError
    // set and no signal, when an export is running, there is no URL or the folder is not writable.
    Q_INVOKABLE bool start(const QStringList& chunkUrls, const QString& folder, const QString& cameraName,
                           qlonglong startMs, qlonglong endMs);
    // Stops the export in progress, if any.
    Q_INVOKABLE void cancel();
    // Taken by the next start().
    void setProvenance(const Provenance& provenance) { m_nextProvenance = provenance; }
    // The name the next exports' files get (made unique as fileNameFor's are); empty, as at
    // first: fileNameFor(camera, span). An exporter of several cameras names them itself.
    void setFileName(const QString& fileName) { m_nextFileName = fileName; }
    // Whether the next exports write their own manifest beside the file (as at first); an
    // exporter of several cameras writes one for all of them instead.
    void setWritesManifest(bool writes) { m_nextWritesManifest = writes; }
    // Whether the next exports cut the file to their span, where the first chunk begins before it
    // or the last one ends after it (their times as gateway URLs name them, see MediaJoiner's
    // setTrim); off at first: the whole chunks, as the recorded page's export has them.
    void setTrimsToSpan(bool trims) { m_nextTrimsToSpan = trims; }
    // The size and hex SHA-256 of the file of the last export that succeeded, as its manifest
    // has them; 0 and empty while a new one runs.
    qint64 lastBytes() const { return m_lastHash.bytes; }
    QByteArray lastSha256() const { return m_lastHash.sha256; }

    // The user's video folder, or the home folder where there is none.
    Q_INVOKABLE static QString defaultFolder();
    // The folder a start() is given as an absolute, clean path: a file:// URL (as a QML folder
    // dialog gives it) as its local path, an empty text as defaultFolder().
    static QString folderPath(const QString& folder);
    // "Cam A 2024-05-01 09.00.00-09.10.00.mp4" in local time, with the end's date too when it is
    // another day, and only the start when endMs is not after startMs. Characters that cannot be
    // in a file name on common file systems are replaced by '_'.
    Q_INVOKABLE static QString fileNameFor(const QString& cameraName, qlonglong startMs, qlonglong endMs);
    // The span part of fileNameFor: "2024-05-01 09.00.00-09.10.00".
    static QString spanName(qlonglong startMs, qlonglong endMs);
    // The camera part of fileNameFor: a name cut to a length that leaves room for the rest, with
    // the characters that cannot be in a file name replaced; "camera" when nothing is left.
    static QString safeName(const QString& name);

signals:
    void finished(const QString& path);
    void failed(const QString& message);
    void progressChanged();
    void busyChanged();
    void lastErrorChanged();
    void lastPathChanged();

private:
    enum class Phase { Idle, Downloading, Joining };
    struct HashedFile
    {
        QByteArray sha256;
        qint64 bytes = 0;
    };

    void fetchNext();
    void handleReadyRead();
    void handleReplyFinished();
    void startJoin();
    void handleJoinProgress(double value);
    void handleJoinFinished(bool ok, const QString& target, const QString& error, bool cancelled,
                            const HashedFile& hashed);
    bool writeManifest(const QString& target, const HashedFile& hashed, QString* error) const;

    void setProgress(qreal value);
    void setLastError(const QString& value);
    void setLastPath(const QString& value);
    // Ends the export in progress: cleans up, then emits the signals.
    void succeed(const QString& path);
    void fail(const QString& message);
    void cleanUp();
    void dropReply();

    Phase m_phase = Phase::Idle;
    qreal m_progress = 0.0;
    QString m_lastError;
    QString m_lastPath;

    QStringList m_urls;
    QStringList m_parts; // local file of each URL fetched so far
    QString m_folder;
    QString m_cameraName;
    qlonglong m_startMs = 0;
    qlonglong m_endMs = 0;
    Provenance m_nextProvenance;
    Provenance m_provenance; // of the export in progress
    QString m_nextFileName;
    QString m_fileName; // of the export in progress; empty: fileNameFor
    bool m_nextWritesManifest = true;
    bool m_writesManifest = true;
    bool m_nextTrimsToSpan = false;
    bool m_trimsToSpan = false;
    HashedFile m_lastHash;

    std::unique_ptr<GatewayFetcher> m_fetcher;
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<QFile> m_partFile;
    std::unique_ptr<QTemporaryDir> m_tempDir;

    std::thread m_worker;
    std::atomic_bool m_cancel{false};
};
