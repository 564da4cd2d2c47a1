// SPDX-License-Identifier: MIT
#include "recordedsession.h"

#include <algorithm>
#include <cmath>

#include <QDateTime>
#include <QDebug>
#include <QNetworkReply>
#include <QSysInfo>
#include <QUrl>

#include "gatewayaddress.h"
#include "gatewayfetcher.h"
#include "playbacktime.h"
#include "recordedlog.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

namespace {

// Stores a new value; false when it is the value already held.
template <typename T>
bool assign(T& member, const T& value)
{
    if (member == value)
        return false;
    member = value;
    return true;
}

// Undefined and null from QML both mean "none".
bool isGiven(const QVariant& value)
{
    return value.isValid() && value.userType() != QMetaType::Nullptr;
}

QString textOf(const QVariant& value)
{
    return isGiven(value) ? value.toString() : QString();
}

// A whole number of ms, without an exponent.
QString msText(qreal ms)
{
    return QString::number(ms, 'g', 17);
}

// A span of ms as the player's seconds.
QString secondsText(qreal ms)
{
    return QString::number(ms / 1000.0, 'g', 12);
}

// Sets a Downloader up for its next download; its transfer in progress, if any, is cancelled.
void prepareDownload(QObject* downloader, const QString& url, const QString& fileName)
{
    QMetaObject::invokeMethod(downloader, "cancel");
    downloader->setProperty("url", url);
    downloader->setProperty("fileName", fileName);
}

void startDownload(QObject* downloader)
{
    QMetaObject::invokeMethod(downloader, "download");
}

void cancelDownload(QObject* downloader)
{
    if (downloader)
        QMetaObject::invokeMethod(downloader, "cancel");
}

// Connects a signal of a Downloader by its signature; a missing one is reported.
void link(QObject* downloader, const char* signal, QObject* receiver, const char* method)
{
    if (!QObject::connect(downloader, signal, receiver, method))
        qCWarning(lcRecorded).noquote() << "The downloader" << downloader << "has no signal" << (signal + 1);
}

} // namespace

RecordedSession::RecordedSession(QObject* parent)
    : QObject(parent),
      m_gatewayPort(GatewayAddress::DefaultHttpPort),
      m_exportFolder(ChunkExporter::defaultFolder()),
      m_fetcher(new GatewayFetcher(this))
{
    m_dayStart = PlaybackTime::startOfDay(qreal(QDateTime::currentMSecsSinceEpoch()));
    m_dayEnd = PlaybackTime::endOfDay(m_dayStart);
    m_chunks.setSpans(&m_spans);
}

RecordedSession::~RecordedSession()
{
    abortPosRequest();
    abortDayPosRequest();
    GatewayFetcher::cancel(m_nextPosRequest);
}

// --- What the page hands in -----------------------------------------------------------------

void RecordedSession::setClient(VantorClient* client)
{
    if (client == m_client)
        return;
    if (m_client)
        disconnect(m_client, nullptr, this, nullptr);
    m_client = client;
    m_bookmarks.setClient(client);
    if (m_client) {
        connect(m_client, &VantorClient::streamChunksReceived, this, &RecordedSession::handleChunksReceived);
        connect(m_client, &VantorClient::streamInfoReceived, this, &RecordedSession::handleStreamInfo);
    }
    emit clientChanged();
}

void RecordedSession::setRepository(VantorObjectsRepository* repository)
{
    if (repository == m_repository)
        return;
    if (m_repository)
        disconnect(m_repository, nullptr, this, nullptr);
    m_repository = repository;
    if (m_repository)
        connect(m_repository, &VantorObjectsRepository::dataChanged, this, &RecordedSession::handleObjectsRebuilt);
    emit repositoryChanged();
    handleObjectsRebuilt();
}

void RecordedSession::setTimeline(TimelineBar* timeline)
{
    if (timeline == m_timeline)
        return;
    m_timeline = timeline;
    if (m_timeline) {
        m_timeline->setDayStart(qint64(m_dayStart));
        m_timeline->setDayEnd(qint64(m_dayEnd));
    }
    emit timelineChanged();
}

void RecordedSession::setDownloader(QObject* downloader)
{
    if (downloader == m_downloader)
        return;
    if (m_downloader)
        disconnect(m_downloader, nullptr, this, nullptr);
    m_downloader = downloader;
    if (m_downloader) {
        link(m_downloader, SIGNAL(finished()), this, SLOT(handleChunkFetched()));
        link(m_downloader, SIGNAL(failed(QString)), this, SLOT(handleChunkFetchFailed(QString)));
        link(m_downloader, SIGNAL(cancelled()), this, SLOT(handleChunkFetchCancelled()));
        link(m_downloader, SIGNAL(progress(qint64, qint64)), this, SLOT(handleChunkProgress(qint64, qint64)));
    }
    emit downloaderChanged();
}

