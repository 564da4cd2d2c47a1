// SPDX-License-Identifier: MIT
#include "multicameraexporter.h"

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSysInfo>
#include <QVariantMap>

#include "chunkexporter.h"
#include "exportmanifest.h"
#include "recordedlog.h"

namespace {

// How many " (n)" names are tried for the folder or a camera's file before giving up.
constexpr int MaxNameAttempts = 1000;

const QString CancelledMessage = QStringLiteral("Export cancelled");
const QString NoRecordingReason = QStringLiteral("Nothing recorded in the span");

QString numbered(const QString& base, int attempt)
{
    return attempt == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(attempt);
}

} // namespace

const QString MultiCameraExporter::ManifestFileName = QStringLiteral("manifest.json");

MultiCameraExporter::MultiCameraExporter(QObject* parent)
    : QObject(parent), m_exporter(std::make_unique<ChunkExporter>()), m_station(QSysInfo::machineHostName())
{
    // One manifest for the whole folder, written here.
    m_exporter->setWritesManifest(false);
    // Each file lasts the span, where recordings cover it.
    m_exporter->setTrimsToSpan(true);
    connect(m_exporter.get(), &ChunkExporter::finished, this, &MultiCameraExporter::handleCameraFinished);
    connect(m_exporter.get(), &ChunkExporter::failed, this, &MultiCameraExporter::handleCameraFailed);
    connect(m_exporter.get(), &ChunkExporter::progressChanged, this, &MultiCameraExporter::handleCameraProgress);
}

MultiCameraExporter::~MultiCameraExporter()
{
    if (!m_running)
        return;
    qCWarning(lcRecorded).noquote() << "Export failed: the exporter of several cameras was destroyed while busy";
    // The camera exporter stops its download or joining and removes its partial file; a join
    // that had just ended leaves its whole file, which is removed with the others.
    m_exporter->disconnect(this);
    m_exporter.reset();
    if (m_current >= 0)
        QFile::remove(QDir(m_folder).filePath(m_list.at(m_current).fileName));
    removeWritten();
}

void MultiCameraExporter::setProvenance(const QString& station, const QString& operatorName, const QString& server)
{
    m_station = station;
    m_operatorName = operatorName;
    m_server = server;
}

bool MultiCameraExporter::start(const QVariantList& cameras, const QString& folder, qlonglong startMs, qlonglong endMs)
{
    auto refuse = [this](const QString& message) {
        setLastError(message);
        qCWarning(lcRecorded).noquote() << "Export not started:" << message;
        return false;
    };
    if (m_running)
        return refuse(QStringLiteral("An export is already running"));
    if (cameras.isEmpty())
        return refuse(QStringLiteral("No cameras to export"));
    if (endMs < startMs)
        return refuse(QStringLiteral("The span ends before it starts"));

    QVector<Camera> list;
    QSet<QString> takenNames;
    int withChunks = 0;
    for (const QVariant& entry : cameras) {
        const QVariantMap map = entry.toMap();
        Camera camera;
        camera.name = map.value(QStringLiteral("camera")).toString();
        camera.streamId = map.value(QStringLiteral("streamId")).toString();
        camera.deviceId = map.value(QStringLiteral("deviceId")).toString();
        for (const QString& url : map.value(QStringLiteral("urls")).toStringList())
            if (!url.trimmed().isEmpty())
                camera.urls << url;
        if (!camera.urls.isEmpty()) {
            ++withChunks;
            // Compared without case: exports go to USB sticks, whose file systems ignore it.
            const QString base = ChunkExporter::safeName(camera.name);
            for (int attempt = 1; attempt <= MaxNameAttempts && camera.fileName.isEmpty(); ++attempt) {
                const QString name = numbered(base, attempt) + QStringLiteral(".mp4");
                if (!takenNames.contains(name.toCaseFolded())) {
                    takenNames.insert(name.toCaseFolded());
                    camera.fileName = name;
                }
            }
            if (camera.fileName.isEmpty())
                return refuse(QStringLiteral("Too many cameras named %1").arg(camera.name));
        }
        list << camera;
    }
    if (withChunks == 0)
        return refuse(NoRecordingReason);

    const QString parent = ChunkExporter::folderPath(folder);
    if (!QDir().mkpath(parent))
        return refuse(QStringLiteral("Cannot create the folder %1").arg(parent));
    // A folder of its own, new: nothing of an earlier export is ever mixed in or replaced.
    const QString spanName = ChunkExporter::spanName(startMs, endMs);
    QString target;
    for (int attempt = 1; attempt <= MaxNameAttempts && target.isEmpty(); ++attempt) {
        const QString path = QDir(parent).filePath(numbered(spanName, attempt));
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink())
            continue;
        if (QDir().mkdir(path))
            target = path;
        else if (!QFileInfo::exists(path))
            return refuse(QStringLiteral("Cannot create a folder in %1").arg(parent));
    }
    if (target.isEmpty())
        return refuse(QStringLiteral("No free folder name like %1 in %2").arg(spanName, parent));

    m_list = list;
    m_folder = target;
    m_startMs = startMs;
    m_endMs = endMs;
    m_current = -1;
    m_cancelling = false;
    m_exportStation = m_station;
    m_exportOperator = m_operatorName;
    m_exportServer = m_server;
    QVector<ExportCameraModel::Row> rows;
    for (const Camera& camera : m_list) {
        ExportCameraModel::Row row;
        row.camera = camera.name;
        row.streamId = camera.streamId;
        if (camera.urls.isEmpty()) {
            row.state = ExportCameraModel::NoRecording;
            row.progress = 1.0;
            row.error = NoRecordingReason;
        }
        rows << row;
    }
    m_cameras.reset(rows);
    setLastError(QString());
    setLastFolder(QString());
    if (m_progress != 0.0) {
        m_progress = 0.0;
        emit progressChanged();
    }
    qCInfo(lcRecorded).noquote() << "Export of" << withChunks << "of" << m_list.size() << "camera(s) into" << m_folder
                                 << "started";
    setRunning(true);
    // Later, so that no failure is signalled before start() has returned.
    QMetaObject::invokeMethod(this, &MultiCameraExporter::exportNext, Qt::QueuedConnection);
    return true;
}

