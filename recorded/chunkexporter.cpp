// SPDX-License-Identifier: MIT
#include "chunkexporter.h"

#include <algorithm>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>

#include <system_error>

#include "exportmanifest.h"
#include "gatewayaddress.h"
#include "gatewayfetcher.h"
#include "mediajoiner.h"
#include "recordedlog.h"

namespace {

// Share of the progress given to fetching the chunks; joining, a local copy, takes the rest.
constexpr qreal DownloadShare = 0.8;
// A gateway that sends nothing for this long fails the export rather than hanging it forever.
constexpr int TransferTimeoutMs = 60000;
// The camera's part of a file name, in UTF-8 bytes: the whole name, with its times, a " (n)" and
// the joiner's ".part", stays well under the 255 bytes that file systems allow.
constexpr int MaxCameraNameBytes = 120;
// How many " (n)" names are tried before giving up.
constexpr int MaxNameAttempts = 1000;

const QString CancelledMessage = QStringLiteral("Export cancelled");

bool isSupportedScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("file");
}

// A chunk given as a URL, or as a local path (which has no scheme, or looks like one but exists).
QUrl chunkUrl(const QString& source)
{
    const QUrl url(source, QUrl::TolerantMode);
    if (url.scheme().isEmpty() || (!isSupportedScheme(url.scheme()) && QFileInfo::exists(source)))
        return QUrl::fromLocalFile(QFileInfo(source).absoluteFilePath());
    return url;
}

} // namespace

QString ChunkExporter::safeName(const QString& name)
{
    QString result = name.trimmed();
    while (result.toUtf8().size() > MaxCameraNameBytes) {
        result.chop(1);
        // Never half a surrogate pair.
        if (!result.isEmpty() && result.at(result.size() - 1).isHighSurrogate())
            result.chop(1);
    }
    static const QString unsafe = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : result) {
        // Besides the separators, the characters that FAT and NTFS refuse: exports go to USB sticks.
        const QChar::Category category = c.category();
        if (unsafe.contains(c) || category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = QLatin1Char('_');
    }
    // A leading dot hides the file, and "." or ".." are no names at all.
    for (int i = 0; i < result.size() && result.at(i) == QLatin1Char('.'); ++i)
        result[i] = QLatin1Char('_');
    result = result.trimmed();
    return result.isEmpty() ? QStringLiteral("camera") : result;
}

namespace {

// The first of "name.mp4", "name (2).mp4", "name (3).mp4"… that does not exist in folder.
QString freePath(const QString& folder, const QString& fileName)
{
    const QDir dir(folder);
    const QString base = QFileInfo(fileName).completeBaseName();
    const QString suffix = QFileInfo(fileName).suffix();
    for (int attempt = 1; attempt <= MaxNameAttempts; ++attempt) {
        const QString name = attempt == 1 ? fileName : QStringLiteral("%1 (%2).%3").arg(base).arg(attempt).arg(suffix);
        const QString path = dir.filePath(name);
        const QFileInfo info(path);
        const QFileInfo manifest(ExportManifest::pathFor(path));
        // The manifest goes beside it: neither may overwrite an earlier file.
        if (!info.exists() && !info.isSymLink() && !manifest.exists() && !manifest.isSymLink())
            return path;
    }
    return QString();
}

} // namespace

ChunkExporter::ChunkExporter(QObject* parent) : QObject(parent) {}

ChunkExporter::~ChunkExporter()
{
    if (m_phase != Phase::Idle)
        qCWarning(lcRecorded).noquote() << "Export failed: the exporter was destroyed while busy";
    // The joiner sees the flag between packets and removes its partial output. Events it posts
    // to this object meanwhile are dropped with the object.
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
    // No reply may call back into a half-destroyed object.
    dropReply();
}

bool ChunkExporter::busy() const
{
    return m_phase != Phase::Idle;
}

qreal ChunkExporter::progress() const
{
    return m_progress;
}

QString ChunkExporter::lastError() const
{
    return m_lastError;
}

QString ChunkExporter::lastPath() const
{
    return m_lastPath;
}