void RecordedSession::setPrefetcher(QObject* prefetcher)
{
    if (prefetcher == m_prefetcher)
        return;
    if (m_prefetcher)
        disconnect(m_prefetcher, nullptr, this, nullptr);
    m_prefetcher = prefetcher;
    if (m_prefetcher) {
        link(m_prefetcher, SIGNAL(finished()), this, SLOT(handleNextFetched()));
        link(m_prefetcher, SIGNAL(failed(QString)), this, SLOT(handleNextFetchFailed(QString)));
    }
    emit prefetcherChanged();
}

void RecordedSession::setPlayerPath(const QString& path)
{
    if (!assign(m_playerPath, path))
        return;
    if (m_nextQueued && m_prefetcher && !path.isEmpty() && path == m_prefetcher->property("filePath").toString())
        adoptQueued();
    emit playerChanged();
    updatePosition();
}

void RecordedSession::setPlayerPosition(qreal seconds)
{
    if (!assign(m_playerPosition, seconds))
        return;
    emit playerChanged();
    updatePosition();
}

void RecordedSession::setPlayerDuration(qreal seconds)
{
    if (!assign(m_playerDuration, seconds))
        return;
    emit playerChanged();
    updatePosition();
}

void RecordedSession::setGatewayPort(int port)
{
    if (assign(m_gatewayPort, port))
        emit settingsChanged();
}

void RecordedSession::setChunkSearchMarginMs(int ms)
{
    if (assign(m_chunkSearchMarginMs, ms))
        emit settingsChanged();
}

void RecordedSession::setPosQueryTimeoutMs(int ms)
{
    if (assign(m_posQueryTimeoutMs, ms))
        emit settingsChanged();
}

void RecordedSession::setSearchLimit(int limit)
{
    if (assign(m_searchLimit, limit))
        emit settingsChanged();
}

void RecordedSession::setSearchLeadMs(int ms)
{
    if (assign(m_searchLeadMs, ms))
        emit settingsChanged();
}

QVariantList RecordedSession::speeds() const
{
    return PlaybackTime::speedsToVariant(m_speeds);
}

void RecordedSession::setSpeeds(const QVariantList& speeds)
{
    const QList<qreal> values = PlaybackTime::parseSpeeds(speeds);
    if (values.isEmpty()) {
        qCWarning(lcRecorded) << "No usable player speeds in" << speeds << "- keeping" << m_speeds;
        return;
    }
    if (values == m_speeds)
        return;
    m_speeds = values;
    emit settingsChanged();
}

// --- State ------------------------------------------------------------------------------------

void RecordedSession::setDevId(const QString& id)
{
    if (assign(m_devId, id))
        emit streamChanged();
}

void RecordedSession::setStrmId(const QString& id)
{
    if (!assign(m_strmId, id))
        return;
    emit streamChanged();
    updateCameraName();
}

void RecordedSession::setStreamHost(const QString& host)
{
    if (assign(m_streamHost, host))
        emit streamHostChanged();
}

void RecordedSession::setDayStart(qreal ms)
{
    const qreal end = PlaybackTime::endOfDay(ms);
    if (ms == m_dayStart && end == m_dayEnd)
        return;
    m_dayStart = ms;
    m_dayEnd = end;
    emit dayChanged();
}

void RecordedSession::setStartTime(const QString& ms)
{
    if (!assign(m_startTime, ms))
        return;
    emit chunkChanged();
    updatePosition();
}

void RecordedSession::setEndTime(const QString& ms)
{
    if (assign(m_endTime, ms))
        emit chunkChanged();
}

void RecordedSession::setPendingSeekMs(qreal ms)
{
    if (assign(m_pendingSeekMs, ms))
        emit chunkChanged();
}

void RecordedSession::setPlayingFile(const QString& file)
{
    if (!assign(m_playingFile, file))
        return;
    emit playingFileChanged();
    updatePosition();
}

void RecordedSession::setDownloadState(bool downloading, qreal received, qreal total)
{
    if (downloading == m_downloading && received == m_downloadReceived && total == m_downloadTotal)
        return;
    m_downloading = downloading;
    m_downloadReceived = received;
    m_downloadTotal = total;
    emit downloadChanged();
}

void RecordedSession::setDownloadError(const QString& error)
{
    if (assign(m_downloadError, error))
        emit downloadChanged();
}

void RecordedSession::setPlayFailed(bool failed)
{
    if (assign(m_playFailed, failed))
        emit downloadChanged();
}

void RecordedSession::setNext(const QString& start, const QString& end, bool ready)
{
    if (start == m_nextStart && end == m_nextEnd && ready == m_nextReady)
        return;
    m_nextStart = start;
    m_nextEnd = end;
    m_nextReady = ready;
    emit nextChanged();
}

void RecordedSession::setMarkA(qreal ms)
{
    if (assign(m_markA, ms))
        emit marksChanged();
}

void RecordedSession::setMarkB(qreal ms)
{
    if (assign(m_markB, ms))
        emit marksChanged();
}

void RecordedSession::setSearchText(const QString& text)
{
    if (!assign(m_searchText, text))
        return;
    emit searchChanged();
    search(m_searchText);
}

