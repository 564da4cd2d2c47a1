// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include "bookmarkstore.h"
#include "chunkexporter.h"
#include "chunklistmodel.h"
#include "chunkspans.h"
#include "postrack.h"
#include "timelinebar.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

class GatewayFetcher;
class QNetworkReply;

// What the recorded page does: a stream of the layout and a day of its chunks, the chunk that
// holds a chosen moment fetched from the stream's gateway with its POS text and played, the next
// chunk fetched ahead and played on, the day's POS text for the time bar and the search, export
// marks and the export itself.
//
// The page hands in the server client, the object repository, its time bar and two Downloaders
// (one for the chunk to play, one for the next chunk), and binds the player's path, position and
// duration. The session drives the Downloaders through their properties and slots by name and
// the player only through its signals (playRequested, playerCommand, posLinesUpdated), so that
// it needs neither the video library nor libmpv.
//
// Times are ms since the epoch; the chosen chunk's times are texts, as the page has them.
class RecordedSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(VantorClient* client READ client WRITE setClient NOTIFY clientChanged)
    Q_PROPERTY(VantorObjectsRepository* repository READ repository WRITE setRepository NOTIFY repositoryChanged)
    Q_PROPERTY(TimelineBar* timeline READ timeline WRITE setTimeline NOTIFY timelineChanged)
    Q_PROPERTY(QObject* downloader READ downloader WRITE setDownloader NOTIFY downloaderChanged)
    Q_PROPERTY(QObject* prefetcher READ prefetcher WRITE setPrefetcher NOTIFY prefetcherChanged)

    // The player's file, and its position and duration in seconds, as the page binds them.
    Q_PROPERTY(QString playerPath READ playerPath WRITE setPlayerPath NOTIFY playerChanged)
    Q_PROPERTY(qreal playerPosition READ playerPosition WRITE setPlayerPosition NOTIFY playerChanged)
    Q_PROPERTY(qreal playerDuration READ playerDuration WRITE setPlayerDuration NOTIFY playerChanged)

    // Settings: the gateways' HTTP port, how long before the day a chunk reaching into it may
    // start, how long the chunk's POS query may take, how many lines a search gives, how far
    // before a search result playing starts, and the player's speeds.
    Q_PROPERTY(int gatewayPort READ gatewayPort WRITE setGatewayPort NOTIFY settingsChanged)
    Q_PROPERTY(int chunkSearchMarginMs READ chunkSearchMarginMs WRITE setChunkSearchMarginMs NOTIFY settingsChanged)
    Q_PROPERTY(int posQueryTimeoutMs READ posQueryTimeoutMs WRITE setPosQueryTimeoutMs NOTIFY settingsChanged)
    Q_PROPERTY(int searchLimit READ searchLimit WRITE setSearchLimit NOTIFY settingsChanged)
    Q_PROPERTY(int searchLeadMs READ searchLeadMs WRITE setSearchLeadMs NOTIFY settingsChanged)
    Q_PROPERTY(QVariantList speeds READ speeds WRITE setSpeeds NOTIFY settingsChanged)

    // The chosen stream: the device (its gateway) and the stream object of the layout cell.
    Q_PROPERTY(QString devId READ devId WRITE setDevId NOTIFY streamChanged)
    Q_PROPERTY(QString strmId READ strmId WRITE setStrmId NOTIFY streamChanged)
    Q_PROPERTY(QString cameraName READ cameraName NOTIFY cameraNameChanged)
    // Bumped whenever the server's objects are rebuilt, so that bindings look their objects up again.
    Q_PROPERTY(int objectsGeneration READ objectsGeneration NOTIFY objectsGenerationChanged)
    // The chosen stream's gateway, once the server named it.
    Q_PROPERTY(QString streamHost READ streamHost WRITE setStreamHost NOTIFY streamHostChanged)
    // The chosen day, from its local midnight to the next one (23 or 25 hours when clocks change).
    Q_PROPERTY(qreal dayStart READ dayStart NOTIFY dayChanged)
    Q_PROPERTY(qreal dayEnd READ dayEnd NOTIFY dayChanged)

    // The chosen chunk, and where to go in it once it plays (-1: its start).
    Q_PROPERTY(QString startTime READ startTime WRITE setStartTime NOTIFY chunkChanged)
    Q_PROPERTY(QString endTime READ endTime WRITE setEndTime NOTIFY chunkChanged)
    Q_PROPERTY(qreal pendingSeekMs READ pendingSeekMs NOTIFY chunkChanged)
    // The file the player was given; the next download goes to the other one.
    Q_PROPERTY(QString playingFile READ playingFile NOTIFY playingFileChanged)
    // The moment the picture shows; -1 while nothing plays.
    Q_PROPERTY(qreal positionMs READ positionMs NOTIFY positionMsChanged)

    Q_PROPERTY(bool downloading READ downloading NOTIFY downloadChanged)
    Q_PROPERTY(qreal downloadReceived READ downloadReceived NOTIFY downloadChanged)
    // -1 while the size is not known.
    Q_PROPERTY(qreal downloadTotal READ downloadTotal NOTIFY downloadChanged)
    // Why the last chunk could not be fetched; empty otherwise.
    Q_PROPERTY(QString downloadError READ downloadError NOTIFY downloadChanged)
    // A fetched chunk would not play (damaged or not a video); cleared by the next chunk.
    Q_PROPERTY(bool playFailed READ playFailed NOTIFY downloadChanged)

    // The next chunk, fetched while this one plays, and whether it is there.
    Q_PROPERTY(QString nextStart READ nextStart NOTIFY nextChanged)
    Q_PROPERTY(QString nextEnd READ nextEnd NOTIFY nextChanged)
    Q_PROPERTY(bool nextReady READ nextReady NOTIFY nextChanged)

    // Export marks; -1: not set.
    Q_PROPERTY(qreal markA READ markA WRITE setMarkA NOTIFY marksChanged)
    Q_PROPERTY(qreal markB READ markB WRITE setMarkB NOTIFY marksChanged)
    // The POS search: what it looks for, what it found ({time, line, receipt}), the line looked at.
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchChanged)
    Q_PROPERTY(QVariantList searchResults READ searchResults NOTIFY searchChanged)
    Q_PROPERTY(QString markedLine READ markedLine WRITE setMarkedLine NOTIFY markedLineChanged)
    // The speed asked for; the player keeps it from chunk to chunk.
    Q_PROPERTY(qreal speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(QString exportFolder READ exportFolder WRITE setExportFolder NOTIFY exportFolderChanged)
    // The chunks go to the temporary files STEM-a and STEM-b: each session of a page needs its own.
    Q_PROPERTY(QString fileStem READ fileStem WRITE setFileStem NOTIFY settingsChanged)

    Q_PROPERTY(ChunkSpans* spans READ spans CONSTANT)
    Q_PROPERTY(ChunkListModel* chunks READ chunks CONSTANT)
    // The playing chunk's receipts, for the lines over the picture, and the whole day's, for the
    // marks on the time bar and the search.
    Q_PROPERTY(PosTrack* chunkPos READ chunkPos CONSTANT)
    Q_PROPERTY(PosTrack* dayPos READ dayPos CONSTANT)
    Q_PROPERTY(ChunkExporter* exporter READ exporter CONSTANT)
    // The chosen stream's bookmarks, read again with each day's chunks.
    Q_PROPERTY(BookmarkStore* bookmarks READ bookmarks CONSTANT)

    // Set while the session plays in step with other cameras (CameraSync): the moves an operator
    // asks of it (a moment, a chunk, a day) go to the shared clock, which moves every camera.
    Q_PROPERTY(bool followsClock READ followsClock WRITE setFollowsClock NOTIFY followsClockChanged)
    // In step, the shared clock is at a moment this stream has no recording of.
    Q_PROPERTY(bool noRecording READ noRecording NOTIFY noRecordingChanged)

public:
    // What exportVideo() did.
    enum ExportStart {
        ExportStarted,
        // No chunk chosen and no gateway known: nothing happened.
        NothingToExport,
        NothingBetweenMarks,
        // The exporter refused; its lastError says why.
        ExportRefused,
    };
    Q_ENUM(ExportStart)

    explicit RecordedSession(QObject* parent = nullptr);
    // Abandons the requests in flight.
    ~RecordedSession() override;

    VantorClient* client() const { return m_client; }
    void setClient(VantorClient* client);
    VantorObjectsRepository* repository() const { return m_repository; }
    void setRepository(VantorObjectsRepository* repository);
    TimelineBar* timeline() const { return m_timeline; }
    void setTimeline(TimelineBar* timeline);
    QObject* downloader() const { return m_downloader; }
    void setDownloader(QObject* downloader);
    QObject* prefetcher() const { return m_prefetcher; }
    void setPrefetcher(QObject* prefetcher);

    QString playerPath() const { return m_playerPath; }
    void setPlayerPath(const QString& path);
    qreal playerPosition() const { return m_playerPosition; }
    void setPlayerPosition(qreal seconds);
    qreal playerDuration() const { return m_playerDuration; }
    void setPlayerDuration(qreal seconds);

    int gatewayPort() const { return m_gatewayPort; }
    void setGatewayPort(int port);
    int chunkSearchMarginMs() const { return m_chunkSearchMarginMs; }
    void setChunkSearchMarginMs(int ms);
    int posQueryTimeoutMs() const { return m_posQueryTimeoutMs; }
    void setPosQueryTimeoutMs(int ms);
    int searchLimit() const { return m_searchLimit; }
    void setSearchLimit(int limit);
    int searchLeadMs() const { return m_searchLeadMs; }
    void setSearchLeadMs(int ms);
    QVariantList speeds() const;
    void setSpeeds(const QVariantList& speeds);

    QString devId() const { return m_devId; }
    void setDevId(const QString& id);
    QString strmId() const { return m_strmId; }
    void setStrmId(const QString& id);
    QString cameraName() const { return m_cameraName; }
    int objectsGeneration() const { return m_objectsGeneration; }
    QString streamHost() const { return m_streamHost; }
    void setStreamHost(const QString& host);
    qreal dayStart() const { return m_dayStart; }
    qreal dayEnd() const { return m_dayEnd; }

    QString startTime() const { return m_startTime; }
    void setStartTime(const QString& ms);
    QString endTime() const { return m_endTime; }
    void setEndTime(const QString& ms);
    qreal pendingSeekMs() const { return m_pendingSeekMs; }
    QString playingFile() const { return m_playingFile; }
    qreal positionMs() const { return m_positionMs; }

    bool downloading() const { return m_downloading; }
    qreal downloadReceived() const { return m_downloadReceived; }
    qreal downloadTotal() const { return m_downloadTotal; }
    QString downloadError() const { return m_downloadError; }
    bool playFailed() const { return m_playFailed; }

    QString nextStart() const { return m_nextStart; }
    QString nextEnd() const { return m_nextEnd; }
    bool nextReady() const { return m_nextReady; }

    qreal markA() const { return m_markA; }
    void setMarkA(qreal ms);
    qreal markB() const { return m_markB; }
    void setMarkB(qreal ms);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    QVariantList searchResults() const { return m_searchResults; }
    QString markedLine() const { return m_markedLine; }
    void setMarkedLine(const QString& line);
    qreal speed() const { return m_speed; }
    void setSpeed(qreal speed);
    QString exportFolder() const { return m_exportFolder; }
    QString fileStem() const { return m_fileStem; }
    void setFileStem(const QString& stem);
    void setExportFolder(const QString& folder);

    bool followsClock() const { return m_followsClock; }
    void setFollowsClock(bool follows);
    bool noRecording() const { return m_noRecording; }

    ChunkSpans* spans() { return &m_spans; }
    const ChunkSpans* spans() const { return &m_spans; }
    ChunkListModel* chunks() { return &m_chunks; }
    PosTrack* chunkPos() { return &m_chunkPos; }
    PosTrack* dayPos() { return &m_dayPos; }
    ChunkExporter* exporter() { return &m_exporter; }
    BookmarkStore* bookmarks() { return &m_bookmarks; }

    // The repository's object, or null for an empty or unknown id.
    Q_INVOKABLE VantorObject* objectOf(const QString& id) const;

    // A stream of the layout (ids as the cell gives them, undefined or null for none): its chunks
    // of the chosen day, and its gateway for the day's POS text.
    Q_INVOKABLE void chooseStream(const QVariant& deviceId, const QVariant& objectId);
    // Asks the server for the chosen stream's chunks of the chosen day.
    Q_INVOKABLE void searchDay();
    // The day that holds the moment, on the time bar as a whole, with its chunks and POS text.
    // Following the clock, the clock is asked to show it (clockDayRequested).
    Q_INVOKABLE void showDay(qreal ms);
    // Plays the chunk from seekMs, a moment inside it (undefined or -1: from its start).
    // Following the clock, the clock is asked to go there (clockSeekRequested).
    Q_INVOKABLE void chooseChunk(const QVariant& start, const QVariant& end, const QVariant& seekMs = QVariant());
    // What showDay() does when the session is on its own, whatever it follows.
    void loadDay(qreal ms);

    // The gateway's host: its own address setting, then the server's answer, then this machine.
    Q_INVOKABLE QString gatewayHost(const QString& deviceId, const QVariant& serverAddress) const;
    // The chosen chunk's requests to the gateway at host.
    Q_INVOKABLE QString posQueryUrl(const QString& host) const;
    Q_INVOKABLE QString mediaUrl(const QString& host) const;
    // The chosen chunk's POS text is there (or will not come): its lines, then its media.
    Q_INVOKABLE void fetchChunk(const QString& host, const QString& posText);
    // The chosen chunk's receipts; whatever is not a complete "/pos-data" answer leaves no lines,
    // so that the previous chunk's do not play over this one.
    Q_INVOKABLE bool parsePOS(const QVariant& jsonText);

    // Plays from a moment of the day: in the playing chunk a seek, else the chunk that holds it,
    // else the next recorded one from its start. Following the clock, the clock is asked to go there.
    Q_INVOKABLE void seekTo(qreal ms);

    // In step with the clock at ms: the chunk that holds it is loaded (at once when it was fetched
    // ahead) and played from ms; between recordings the player stops, noRecording is set and the
    // next recording is fetched ahead, so that it joins as soon as the clock reaches it. Does
    // nothing when the chunk holding ms is the one already chosen.
    // seekMs, where given, is where its player seeks to show the moment ms (a player shows the
    // first frame at or after the point it seeks to).
    void followClock(qreal ms, qreal seekMs = -1);
    // The chosen chunk's range is [startMs, endMs).
    bool isOnChunk(qint64 startMs, qint64 endMs) const;
    // Commands for the player, through playerCommand.
    void seekPlayer(qreal ms, bool exact);
    void setPlayerPaused(bool paused);
    void setPlayerSpeed(qreal speed);
    // The gateway media URLs of the chunks that reach into [fromMs, toMs); of the chosen chunk when
    // toMs is not after fromMs.
    QStringList chunkUrlsBetween(qreal fromMs, qreal toMs) const;
    // Within the chunk the player seeks itself; past its ends the neighbouring chunk plays.
    Q_INVOKABLE void step(qreal deltaMs);
    Q_INVOKABLE void frameStep(bool forward);
    // The index of the speed nearest to the one asked for.
    Q_INVOKABLE int speedIndex() const;
    Q_INVOKABLE void changeSpeed(int direction);

    // The chunk after the playing one, fetched ahead with its POS text so that it follows at once.
    Q_INVOKABLE void prefetchNext();
    // The next chunk takes over where the playing one ended; once it is there, if it is not yet.
    Q_INVOKABLE void advance();

    Q_INVOKABLE void queryDayPos(const QString& host);
    Q_INVOKABLE void search(const QString& text);
    // A search result ({time, line}) plays from a little before its moment, its line picked out.
    Q_INVOKABLE void showResult(const QVariantMap& result);
    // The first mark, then the second; a third starts over.
    Q_INVOKABLE void setMark();
    Q_INVOKABLE void clearMarks();
    // The playing chunk, or every chunk between the two marks, as one file.
    Q_INVOKABLE ExportStart exportVideo();
    // A bookmark of the chosen stream: the marked span, else the playing moment. False when
    // nothing plays or the texts cannot be stored; the store reports the server's answer.
    Q_INVOKABLE bool addBookmark(const QString& title, const QString& note);
    // The chosen stream's bookmarks as [start, end] pairs, for the time bar.
    Q_INVOKABLE QVariantList bookmarkSpans() const;
    // Logs the chunk list (the debug button's walk).
    Q_INVOKABLE void walkChunks() const;

    // The player's reports, wired by the page.
    Q_INVOKABLE void handleFileLoaded();
    Q_INVOKABLE void handleFileEnded(const QString& reason);

signals:
    void clientChanged();
    void repositoryChanged();
    void timelineChanged();
    void downloaderChanged();
    void prefetcherChanged();
    void playerChanged();
    void settingsChanged();
    void streamChanged();
    void cameraNameChanged();
    void objectsGenerationChanged();
    void streamHostChanged();
    void dayChanged();
    void chunkChanged();
    void playingFileChanged();
    void positionMsChanged();
    void downloadChanged();
    void nextChanged();
    void marksChanged();
    void searchChanged();
    void markedLineChanged();
    void speedChanged();
    void exportFolderChanged();

    // The chunk being played is at this index of the list: the list shows it.
    void playingChunkShown(int index);
    void followsClockChanged();
    void noRecordingChanged();
    // Following the clock: the operator asked for this moment or this day.
    void clockSeekRequested(qreal ms);
    void clockDayRequested(qreal ms);

    // The player is to play this file from its start, the same path again too; "" stops it.
    void playRequested(const QString& file);
    // A command for the player ("seek", "frame-step", "stop", ...).
    void playerCommand(const QVariantList& args);
    // In step: the next chunk, fetched, follows the playing one at once: the player may open it
    // ahead. playRequested asks for it once the clock reaches it (the player may also go on into
    // it at the playing one's end: a path change to it is taken as the move).
    void appendRequested(const QString& file);
    // The file queued last is not to be played after all (the chunk changed or a download goes
    // to its name).
    void queueDropped();
    // In step: the player has the chunk's file; the clock says where it goes.
    void loadedInStep();
    // The POS lines over the picture now, oldest first.
    void posLinesUpdated(const QStringList& lines);

private slots:
    void handleChunksReceived(const QVariantList& chunks);
    void handleStreamInfo(const QString& deviceId, const QString& streamId, const QString& token, const QString& addr);
    void handleObjectsRebuilt();

    void handleChunkFetched();
    void handleChunkFetchFailed(const QString& message);
    void handleChunkFetchCancelled();
    void handleChunkProgress(qint64 received, qint64 total);
    void handleNextFetched();
    void handleNextFetchFailed(const QString& message);

private:
    void showChunks(const QVariantList& chunks);
    void loadChunk(const QVariant& start, const QVariant& end, const QVariant& seekMs);
    void seekNow(qreal ms);
    // The chunk at this index of the day, fetched ahead with its POS text.
    void prefetchChunk(int index);
    // In step between recordings: nothing plays, the next recording is fetched ahead.
    void enterGap(qint64 at);
    void setNoRecording(bool value);
    QString hostForExport() const;
    void queryPos(const QString& host);
    void abortPosRequest();
    void abortDayPosRequest();
    void forgetNext();
    // The player went on by itself into the queued chunk: it is the playing one now.
    void adoptQueued();
    void dropQueued();
    void play(const QString& file);
    void updatePosLines();
    void followPlayingChunk();
    void updatePosition();
    void updateCameraName();
    void setDayStart(qreal ms);
    void setPendingSeekMs(qreal ms);
    void setPlayingFile(const QString& file);
    void setNext(const QString& start, const QString& end, bool ready);
    void setDownloadState(bool downloading, qreal received, qreal total);
    void setDownloadError(const QString& error);
    void setPlayFailed(bool failed);
    void setSearchResults(const QVariantList& results);
    // STEM-a or STEM-b: the one the player does not have.
    QString freeFileName() const;
    qreal startMs() const { return m_startTime.toDouble(); }
    qreal endMs() const { return m_endTime.toDouble(); }

    QPointer<VantorClient> m_client;
    QPointer<VantorObjectsRepository> m_repository;
    QPointer<TimelineBar> m_timeline;
    QPointer<QObject> m_downloader;
    QPointer<QObject> m_prefetcher;

    QString m_playerPath;
    qreal m_playerPosition = 0;
    qreal m_playerDuration = 0;

    int m_gatewayPort;
    int m_chunkSearchMarginMs = 0;
    int m_posQueryTimeoutMs = 0;
    int m_searchLimit = 1000;
    int m_searchLeadMs = 0;
    QList<qreal> m_speeds{1.0};

    QString m_devId;
    QString m_strmId;
    QString m_cameraName;
    int m_objectsGeneration = 0;
    QString m_streamHost;
    qreal m_dayStart = 0;
    qreal m_dayEnd = 0;
    // Answers to superseded requests must not start a download: each chunk choice counts up.
    int m_chunkRequest = 0;
    // One gateway answer is awaited for the chosen chunk, one for the day's POS text.
    bool m_streamInfoPending = false;
    bool m_dayInfoPending = false;

    QString m_startTime;
    QString m_endTime;
    qreal m_pendingSeekMs = -1;
    QString m_playingFile;
    // The player has announced the playing file loaded: until then its position and duration are
    // still the previous file's, and it takes no seek.
    bool m_fileLoaded = false;
    // The fetched next chunk is queued in the player (appendRequested).
    bool m_nextQueued = false;
    QString m_lastQueuedFile;
    qreal m_positionMs = -1;

    bool m_downloading = false;
    qreal m_downloadReceived = 0;
    qreal m_downloadTotal = -1;
    QString m_downloadError;
    bool m_playFailed = false;

    QString m_nextStart;
    QString m_nextEnd;
    QString m_nextPosText;
    bool m_nextReady = false;
    // The chunk ended before the next one was there: it plays as soon as it is.
    bool m_advanceWhenReady = false;

    qreal m_markA = -1;
    qreal m_markB = -1;
    QString m_searchText;
    QVariantList m_searchResults;
    QString m_markedLine;
    qreal m_speed = 1;
    QString m_exportFolder;
    QString m_fileStem = QStringLiteral("recorder");
    bool m_followsClock = false;
    QString m_failedPrefetch;
    bool m_noRecording = false;

    ChunkSpans m_spans;
    ChunkListModel m_chunks;
    PosTrack m_chunkPos;
    PosTrack m_dayPos;
    ChunkExporter m_exporter;
    BookmarkStore m_bookmarks;

    GatewayFetcher* m_fetcher = nullptr;
    QPointer<QNetworkReply> m_posRequest;
    QPointer<QNetworkReply> m_nextPosRequest;
    QPointer<QNetworkReply> m_dayPosRequest;
};