bool ChunkExporter::start(const QStringList& chunkUrls, const QString& folder, const QString& cameraName,
                          qlonglong startMs, qlonglong endMs)
{
    auto refuse = [this](const QString& message) {
        setLastError(message);
        qCWarning(lcRecorded).noquote() << "Export not started:" << message;
        return false;
    };
    if (busy())
        return refuse(QStringLiteral("An export is already running"));
    if (chunkUrls.isEmpty())
        return refuse(QStringLiteral("No chunks to export"));
    for (const QString& source : chunkUrls) {
        const QUrl url = chunkUrl(source);
        if (source.trimmed().isEmpty() || !url.isValid() || !isSupportedScheme(url.scheme()))
            return refuse(QStringLiteral("Cannot export the chunk \"%1\": not an http, https or file URL").arg(source));
    }

    const QString dir = folderPath(folder);
    if (!QDir().mkpath(dir))
        return refuse(QStringLiteral("Cannot create the folder %1").arg(dir));
    {
        // Permissions alone do not tell (a read-only mount, root): try.
        QTemporaryFile probe(dir + QStringLiteral("/.export-probe-XXXXXX"));
        if (!probe.open())
            return refuse(QStringLiteral("Cannot write to the folder %1: %2").arg(dir, probe.errorString()));
    }
    // Private to this process (mode 0700), like the Downloader's.
    auto tempDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/pelmar-export-XXXXXX"));
    if (!tempDir->isValid())
        return refuse(QStringLiteral("Cannot create a temporary folder: %1").arg(tempDir->errorString()));

    m_tempDir = std::move(tempDir);
    m_urls = chunkUrls;
    m_parts.clear();
    m_folder = dir;
    m_cameraName = cameraName;
    m_provenance = m_nextProvenance;
    m_fileName = m_nextFileName;
    m_writesManifest = m_nextWritesManifest;
    m_trimsToSpan = m_nextTrimsToSpan;
    m_lastHash = HashedFile();
    m_startMs = startMs;
    m_endMs = endMs;
    m_cancel = false;
    m_phase = Phase::Downloading;
    setLastError(QString());
    setLastPath(QString());
    if (m_progress != 0.0) {
        m_progress = 0.0;
        emit progressChanged();
    }
    qCInfo(lcRecorded).noquote() << "Export of" << m_urls.size() << "chunk(s) of" << cameraName << "into" << dir
                                 << "started";
    emit busyChanged();
    // Later, so that no failure is signalled before start() has returned.
    QMetaObject::invokeMethod(this, &ChunkExporter::fetchNext, Qt::QueuedConnection);
    return true;
}

void ChunkExporter::cancel()
{
    if (m_phase == Phase::Downloading)
        fail(CancelledMessage);
    else if (m_phase == Phase::Joining)
        m_cancel = true; // handleJoinFinished reports it once the joiner has cleaned up
}

QString ChunkExporter::defaultFolder()
{
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return movies.isEmpty() ? QDir::homePath() : movies;
}

QString ChunkExporter::folderPath(const QString& folder)
{
    // A folder dialog in QML gives a URL.
    QString dir = folder.trimmed();
    if (dir.startsWith(QLatin1String("file:")))
        dir = QUrl(dir).toLocalFile();
    if (dir.isEmpty())
        dir = defaultFolder();
    return QDir::cleanPath(QDir(dir).absolutePath());
}

QString ChunkExporter::fileNameFor(const QString& cameraName, qlonglong startMs, qlonglong endMs)
{
    return QStringLiteral("%1 %2.mp4").arg(safeName(cameraName), spanName(startMs, endMs));
}

QString ChunkExporter::spanName(qlonglong startMs, qlonglong endMs)
{
    // The C locale: digits and separators must not change with the user's language.
    const QLocale c = QLocale::c();
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(startMs, Qt::LocalTime);
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(endMs, Qt::LocalTime);
    const QString dateTime = QStringLiteral("yyyy-MM-dd HH.mm.ss");
    QString span = c.toString(start, dateTime);
    if (endMs > startMs)
        span += QLatin1Char('-') + c.toString(end, end.date() == start.date() ? QStringLiteral("HH.mm.ss") : dateTime);
    return span;
}