void RecordedSession::setSearchResults(const QVariantList& results)
{
    // Every search gives a new list: the view starts over with it.
    m_searchResults = results;
    emit searchChanged();
}

void RecordedSession::setMarkedLine(const QString& line)
{
    if (assign(m_markedLine, line))
        emit markedLineChanged();
}

void RecordedSession::setSpeed(qreal speed)
{
    if (assign(m_speed, speed))
        emit speedChanged();
}

void RecordedSession::setFileStem(const QString& stem)
{
    // Only what is safe in a file name, so that a stream id cannot reach another folder.
    QString safe;
    for (const QChar c : stem)
        safe += c.isLetterOrNumber() || c == QLatin1Char('-') ? c : QLatin1Char('_');
    if (safe.isEmpty() || !assign(m_fileStem, safe))
        return;
    emit settingsChanged();
}

void RecordedSession::setExportFolder(const QString& folder)
{
    if (assign(m_exportFolder, folder))
        emit exportFolderChanged();
}

void RecordedSession::handleObjectsRebuilt()
{
    ++m_objectsGeneration;
    emit objectsGenerationChanged();
    updateCameraName();
}

void RecordedSession::updateCameraName()
{
    const VantorObject* stream = objectOf(m_strmId);
    if (assign(m_cameraName, stream ? stream->name() : QString()))
        emit cameraNameChanged();
}

VantorObject* RecordedSession::objectOf(const QString& id) const
{
    if (id.isEmpty() || !m_repository)
        return nullptr;
    return m_repository->objectById(id);
}

// --- Stream and day ---------------------------------------------------------------------------

void RecordedSession::chooseStream(const QVariant& deviceId, const QVariant& objectId)
{
    qDebug().noquote() << "Clicked: dev(" << textOf(deviceId) << ") strmId(" << textOf(objectId) << ")";
    setDevId(textOf(deviceId));
    setStrmId(textOf(objectId));
    m_failedPrefetch.clear();
    m_chunks.clear();
    abortDayPosRequest();
    m_dayPos.clear();
    setStreamHost(QString());
    setSearchResults({});
    clearMarks();
    if (m_strmId.isEmpty()) {
        qCWarning(lcRecorded) << "No stream behind this cell";
        return;
    }
    searchDay();
    // The day's POS text comes from the stream's gateway, which the server names.
    m_dayInfoPending = true;
    if (m_client)
        m_client->getStreamGatewayInfo(m_devId, m_strmId);
}

void RecordedSession::searchDay()
{
    // The chosen day's chunks, not those from the beginning of time, which for a stream of months
    // of short chunks would be hundreds of thousands.
    if (m_strmId.isEmpty() || !m_client)
        return;
    m_client->searchChunks(m_strmId, VantorClient::START, qlonglong(m_dayStart) - m_chunkSearchMarginMs,
                           qlonglong(m_dayEnd) - 1);
    // Bookmarks other stations made since the last look come with the day.
    m_bookmarks.fetch({m_strmId});
}

void RecordedSession::showDay(qreal ms)
{
    if (m_followsClock) {
        emit clockDayRequested(ms);
        return;
    }
    loadDay(ms);
}

void RecordedSession::loadDay(qreal ms)
{
    setDayStart(PlaybackTime::startOfDay(ms));
    if (m_timeline) {
        m_timeline->setDayStart(qint64(m_dayStart));
        m_timeline->setDayEnd(qint64(m_dayEnd));
        m_timeline->showWholeDay();
    }
    if (m_strmId.isEmpty())
        return;
    m_chunks.clear();
    searchDay();
    if (!m_streamHost.isEmpty())
        queryDayPos(m_streamHost);
}

void RecordedSession::handleChunksReceived(const QVariantList& chunks)
{
    showChunks(chunks);
}

void RecordedSession::showChunks(const QVariantList& chunks)
{
    // A late answer for the stream chosen before must not fill this stream's list.
    for (const QVariant& entry : chunks) {
        const QVariant stream = entry.toMap().value(QStringLiteral("streamId"));
        if (isGiven(stream) && stream.toString() != m_strmId) {
            qCDebug(lcRecorded).noquote()
                << "Dropped the chunks of stream" << stream.toString() << "while" << m_strmId << "is chosen";
            return;
        }
    }
    m_chunks.setStreamId(m_strmId);
    m_spans.setChunks(chunks);
    followPlayingChunk();
}

// --- The chosen chunk -------------------------------------------------------------------------

void RecordedSession::chooseChunk(const QVariant& start, const QVariant& end, const QVariant& seekMs)
{
    if (m_followsClock) {
        if (isGiven(seekMs) && seekMs.toDouble() >= 0)
            emit clockSeekRequested(seekMs.toDouble());
        else if (isGiven(start))
            emit clockSeekRequested(start.toDouble());
        return;
    }
    loadChunk(start, end, seekMs);
}