void MultiCameraExporter::cancel()
{
    if (!m_running || m_cancelling)
        return;
    m_cancelling = true;
    // The camera's own end (at once while downloading, once the joiner stopped otherwise) ends it.
    if (m_current >= 0 && m_exporter->busy()) {
        m_exporter->cancel();
        return;
    }
    abandon(CancelledMessage, ExportCameraModel::Cancelled);
}

void MultiCameraExporter::exportNext()
{
    // Also reached through a queued call, which may come after the export ended.
    if (!m_running || m_cancelling || m_current >= 0)
        return;
    int next = -1;
    for (int i = 0; i < m_list.size() && next < 0; ++i)
        if (m_cameras.row(i).state == ExportCameraModel::Waiting)
            next = i;
    if (next < 0) {
        finishAll();
        return;
    }
    m_current = next;
    const Camera& camera = m_list.at(next);
    m_cameras.setState(next, ExportCameraModel::Exporting);
    m_exporter->setFileName(camera.fileName);
    ChunkExporter::Provenance provenance;
    provenance.station = m_exportStation;
    provenance.operatorName = m_exportOperator;
    provenance.server = m_exportServer;
    provenance.streamId = camera.streamId;
    provenance.deviceId = camera.deviceId;
    m_exporter->setProvenance(provenance);
    if (!m_exporter->start(camera.urls, m_folder, camera.name, m_startMs, m_endMs))
        handleCameraFailed(m_exporter->lastError());
}

void MultiCameraExporter::handleCameraFinished(const QString& path)
{
    if (m_current < 0)
        return;
    Camera& camera = m_list[m_current];
    camera.path = path;
    camera.sha256 = m_exporter->lastSha256();
    camera.bytes = m_exporter->lastBytes();
    if (m_cancelling) {
        // Done just as the cancel came: it goes with the rest.
        abandon(CancelledMessage, ExportCameraModel::Cancelled);
        return;
    }
    m_cameras.setFile(m_current, QFileInfo(path).fileName());
    m_cameras.setState(m_current, ExportCameraModel::Done);
    m_current = -1;
    handleCameraProgress();
    QMetaObject::invokeMethod(this, &MultiCameraExporter::exportNext, Qt::QueuedConnection);
}

void MultiCameraExporter::handleCameraFailed(const QString& message)
{
    if (m_current < 0)
        return;
    if (m_cancelling) {
        abandon(CancelledMessage, ExportCameraModel::Cancelled);
        return;
    }
    Camera& camera = m_list[m_current];
    camera.error = message;
    qCWarning(lcRecorded).noquote() << "Export of camera" << camera.name << "failed, the others go on:" << message;
    m_cameras.setState(m_current, ExportCameraModel::Failed, message);
    m_current = -1;
    handleCameraProgress();
    QMetaObject::invokeMethod(this, &MultiCameraExporter::exportNext, Qt::QueuedConnection);
}

void MultiCameraExporter::handleCameraProgress()
{
    if (!m_running)
        return;
    if (m_current >= 0 && m_exporter->busy())
        m_cameras.setProgress(m_current, m_exporter->progress());
    // A view that cancels on a row's progress may have ended the export just now.
    if (!m_running)
        return;
    qreal sum = 0.0;
    int counted = 0;
    for (int i = 0; i < m_cameras.rowCount(); ++i) {
        if (m_cameras.row(i).state == ExportCameraModel::NoRecording)
            continue;
        sum += m_cameras.row(i).progress;
        ++counted;
    }
    if (counted > 0)
        setProgress(sum / counted);
}