void ChunkExporter::fetchNext()
{
    // Also reached through a queued call, which may come after the export was cancelled.
    if (m_phase != Phase::Downloading || m_reply)
        return;
    const int index = m_parts.size();
    if (index == m_urls.size()) {
        startJoin();
        return;
    }
    const QString& source = m_urls.at(index);
    const QString partPath = m_tempDir->filePath(QStringLiteral("part-%1.mp4").arg(index + 1, 4, 10, QLatin1Char('0')));
    m_partFile = std::make_unique<QFile>(partPath);
    // Created at once, so that an empty chunk still gives a file (that the joiner refuses).
    if (!m_partFile->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        fail(QStringLiteral("Could not fetch %1: cannot create %2: %3")
                 .arg(source, partPath, m_partFile->errorString()));
        return;
    }

    if (!m_fetcher)
        m_fetcher = std::make_unique<GatewayFetcher>();
    m_reply = m_fetcher->get(chunkUrl(source), TransferTimeoutMs);
    connect(m_reply, &QNetworkReply::readyRead, this, &ChunkExporter::handleReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &ChunkExporter::handleReplyFinished);
}

void ChunkExporter::handleReadyRead()
{
    if (!m_reply || sender() != m_reply)
        return;
    const QByteArray bytes = m_reply->readAll();
    // An error page is not the chunk; handleReplyFinished reports it.
    if (GatewayFetcher::status(m_reply) >= 400)
        return;
    if (m_partFile->write(bytes) != bytes.size()) {
        fail(QStringLiteral("Could not fetch %1: cannot write %2: %3")
                 .arg(m_urls.at(m_parts.size()), m_partFile->fileName(), m_partFile->errorString()));
        return;
    }
    // Measured here: Qt emits downloadProgress at most every 100 ms, so a transfer that sends a
    // little and then stalls would show no progress at all.
    const qint64 total = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (total > 0) {
        const qreal share = std::clamp(qreal(m_partFile->pos()) / qreal(total), 0.0, 1.0);
        setProgress(DownloadShare * (m_parts.size() + share) / m_urls.size());
    }
}

void ChunkExporter::handleReplyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    const QString& source = m_urls.at(m_parts.size());

    const QString failure = GatewayFetcher::failure(reply);
    if (!failure.isEmpty()) {
        // Our own aborts disconnect first, so a cancelled transfer here is the transfer timeout.
        const bool stalled =
            GatewayFetcher::status(reply) < 400 && reply->error() == QNetworkReply::OperationCanceledError;
        fail(QStringLiteral("Could not fetch %1: %2")
                 .arg(source, stalled ? QStringLiteral("no data for %1 s").arg(TransferTimeoutMs / 1000) : failure));
        return;
    }
    const QByteArray rest = reply->readAll();
    if (m_partFile->write(rest) != rest.size() || !m_partFile->flush()) {
        fail(QStringLiteral("Could not fetch %1: cannot write %2: %3")
                 .arg(source, m_partFile->fileName(), m_partFile->errorString()));
        return;
    }
    m_partFile->close();
    m_parts << m_partFile->fileName();
    m_partFile.reset();
    setProgress(DownloadShare * m_parts.size() / m_urls.size());
    fetchNext();
}