void RecordedSession::loadChunk(const QVariant& start, const QVariant& end, const QVariant& seekMs)
{
    if (m_strmId.isEmpty())
        return;
    setNoRecording(false);
    setStartTime(textOf(start));
    setEndTime(textOf(end));
    setPendingSeekMs(isGiven(seekMs) ? seekMs.toDouble() : -1);
    setDownloadError(QString());
    setPlayFailed(false);
    // The previous chunk's lines and transfer belong to the previous chunk.
    ++m_chunkRequest;
    abortPosRequest();
    m_chunkPos.clear();
    emit posLinesUpdated({});
    cancelDownload(m_downloader);
    forgetNext();
    // What the player still shows belongs to the chunk before: no position, no seek into it.
    m_fileLoaded = false;
    updatePosition();
    m_streamInfoPending = true;
    if (m_client)
        m_client->getStreamGatewayInfo(m_devId, m_strmId);
    followPlayingChunk();
}

QString RecordedSession::gatewayHost(const QString& deviceId, const QVariant& serverAddress) const
{
    return GatewayAddress::httpHost(objectOf(deviceId), textOf(serverAddress));
}

QString RecordedSession::posQueryUrl(const QString& host) const
{
    return GatewayAddress::posQueryUrl(host, m_gatewayPort, m_strmId, m_startTime, m_endTime);
}

QString RecordedSession::mediaUrl(const QString& host) const
{
    return GatewayAddress::mediaUrl(host, m_gatewayPort, m_strmId, m_startTime, m_endTime);
}

void RecordedSession::handleStreamInfo(const QString& deviceId, const QString& streamId, const QString&,
                                       const QString& addr)
{
    // Every session of the page hears every answer: only this stream's is this session's.
    if (!streamId.isEmpty() && streamId != m_strmId)
        return;
    const QString host = gatewayHost(deviceId, addr);
    if (m_dayInfoPending) {
        m_dayInfoPending = false;
        setStreamHost(host);
        queryDayPos(host);
    }
    // One answer per chunk choice; a repeated or unasked one starts nothing.
    if (!m_streamInfoPending)
        return;
    m_streamInfoPending = false;
    setStreamHost(host);
    qDebug().noquote() << "Gateway addr:" << host;
    queryPos(host);
}

void RecordedSession::queryPos(const QString& host)
{
    const QString url = posQueryUrl(host);
    qDebug().noquote() << "Querying URL:" << url;
    const int ticket = m_chunkRequest;
    abortPosRequest();
    m_posRequest = m_fetcher->fetch(
        QUrl(url), m_posQueryTimeoutMs, this, [this, ticket, host](const GatewayFetcher::Answer& answer) {
            if (ticket != m_chunkRequest)
                return;
            m_posRequest.clear();
            // The chunk plays in any case, without POS lines when they did not come.
            if (answer.timedOut)
                qCWarning(lcRecorded).noquote() << "POS query failed: no answer in" << m_posQueryTimeoutMs
                                                << "ms - the chunk plays without POS lines";
            else if (answer.status == 0)
                qCWarning(lcRecorded).noquote()
                    << "POS query failed: no answer from" << host << "- the chunk plays without POS lines";
            else if (answer.status != 200)
                qCWarning(lcRecorded).noquote()
                    << "POS query failed:" << answer.error << "- the chunk plays without POS lines";
            fetchChunk(host, QString::fromUtf8(answer.body));
        });
}

void RecordedSession::abortPosRequest()
{
    GatewayFetcher::cancel(m_posRequest);
    m_posRequest.clear();
}

void RecordedSession::fetchChunk(const QString& host, const QString& posText)
{
    qDebug().noquote() << "Parsing POS text";
    parsePOS(posText);
    const QString url = mediaUrl(host);
    qDebug().noquote() << "Fetching:" << url;
    if (!m_downloader) {
        qCWarning(lcRecorded) << "No downloader for" << url;
        return;
    }
    // The cancel of the previous transfer reports before the new one starts.
    prepareDownload(m_downloader, url, freeFileName());
    setDownloadState(true, 0, -1);
    startDownload(m_downloader);
}

bool RecordedSession::parsePOS(const QVariant& jsonText)
{
    const bool ok = m_chunkPos.load(textOf(jsonText));
    qDebug().noquote() << "POS size:" << m_chunkPos.count();
    updatePosLines();
    return ok;
}

void RecordedSession::updatePosLines()
{
    emit posLinesUpdated(m_positionMs >= 0 ? m_chunkPos.linesAt(qint64(m_positionMs)) : QStringList());
}

QString RecordedSession::freeFileName() const
{
    // Two files in turn: the next chunk is fetched into the one the player does not have. A
    // third because a chunk queued in the player may be opened by it ahead of time, and a player
    // asked for that name again plays what it opened: the last queued file is not written again
    // until another has been queued.
    const auto inUse = [this](const QString& name) {
        const QString tail = QLatin1Char('/') + name;
        for (const QString& path : {m_playingFile, m_playerPath, m_lastQueuedFile})
            if (path == name || path.endsWith(tail))
                return true;
        return false;
    };
    for (const QLatin1String suffix : {QLatin1String("-a"), QLatin1String("-b"), QLatin1String("-c")}) {
        const QString name = m_fileStem + suffix;
        if (!inUse(name))
            return name;
    }
    return m_fileStem + QLatin1String("-a");
}

