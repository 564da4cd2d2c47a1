// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include "exportcameramodel.h"

class ChunkExporter;

// Exports the same span of several cameras into one new folder named after the span
// ("2024-05-01 09.00.00-09.10.00", or "… (2)" when that is taken): one MP4 per camera named after
// it ("Cam A.mp4", "Cam A (2).mp4" for a second camera of that name), joined by ChunkExporter one
// camera after another and cut to the span where the chunks' gateway URLs tell their times, and
// one manifest for them all (ManifestFileName, see ExportManifest), so that `sha256sum -c` run in
// the folder on its lines checks every file.
//
// A camera that fails leaves no file and does not stop the others; the manifest lists the files
// there are and, under "notExported", the cameras without one and why. A camera without chunks
// (nothing recorded in the span) is not a failure: it is listed there too.
//
// Every start() that returns true ends in exactly one finished() or failed(): finished() when at
// least one file was written (failedCameras names those that failed), failed() when none could be
// written or on cancel(). failed() leaves nothing behind: neither files nor the folder.
class MultiCameraExporter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // All cameras together, 0..1; rises only during one export, back to 0 at the next.
    Q_PROPERTY(qreal progress READ progress NOTIFY progressChanged)
    // Why the last start was refused or the last export failed; on a partial success, which
    // cameras failed and why.
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    // The folder written by the last export that gave a file; empty while a new one runs.
    Q_PROPERTY(QString lastFolder READ lastFolder NOTIFY lastFolderChanged)
    // One row per camera of the export in progress, or of the last one.
    Q_PROPERTY(ExportCameraModel* cameras READ cameras CONSTANT)

public:
    // The manifest's name in the export's folder.
    static const QString ManifestFileName;

    explicit MultiCameraExporter(QObject* parent = nullptr);
    // Cancels an export in progress: nothing of it stays.
    ~MultiCameraExporter() override;

    bool busy() const { return m_running; }
    qreal progress() const { return m_progress; }
    QString lastError() const { return m_lastError; }
    QString lastFolder() const { return m_lastFolder; }
    ExportCameraModel* cameras() { return &m_cameras; }

    // Where the next exports come from, for their manifest: the station (this machine's name at
    // first), the signed-in operator and the server ("host:port").
    Q_INVOKABLE void setProvenance(const QString& station, const QString& operatorName, const QString& server);

    // Starts exporting the span of each camera, a map {"camera": name, "streamId", "deviceId",
    // "urls": [the chunks' media URLs, in order]}, into a new folder inside folder (a path or a
    // file:// URL; empty for ChunkExporter::defaultFolder()). Returns false, with lastError set and
    // no signal, when an export is running, no camera has a chunk, the span ends before it starts
    // or the folder cannot be made.
    Q_INVOKABLE bool start(const QVariantList& cameras, const QString& folder, qlonglong startMs, qlonglong endMs);
    // Stops the export in progress, if any, and removes what it wrote; failed("Export cancelled")
    // follows.
    Q_INVOKABLE void cancel();

signals:
    void finished(const QString& folder, const QStringList& failedCameras);
    void failed(const QString& message);
    void busyChanged();
    void progressChanged();
    void lastErrorChanged();
    void lastFolderChanged();

private:
    struct Camera
    {
        QString name;
        QString streamId;
        QString deviceId;
        QStringList urls;
        QString fileName; // planned, unique among the export's files
        QString path;     // once written
        QString error;    // why it has no file
        QByteArray sha256;
        qint64 bytes = 0;
    };

    void exportNext();
    void handleCameraFinished(const QString& path);
    void handleCameraFailed(const QString& message);
    void handleCameraProgress();
    void finishAll();
    bool writeManifest(QString* error) const;
    // Removes every file of the export and its folder, then ends in failed(message).
    void abandon(const QString& message, ExportCameraModel::State rowState);
    void removeWritten();

    void setProgress(qreal value);
    void setLastError(const QString& value);
    void setLastFolder(const QString& value);
    void setRunning(bool running);

    std::unique_ptr<ChunkExporter> m_exporter;
    ExportCameraModel m_cameras;
    QVector<Camera> m_list;
    int m_current = -1; // the camera being exported; -1 between cameras
    QString m_folder;
    qlonglong m_startMs = 0;
    qlonglong m_endMs = 0;
    bool m_running = false;
    bool m_cancelling = false;
    qreal m_progress = 0.0;
    QString m_lastError;
    QString m_lastFolder;

    QString m_station;
    QString m_operatorName;
    QString m_server;
    // Of the export in progress.
    QString m_exportStation;
    QString m_exportOperator;
    QString m_exportServer;
};