void ChunkExporter::startJoin()
{
    m_phase = Phase::Joining;
    setProgress(DownloadShare);
    const QString fileName = m_fileName.isEmpty() ? fileNameFor(m_cameraName, m_startMs, m_endMs) : m_fileName;
    const QString target = freePath(m_folder, fileName);
    if (target.isEmpty()) {
        fail(QStringLiteral("No free file name like %1 in %2").arg(fileName, m_folder));
        return;
    }
    const QStringList inputs = m_parts;
    qint64 headMs = 0;
    qint64 tailMs = -1;
    qint64 chunkStart = 0;
    qint64 chunkEnd = 0;
    if (m_trimsToSpan && m_endMs > m_startMs) {
        if (GatewayAddress::chunkSpanOf(m_urls.first(), &chunkStart, &chunkEnd) && m_startMs > chunkStart)
            headMs = m_startMs - chunkStart;
        if (GatewayAddress::chunkSpanOf(m_urls.last(), &chunkStart, &chunkEnd) && m_endMs < chunkEnd &&
            m_endMs > chunkStart)
            tailMs = m_endMs - chunkStart;
    }
    try {
        m_worker = std::thread([this, inputs, target, headMs, tailMs] {
            MediaJoiner joiner;
            joiner.setCancelFlag(&m_cancel);
            joiner.setTrim(headMs, tailMs);
            joiner.setProgressCallback([this](double value) {
                QMetaObject::invokeMethod(
                    this, [this, value] { handleJoinProgress(value); }, Qt::QueuedConnection);
            });
            bool ok = joiner.join(inputs, target);
            QString error = joiner.errorString();
            // Hashed here, off the interface's thread: an export can be gigabytes.
            HashedFile hashed;
            if (ok) {
                hashed.sha256 = ExportManifest::sha256Of(target, &hashed.bytes, &error, &m_cancel);
                ok = !hashed.sha256.isEmpty();
                if (!ok)
                    QFile::remove(target);
            }
            QMetaObject::invokeMethod(
                this,
                [this, ok, target, error, cancelled = joiner.wasCancelled() || m_cancel, hashed] {
                    handleJoinFinished(ok, target, error, cancelled, hashed);
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error& error) {
        fail(QStringLiteral("Cannot start joining: %1").arg(QString::fromLocal8Bit(error.what())));
    }
}

void ChunkExporter::handleJoinProgress(double value)
{
    if (m_phase == Phase::Joining)
        setProgress(DownloadShare + (1.0 - DownloadShare) * value);
}

void ChunkExporter::handleJoinFinished(bool ok, const QString& target, const QString& error, bool cancelled,
                                       const HashedFile& hashed)
{
    if (m_worker.joinable())
        m_worker.join();
    if (ok && cancelled)
        QFile::remove(target);
    if (ok && !cancelled) {
        QString manifestError;
        if (!m_writesManifest || writeManifest(target, hashed, &manifestError)) {
            m_lastHash = hashed;
            succeed(target);
            return;
        }
        // An export without its manifest cannot be checked: nothing is left of it.
        QFile::remove(target);
        fail(manifestError);
        return;
    }
    if (cancelled) {
        fail(CancelledMessage);
        return;
    }
    // The operator knows the chunks by their URLs, not by our temporary copies.
    QString message = error;
    for (int i = 0; i < m_parts.size(); ++i)
        message.replace(m_parts.at(i), m_urls.at(i));
    fail(message);
}

bool ChunkExporter::writeManifest(const QString& target, const HashedFile& hashed, QString* error) const
{
    ExportManifest manifest;
    manifest.station = m_provenance.station;
    manifest.operatorName = m_provenance.operatorName;
    manifest.server = m_provenance.server;
    manifest.fromMs = m_startMs;
    manifest.toMs = m_endMs;
    manifest.created = QDateTime::currentDateTimeUtc();
    ExportManifest::File file;
    file.name = QFileInfo(target).fileName();
    file.camera = m_cameraName;
    file.streamId = m_provenance.streamId;
    file.deviceId = m_provenance.deviceId;
    for (const QString& url : m_urls)
        file.chunks << ExportManifest::chunkIdOf(url);
    file.bytes = hashed.bytes;
    file.sha256 = hashed.sha256;
    manifest.files << file;
    return manifest.write(ExportManifest::pathFor(target), error);
}

void ChunkExporter::setProgress(qreal value)
{
    // Rises only: a chunk's size may be unknown until it has arrived.
    value = std::clamp(value, 0.0, 1.0);
    if (value <= m_progress)
        return;
    m_progress = value;
    emit progressChanged();
}

void ChunkExporter::setLastError(const QString& value)
{
    if (value == m_lastError)
        return;
    m_lastError = value;
    emit lastErrorChanged();
}

void ChunkExporter::setLastPath(const QString& value)
{
    if (value == m_lastPath)
        return;
    m_lastPath = value;
    emit lastPathChanged();
}

void ChunkExporter::succeed(const QString& path)
{
    cleanUp();
    setProgress(1.0);
    setLastPath(path);
    qCInfo(lcRecorded).noquote() << "Export written:" << path;
    emit busyChanged();
    emit finished(path);
}

void ChunkExporter::fail(const QString& message)
{
    cleanUp();
    setLastError(message);
    qCWarning(lcRecorded).noquote() << "Export failed:" << message;
    emit busyChanged();
    emit failed(message);
}

void ChunkExporter::cleanUp()
{
    dropReply();
    // The temporary folder must outlive the joiner, which reads from it.
    if (m_worker.joinable()) {
        m_cancel = true;
        m_worker.join();
    }
    m_partFile.reset();
    m_tempDir.reset();
    m_urls.clear();
    m_parts.clear();
    m_phase = Phase::Idle;
}

void ChunkExporter::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}