void RecordedSession::play(const QString& file)
{
    // Whatever it plays now, the player must not go on into a chunk queued before; the queued
    // chunk itself is taken as it is (a tile that opened it ahead shows it at once).
    if (m_nextQueued && !file.isEmpty() && file == m_lastQueuedFile)
        m_nextQueued = false;
    else
        dropQueued();
    m_fileLoaded = false;
    emit playRequested(file);
    setPlayingFile(file);
}

void RecordedSession::handleChunkFetched()
{
    const QString file = m_downloader ? m_downloader->property("filePath").toString() : QString();
    setDownloadState(false, m_downloadReceived, m_downloadTotal);
    qDebug().noquote() << "Playing:" << file;
    play(file);
}

void RecordedSession::handleChunkFetchFailed(const QString& message)
{
    setDownloadState(false, m_downloadReceived, m_downloadTotal);
    setDownloadError(message);
    qCWarning(lcRecorded).noquote() << "Could not fetch the chunk:" << message;
    // The previous chunk must not go on playing as if it were this one.
    play(QString());
    emit playerCommand({QStringLiteral("stop")});
}

void RecordedSession::handleChunkFetchCancelled()
{
    setDownloadState(false, m_downloadReceived, m_downloadTotal);
}

void RecordedSession::handleChunkProgress(qint64 received, qint64 total)
{
    setDownloadState(m_downloading, qreal(received), qreal(total));
}

void RecordedSession::updatePosition()
{
    const bool playing = m_fileLoaded && !m_startTime.isEmpty() && !m_playingFile.isEmpty() &&
                         m_playerPath == m_playingFile && m_playerDuration > 0;
    const qreal position = playing ? startMs() + std::round(m_playerPosition * 1000) : -1;
    if (position == m_positionMs)
        return;
    m_positionMs = position;
    emit positionMsChanged();
    updatePosLines();
    if (m_positionMs >= 0 && m_timeline &&
        (m_positionMs < m_timeline->viewStart() || m_positionMs >= m_timeline->viewEnd()))
        followPlayingChunk();
}

void RecordedSession::followPlayingChunk()
{
    // The chunk list and the time bar show the playing chunk.
    if (m_startTime.isEmpty())
        return;
    const int index = m_spans.indexAt(qint64(startMs()));
    if (index >= 0)
        emit playingChunkShown(index);
    if (!m_timeline)
        return;
    const qreal moment = m_positionMs >= 0 ? m_positionMs : startMs();
    const qint64 viewStart = m_timeline->viewStart();
    const qint64 viewEnd = m_timeline->viewEnd();
    if (moment >= viewStart && moment < viewEnd)
        return;
    const qreal halfWidth = qreal(viewEnd - viewStart) / 2;
    m_timeline->setViewStart(std::llround(moment - halfWidth));
    m_timeline->setViewEnd(std::llround(moment + halfWidth));
}

void RecordedSession::handleFileLoaded()
{
    m_fileLoaded = true;
    setPlayFailed(false);
    const qreal seek = m_pendingSeekMs;
    setPendingSeekMs(-1);
    if (m_followsClock) {
        // The clock has moved on while the file loaded: where the player goes is decided now.
        updatePosition();
        updatePosLines();
        prefetchNext();
        emit loadedInStep();
        return;
    }
    if (seek > startMs())
        emit playerCommand({QStringLiteral("seek"), secondsText(seek - startMs()), QStringLiteral("absolute"),
                            QStringLiteral("exact")});
    updatePosition();
    updatePosLines();
    prefetchNext();
}

void RecordedSession::handleFileEnded(const QString& reason)
{
    if (reason == QLatin1String("error") && !m_playingFile.isEmpty()) {
        qCWarning(lcRecorded).noquote() << "The chunk could not be played:" << m_playingFile;
        setPlayFailed(true);
    } else if (reason == QLatin1String("eof") && !m_followsClock) {
        // In step, the clock says when the next chunk plays: after a gap, not at once.
        advance();
    }
}

// --- Moving through the day -------------------------------------------------------------------

void RecordedSession::seekTo(qreal ms)
{
    if (m_followsClock) {
        emit clockSeekRequested(ms);
        return;
    }
    seekNow(ms);
}