void MultiCameraExporter::finishAll()
{
    QStringList failedCameras;
    QStringList failures;
    int written = 0;
    for (const Camera& camera : m_list) {
        if (!camera.path.isEmpty())
            ++written;
        else if (!camera.error.isEmpty()) {
            failedCameras << camera.name;
            failures << QStringLiteral("%1: %2").arg(camera.name, camera.error);
        }
    }
    if (written == 0) {
        abandon(QStringLiteral("No camera could be exported. %1").arg(failures.join(QStringLiteral("; "))),
                ExportCameraModel::Failed);
        return;
    }
    QString manifestError;
    if (!writeManifest(&manifestError)) {
        // Files that cannot be checked are not left behind.
        abandon(manifestError, ExportCameraModel::Failed);
        return;
    }
    const QString folder = m_folder;
    m_current = -1;
    setProgress(1.0);
    setLastError(failures.isEmpty() ? QString()
                                    : QStringLiteral("Not exported: %1").arg(failures.join(QStringLiteral("; "))));
    setLastFolder(folder);
    qCInfo(lcRecorded).noquote() << "Export written:" << folder << "with" << written << "file(s)"
                                 << (failedCameras.isEmpty() ? QString()
                                                             : QStringLiteral("; failed: ") + failedCameras.join(", "));
    setRunning(false);
    emit finished(folder, failedCameras);
}

bool MultiCameraExporter::writeManifest(QString* error) const
{
    ExportManifest manifest;
    manifest.station = m_exportStation;
    manifest.operatorName = m_exportOperator;
    manifest.server = m_exportServer;
    manifest.fromMs = m_startMs;
    manifest.toMs = m_endMs;
    manifest.created = QDateTime::currentDateTimeUtc();
    for (const Camera& camera : m_list) {
        QStringList chunks;
        for (const QString& url : camera.urls)
            chunks << ExportManifest::chunkIdOf(url);
        if (camera.path.isEmpty()) {
            manifest.missing << ExportManifest::Missing{camera.name, camera.streamId, camera.deviceId, chunks,
                                                        camera.urls.isEmpty() ? NoRecordingReason : camera.error};
            continue;
        }
        ExportManifest::File file;
        file.name = QFileInfo(camera.path).fileName();
        file.camera = camera.name;
        file.streamId = camera.streamId;
        file.deviceId = camera.deviceId;
        file.chunks = chunks;
        file.bytes = camera.bytes;
        file.sha256 = camera.sha256;
        manifest.files << file;
    }
    return manifest.write(QDir(m_folder).filePath(ManifestFileName), error);
}

void MultiCameraExporter::abandon(const QString& message, ExportCameraModel::State rowState)
{
    removeWritten();
    for (int i = 0; i < m_cameras.rowCount(); ++i) {
        const ExportCameraModel::State state = m_cameras.row(i).state;
        if (state == ExportCameraModel::Waiting || state == ExportCameraModel::Exporting ||
            state == ExportCameraModel::Done) {
            m_cameras.setFile(i, QString());
            m_cameras.setState(i, rowState, rowState == ExportCameraModel::Cancelled ? QString() : message);
        }
    }
    m_current = -1;
    m_cancelling = false;
    setLastError(message);
    qCWarning(lcRecorded).noquote() << "Export failed:" << message;
    setRunning(false);
    emit failed(message);
}

void MultiCameraExporter::removeWritten()
{
    for (Camera& camera : m_list) {
        if (!camera.path.isEmpty() && !QFile::remove(camera.path))
            qCWarning(lcRecorded).noquote() << "Could not remove" << camera.path;
        camera.path.clear();
    }
    // Only when empty: a file someone else put there meanwhile stays, with its folder.
    if (!m_folder.isEmpty() && !QDir().rmdir(m_folder))
        qCWarning(lcRecorded).noquote() << "Could not remove the folder" << m_folder;
    m_folder.clear();
}

void MultiCameraExporter::setProgress(qreal value)
{
    value = std::clamp(value, 0.0, 1.0);
    if (value <= m_progress)
        return;
    m_progress = value;
    emit progressChanged();
}

void MultiCameraExporter::setLastError(const QString& value)
{
    if (value == m_lastError)
        return;
    m_lastError = value;
    emit lastErrorChanged();
}

void MultiCameraExporter::setLastFolder(const QString& value)
{
    if (value == m_lastFolder)
        return;
    m_lastFolder = value;
    emit lastFolderChanged();
}

void MultiCameraExporter::setRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    emit busyChanged();
}