void RecordedSession::seekNow(qreal ms)
{
    const qint64 at = qint64(std::floor(ms));
    const int index = m_spans.indexAt(at);
    const int chosen = index >= 0 ? index : m_spans.nextIndex(at);
    if (chosen < 0) {
        qCDebug(lcRecorded).noquote() << "Nothing recorded at or after"
                                      << QDateTime::fromMSecsSinceEpoch(at).toString(Qt::ISODateWithMs);
        return;
    }
    const ChunkSpans::Chunk chunk = m_spans.chunks()[std::size_t(chosen)];
    const qreal target = index >= 0 ? ms : qreal(chunk.start);
    if (QString::number(chunk.start) == m_startTime && QString::number(chunk.end) == m_endTime &&
        !m_playingFile.isEmpty() && !m_downloading && m_fileLoaded && m_playerDuration > 0) {
        emit playerCommand({QStringLiteral("seek"), secondsText(target - qreal(chunk.start)),
                            QStringLiteral("absolute"), QStringLiteral("exact")});
        return;
    }
    loadChunk(chunk.start, chunk.end, target);
}

void RecordedSession::step(qreal deltaMs)
{
    if (m_positionMs < 0)
        return;
    const qreal target = m_positionMs + deltaMs;
    if (target >= startMs() && target < endMs())
        emit playerCommand(
            {QStringLiteral("seek"), secondsText(deltaMs), QStringLiteral("relative"), QStringLiteral("exact")});
    else
        seekNow(std::max(m_dayStart, target));
}

void RecordedSession::frameStep(bool forward)
{
    emit playerCommand({forward ? QStringLiteral("frame-step") : QStringLiteral("frame-back-step")});
}

int RecordedSession::speedIndex() const
{
    return PlaybackTime::nearestSpeedIndex(m_speeds, m_speed);
}

void RecordedSession::changeSpeed(int direction)
{
    setSpeed(m_speeds.at(std::clamp(speedIndex() + direction, 0, int(m_speeds.size()) - 1)));
}

void RecordedSession::prefetchNext()
{
    forgetNext();
    if (m_startTime.isEmpty())
        return;
    prefetchChunk(m_spans.nextIndex(qint64(endMs())));
}

void RecordedSession::prefetchChunk(int index)
{
    if (index < 0 || index >= m_spans.count() || m_streamHost.isEmpty())
        return;
    const ChunkSpans::Chunk chunk = m_spans.chunks()[std::size_t(index)];
    const QString start = QString::number(chunk.start);
    const QString end = QString::number(chunk.end);
    setNext(start, end, false);
    const int ticket = m_chunkRequest;
    const QString host = m_streamHost;
    const QString url = GatewayAddress::posQueryUrl(host, m_gatewayPort, m_strmId, start, end);
    m_nextPosRequest = m_fetcher->fetch(
        QUrl(url), m_posQueryTimeoutMs, this, [this, ticket, host, start, end](const GatewayFetcher::Answer& answer) {
            m_nextPosRequest.clear();
            if (ticket != m_chunkRequest || m_nextStart != start)
                return;
            if (!answer.ok())
                qCWarning(lcRecorded).noquote()
                    << "POS query for the next chunk failed:"
                    << (answer.error.isEmpty() ? QStringLiteral("HTTP %1").arg(answer.status) : answer.error)
                    << "- it plays without POS lines";
            m_nextPosText = answer.ok() ? QString::fromUtf8(answer.body) : QString();
            if (!m_prefetcher)
                return;
            prepareDownload(m_prefetcher, GatewayAddress::mediaUrl(host, m_gatewayPort, m_strmId, start, end),
                            freeFileName());
            startDownload(m_prefetcher);
        });
}

void RecordedSession::forgetNext()
{
    dropQueued();
    GatewayFetcher::cancel(m_nextPosRequest);
    m_nextPosRequest.clear();
    cancelDownload(m_prefetcher);
    m_nextPosText.clear();
    m_advanceWhenReady = false;
    setNext(QString(), QString(), false);
}

void RecordedSession::handleNextFetched()
{
    setNext(m_nextStart, m_nextEnd, true);
    if (m_advanceWhenReady) {
        advance();
        return;
    }
    // In step the tile opens the next chunk ahead where it follows on at once, and shows it
    // when the clock gets there: no load then, no frozen picture at the boundary.
    if (m_followsClock && m_prefetcher && m_nextStart == m_endTime && !m_playingFile.isEmpty()) {
        m_nextQueued = true;
        m_lastQueuedFile = m_prefetcher->property("filePath").toString();
        emit appendRequested(m_lastQueuedFile);
    }
}

void RecordedSession::dropQueued()
{
    if (!m_nextQueued)
        return;
    m_nextQueued = false;
    emit queueDropped();
}

void RecordedSession::adoptQueued()
{
    m_nextQueued = false;
    const QString file = m_playerPath;
    qDebug().noquote() << "Playing on into:" << file;
    setStartTime(m_nextStart);
    setEndTime(m_nextEnd);
    setPendingSeekMs(-1);
    m_advanceWhenReady = false;
    const QString posText = m_nextPosText;
    setNext(QString(), m_nextEnd, false);
    ++m_chunkRequest;
    m_chunkPos.load(posText);
    m_fileLoaded = false;
    setPlayingFile(file);
    followPlayingChunk();
}

void RecordedSession::handleNextFetchFailed(const QString& message)
{
    qCWarning(lcRecorded).noquote() << "Could not fetch the next chunk:" << message;
    // Not asked again ahead of time; the chunk is fetched when it is to play, and says why not.
    m_failedPrefetch = m_nextStart;
    m_advanceWhenReady = false;
    setNext(QString(), m_nextEnd, false);
}

void RecordedSession::advance()
{
    if (!m_nextReady) {
        m_advanceWhenReady = !m_nextStart.isEmpty();
        return;
    }
    const QString file = m_prefetcher ? m_prefetcher->property("filePath").toString() : QString();
    const QString posText = m_nextPosText;
    setStartTime(m_nextStart);
    setEndTime(m_nextEnd);
    setPendingSeekMs(-1);
    m_advanceWhenReady = false;
    setNext(QString(), m_nextEnd, false);
    ++m_chunkRequest;
    m_chunkPos.load(posText);
    play(file);
    followPlayingChunk();
}

// --- The day's POS text and the search --------------------------------------------------------

void RecordedSession::queryDayPos(const QString& host)
{
    abortDayPosRequest();
    const QString url =
        GatewayAddress::posQueryUrl(host, m_gatewayPort, m_strmId, msText(m_dayStart), msText(m_dayEnd - 1));
    qCDebug(lcRecorded).noquote() << "Querying the day's POS text:" << url;
    const QString stream = m_strmId;
    const qreal day = m_dayStart;
    m_dayPosRequest =
        m_fetcher->fetch(QUrl(url), 0, this, [this, stream, day, host](const GatewayFetcher::Answer& answer) {
            m_dayPosRequest.clear();
            if (stream != m_strmId || day != m_dayStart)
                return;
            if (answer.status != 200) {
                qCWarning(lcRecorded).noquote() << "The day's POS query failed:"
                                                << (answer.status == 0 ? QStringLiteral("no answer from ") + host
                                                                       : QStringLiteral("HTTP %1").arg(answer.status));
                m_dayPos.clear();
            } else {
                m_dayPos.load(QString::fromUtf8(answer.body));
            }
            search(m_searchText);
        });
}

void RecordedSession::abortDayPosRequest()
{
    GatewayFetcher::cancel(m_dayPosRequest);
    m_dayPosRequest.clear();
}

void RecordedSession::search(const QString& text)
{
    setSearchResults(m_dayPos.search(text, m_searchLimit));
}

void RecordedSession::showResult(const QVariantMap& result)
{
    setMarkedLine(result.value(QStringLiteral("line")).toString());
    seekTo(std::max(m_dayStart, result.value(QStringLiteral("time")).toDouble() - m_searchLeadMs));
}

// --- Export -----------------------------------------------------------------------------------

void RecordedSession::setMark()
{
    if (m_positionMs < 0)
        return;
    if (m_markA < 0 || m_markB >= 0) {
        setMarkA(m_positionMs);
        setMarkB(-1);
    } else {
        setMarkB(m_positionMs);
    }
}

void RecordedSession::clearMarks()
{
    setMarkA(-1);
    setMarkB(-1);
}

RecordedSession::ExportStart RecordedSession::exportVideo()
{
    if (m_streamHost.isEmpty() && m_startTime.isEmpty())
        return NothingToExport;
    qreal from = startMs();
    qreal to = endMs();
    if (m_markA >= 0 && m_markB >= 0) {
        from = std::min(m_markA, m_markB);
        to = std::max(m_markA, m_markB);
    }
    const QStringList urls = m_markA >= 0 && m_markB >= 0 ? chunkUrlsBetween(from, to) : chunkUrlsBetween(0, 0);
    if (urls.isEmpty())
        return NothingBetweenMarks;
    ChunkExporter::Provenance provenance;
    provenance.station = QSysInfo::machineHostName();
    if (m_client) {
        provenance.operatorName = m_client->username();
        provenance.server = QStringLiteral("%1:%2").arg(m_client->host()).arg(m_client->port());
    }
    provenance.streamId = m_strmId;
    provenance.deviceId = m_devId;
    m_exporter.setProvenance(provenance);
    if (!m_exporter.start(urls, m_exportFolder, m_cameraName, qlonglong(from), qlonglong(to)))
        return ExportRefused;
    return ExportStarted;
}

QString RecordedSession::hostForExport() const
{
    return m_streamHost.isEmpty() ? GatewayAddress::defaultHost() : m_streamHost;
}

QStringList RecordedSession::chunkUrlsBetween(qreal fromMs, qreal toMs) const
{
    QStringList urls;
    const QString host = hostForExport();
    if (toMs <= fromMs) {
        if (!m_startTime.isEmpty())
            urls << mediaUrl(host);
        return urls;
    }
    int index = m_spans.indexAt(qint64(fromMs));
    if (index < 0)
        index = m_spans.nextIndex(qint64(fromMs));
    for (; index >= 0 && index < m_spans.count(); ++index) {
        const ChunkSpans::Chunk& chunk = m_spans.chunks()[std::size_t(index)];
        if (qreal(chunk.start) >= toMs)
            break;
        urls << GatewayAddress::mediaUrl(host, m_gatewayPort, m_strmId, QString::number(chunk.start),
                                         QString::number(chunk.end));
    }
    return urls;
}

// --- In step with other cameras ---------------------------------------------------------------

void RecordedSession::setFollowsClock(bool follows)
{
    if (!assign(m_followsClock, follows))
        return;
    if (!m_followsClock) {
        setNoRecording(false);
        // On its own it goes on at the end of a chunk as the single player does.
        dropQueued();
    }
    emit followsClockChanged();
}

void RecordedSession::setNoRecording(bool value)
{
    if (assign(m_noRecording, value))
        emit noRecordingChanged();
}

bool RecordedSession::isOnChunk(qint64 startMs, qint64 endMs) const
{
    return !m_startTime.isEmpty() && m_startTime == QString::number(startMs) && m_endTime == QString::number(endMs);
}

void RecordedSession::followClock(qreal ms, qreal seekMs)
{
    if (m_strmId.isEmpty())
        return;
    const qint64 at = qint64(std::floor(ms));
    const int index = m_spans.indexAt(at);
    if (index < 0) {
        enterGap(at);
        return;
    }
    setNoRecording(false);
    const ChunkSpans::Chunk chunk = m_spans.chunks()[std::size_t(index)];
    if (isOnChunk(chunk.start, chunk.end))
        return;
    const qreal target = std::max(qreal(chunk.start), seekMs >= 0 ? seekMs : ms);
    if (m_nextReady && m_nextStart == QString::number(chunk.start) && m_nextEnd == QString::number(chunk.end)) {
        advance();
        setPendingSeekMs(target);
        return;
    }
    loadChunk(chunk.start, chunk.end, target);
}

void RecordedSession::enterGap(qint64 at)
{
    const int next = m_spans.nextIndex(at);
    const QString nextStart = next >= 0 ? QString::number(m_spans.chunks()[std::size_t(next)].start) : QString();
    if (!m_noRecording) {
        setNoRecording(true);
        // Nothing of the chunk before may stay on the picture or over it.
        ++m_chunkRequest;
        abortPosRequest();
        m_streamInfoPending = false;
        cancelDownload(m_downloader);
        m_chunkPos.clear();
        emit posLinesUpdated({});
        setStartTime(QString());
        setEndTime(QString());
        setPendingSeekMs(-1);
        setDownloadError(QString());
        setPlayFailed(false);
        play(QString());
        emit playerCommand({QStringLiteral("stop")});
        // A fetch ahead still under way belonged to the chunk before; one that is done is kept.
        if (!m_nextReady)
            forgetNext();
    }
    if (nextStart.isEmpty() || m_nextStart == nextStart || nextStart == m_failedPrefetch)
        return;
    forgetNext();
    prefetchChunk(next);
}

void RecordedSession::seekPlayer(qreal ms, bool exact)
{
    // A player still loading refuses seeks; the chunk's own seek follows its load.
    if (m_startTime.isEmpty() || !m_fileLoaded) {
        if (!m_startTime.isEmpty())
            setPendingSeekMs(ms);
        return;
    }
    emit playerCommand({QStringLiteral("seek"), secondsText(std::max(0.0, ms - startMs())), QStringLiteral("absolute"),
                        exact ? QStringLiteral("exact") : QStringLiteral("keyframes")});
}

void RecordedSession::setPlayerPaused(bool paused)
{
    emit playerCommand(
        {QStringLiteral("set"), QStringLiteral("pause"), paused ? QStringLiteral("yes") : QStringLiteral("no")});
}

void RecordedSession::setPlayerSpeed(qreal speed)
{
    emit playerCommand({QStringLiteral("set"), QStringLiteral("speed"), QString::number(speed, 'f', 4)});
}

bool RecordedSession::addBookmark(const QString& title, const QString& note)
{
    qreal from = m_positionMs;
    qreal to = m_positionMs;
    if (m_markA >= 0 && m_markB >= 0) {
        from = std::min(m_markA, m_markB);
        to = std::max(m_markA, m_markB);
    }
    if (m_strmId.isEmpty() || from < 0)
        return false;
    m_bookmarks.setAuthor(m_client ? m_client->username() : QString());
    return m_bookmarks.add(m_strmId, qlonglong(from), qlonglong(to), title, note);
}

QVariantList RecordedSession::bookmarkSpans() const
{
    QVariantList spans;
    for (const Bookmark& bookmark : m_bookmarks.bookmarks())
        if (bookmark.streamId == m_strmId)
            spans.append(QVariant(QVariantList{qlonglong(bookmark.startMs), qlonglong(bookmark.endMs)}));
    return spans;
}

void RecordedSession::walkChunks() const
{
    for (int i = 0; i < m_chunks.count(); ++i) {
        const QVariantMap chunk = m_chunks.get(i);
        qCDebug(lcRecorded).noquote() << "Chunk" << i << ":" << chunk.value(QStringLiteral("start")).toString() << "-"
                                      << chunk.value(QStringLiteral("end")).toString();
    }
}
