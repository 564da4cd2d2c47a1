// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <atomic>
#include <memory>

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QQuickFramebufferObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

#include <mpv/client.h>

#include "decodeloadpolicy.h"
#include "hwdecwatch.h"
#include "livecatchup.h"
#include "liveedgepolicy.h"
#include "livelagestimator.h"
#include "mpvcorepool.h"
#include "mpvhandle.h"

class MpvRenderer;
class SoftwareFrameSource;

// A Qt Quick item that plays one stream or file with libmpv and renders it into the scene.
// Playback state is libmpv's own; the item mirrors it as properties with change signals, whose
// getters give what libmpv last reported and never wait on the player.
class MpvObject : public QQuickFramebufferObject
{
    Q_OBJECT
    Q_PROPERTY(bool enableAudio READ enableAudio WRITE setEnableAudio NOTIFY enableAudioChanged)
    Q_PROPERTY(bool idle READ idle NOTIFY idleChanged)
    Q_PROPERTY(bool muted READ muted WRITE set_muted NOTIFY mutedChanged)
    Q_PROPERTY(bool paused READ paused WRITE set_paused NOTIFY pausedChanged)
    Q_PROPERTY(bool pausedForCache READ pausedForCache NOTIFY pausedForCacheChanged)
    Q_PROPERTY(bool seekable READ seekable NOTIFY seekableChanged)
    Q_PROPERTY(int chapter READ chapter NOTIFY chapterChanged)
    Q_PROPERTY(int chapterListCount READ chapterListCount NOTIFY chapterListCountChanged)
    Q_PROPERTY(int decoderFrameDropCount READ decoderFrameDropCount NOTIFY decoderFrameDropCountChanged)
    Q_PROPERTY(int dheight READ dheight NOTIFY dheightChanged)
    Q_PROPERTY(int dwidth READ dwidth NOTIFY dwidthChanged)
    Q_PROPERTY(int estimatedFrameCount READ estimatedFrameCount WRITE set_estimatedFrameCount NOTIFY
                   estimatedFrameCountChanged)
    Q_PROPERTY(int estimatedFrameNumber READ estimatedFrameNumber WRITE set_estimatedFrameNumber NOTIFY
                   estimatedFrameNumberChanged)
    Q_PROPERTY(int frameDropCount READ frameDropCount NOTIFY frameDropCountChanged)
    Q_PROPERTY(int playlistPos READ playlistPos WRITE set_playlistPos NOTIFY playlistPosChanged)
    Q_PROPERTY(int playlistCount READ playlistCount NOTIFY playlistCountChanged)
    Q_PROPERTY(int voDelayedFrameCount READ voDelayedFrameCount WRITE set_voDelayedFrameCount NOTIFY
                   voDelayedFrameCountChanged)
    Q_PROPERTY(int volume READ volume WRITE set_volume NOTIFY volumeChanged)
    Q_PROPERTY(double audioBitrate READ audioBitrate NOTIFY audioBitrateChanged)
    Q_PROPERTY(double avsync READ avsync NOTIFY avsyncChanged)
    Q_PROPERTY(double containerFps READ containerFps NOTIFY containerFpsChanged)
    Q_PROPERTY(double estimatedDisplayFps READ estimatedDisplayFps NOTIFY estimatedDisplayFpsChanged)
    Q_PROPERTY(double estimatedVfFps READ estimatedVfFps NOTIFY estimatedVfFpsChanged)
    Q_PROPERTY(double fps READ fps NOTIFY fpsChanged)
    Q_PROPERTY(double speed READ speed WRITE set_speed NOTIFY speedChanged)
    Q_PROPERTY(double videoBitrate READ videoBitrate NOTIFY videoBitrateChanged)
    Q_PROPERTY(QString audioCodec READ audioCodec NOTIFY audioCodecChanged)
    Q_PROPERTY(QString audioCodecName READ audioCodecName NOTIFY audioCodecNameChanged)
    Q_PROPERTY(QString filename READ filename NOTIFY filenameChanged)
    Q_PROPERTY(QString fileFormat READ fileFormat NOTIFY fileFormatChanged)
    Q_PROPERTY(QString fileSize READ fileSize NOTIFY fileSizeChanged)
    Q_PROPERTY(QString format READ format NOTIFY formatChanged)
    Q_PROPERTY(QString hwdec READ hwdec NOTIFY hwdecChanged)
    Q_PROPERTY(QString hwdecCurrent READ hwdecCurrent NOTIFY hwdecCurrentChanged)
    Q_PROPERTY(QString hwdecInterop READ hwdecInterop NOTIFY hwdecInteropChanged)
    Q_PROPERTY(QString mediaTitle READ mediaTitle NOTIFY mediaTitleChanged)
    Q_PROPERTY(QString path READ path NOTIFY pathChanged)
    Q_PROPERTY(QString videoCodec READ videoCodec NOTIFY videoCodecChanged)
    Q_PROPERTY(QString videoFormat READ videoFormat NOTIFY videoFormatChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(double position READ position NOTIFY positionChanged)
    // Grows by one whenever the playback position moves on to a new frame; stands still while a
    // stream delivers nothing, so that a view can tell a stalled stream from a playing one.
    Q_PROPERTY(int presentedFrames READ presentedFrames NOTIFY presentedFramesChanged)
    // A live camera's stream: the player is set up for low latency (no cache, no audio, frames it
    // cannot show in time dropped rather than shown late, small buffers), and the item tracks how
    // far its picture is behind the live edge. The set-up is for the core's life: turning `live`
    // off again only ends the tracking.
    Q_PROPERTY(bool live READ live WRITE setLive NOTIFY liveChanged)
    // While true the item keeps showing its last picture and takes no new one: a tile changing
    // streams shows the old picture until the new stream's first frame, not an empty one.
    Q_PROPERTY(bool holdPicture READ holdPicture WRITE setHoldPicture NOTIFY holdPictureChanged)
    // "opengl" or "software": how this process draws video (see VideoRenderMode).
    Q_PROPERTY(QString renderMode READ renderMode CONSTANT)
    // The picture is the operator's one object of attention (full view): always decoded in full
    // detail, however small it is shown.
    Q_PROPERTY(bool fullView READ fullView WRITE setFullView NOTIFY fullViewChanged)
    // The picture size ("WIDTHxHEIGHT") the next stream is said to have, for the decoder's
    // settings before its first frame; empty or anything else: not known.
    Q_PROPERTY(
        QString expectedVideoSize READ expectedVideoSize WRITE setExpectedVideoSize NOTIFY expectedVideoSizeChanged)
    // A live stream's decoder, when it cannot keep up, decodes less (DecodeLoadPolicy::Level);
    // cannotKeepUp: even that is not enough, or only key frames are left (a camera with a
    // sub-stream had better play that).
    Q_PROPERTY(int decodeLevel READ decodeLevel NOTIFY decodeLevelChanged)
    Q_PROPERTY(bool cannotKeepUp READ cannotKeepUp NOTIFY decodeLevelChanged)
    // A live stream asked for waits its turn to open (OpeningGate): no frame is due yet.
    Q_PROPERTY(bool waitingToOpen READ waitingToOpen NOTIFY waitingToOpenChanged)
    // A live stream keeps coming in while its picture lags more than a second behind what came:
    // the decoder is behind (a busy machine), the camera is not lost.
    Q_PROPERTY(bool backlogged READ backlogged NOTIFY backloggedChanged)
    // The hardware decoder in use ("vaapi", "nvdec-copy"...), empty while decoding in software.
    Q_PROPERTY(QString hardwareDecoder READ hardwareDecoder NOTIFY hwdecCurrentChanged)

public:
    explicit MpvObject(QQuickItem* parent = nullptr);
    ~MpvObject() override;

    bool event(QEvent* event) override;
    Renderer* createRenderer() const override;

    bool live() const { return m_live; }
    void setLive(bool value);
    bool holdPicture() const { return m_holdRequested; }
    void setHoldPicture(bool value);
    QString renderMode() const;
    bool fullView() const { return m_fullView; }
    void setFullView(bool value);
    QString expectedVideoSize() const { return m_expectedVideoSize; }
    void setExpectedVideoSize(const QString& value);
    int decodeLevel() const { return m_decodeLoad.level(); }
    bool cannotKeepUp() const { return m_decodeLoad.cannotKeepUp(); }
    bool waitingToOpen() const { return m_waitingToOpen; }
    bool backlogged() const { return m_backlogged; }
    QString hardwareDecoder() const;

    // Counters of the picture for a statistics overlay, read when wanted rather than signalled
    // for every frame: "drawn" (frames that reached the scene), "dropped" (frames the player or
    // the item let go unseen), "received" (the two together), "videoBitrate" (bits per second),
    // "width" and "height" (of the video), "lag" (seconds behind the live edge, live streams
    // only, else 0), "msSinceFrame" (-1 before the first frame), "decoder" (the hardware decoder
    // in use, empty for software), "decodeLevel" (see decodeLevel) and "loopFilter" (the
    // deblocking the decoder leaves out: "all", "nonref" or empty).
    Q_INVOKABLE QVariantMap statistics() const;

    // Saves the frame shown now, at the stream's own resolution, as PNG in `folder` (the user's
    // Pictures folder when empty), named after `name` and the time. Answers, later, with
    // snapshotSaved or snapshotFailed.
    // momentMs: the moment the picture shows (ms since the epoch), for recorded video; -1 is now.
    Q_INVOKABLE void saveSnapshot(const QString& name, const QString& folder = QString(), qlonglong momentMs = -1);
    // The file name of a snapshot of `name` taken at `when`: the name with anything a file name
    // cannot safely hold replaced, then the time.
    static QString snapshotFileName(const QString& name, const QDateTime& when);

    // Slows the drawing of every frame by this much, in every video item of the process: lets
    // tests play a machine that cannot keep up.
    static void setRenderDelayForTesting(int ms);
    static int renderDelayForTesting();
    // Every video item made after this takes its decoder for the named hardware decoder, whatever
    // the player reports (empty: what it reports): lets tests play a hardware decoder that fails
    // on a machine without one.
    static void setAssumedHardwareDecoderForTesting(const QString& name);

    // For tests: shorter waits for the decoder's steps (see DecodeLoadPolicy::Timings).
    Q_INVOKABLE void setDecodeLoadTimings(int raiseAfterMs, int settleMs, int lowerAfterMs, int probationMs);

protected:
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;
    // A connection to a property's change signal (a QML binding makes one) is a reader of it.
    void connectNotify(const QMetaMethod& signal) override;

signals:
    void idleChanged(bool value);
    void mutedChanged(bool value);
    void pausedChanged(bool value);
    void pausedForCacheChanged(bool value);
    void seekableChanged(bool value);
    void chapterChanged(int value);
    void chapterListCountChanged(int value);
    void decoderFrameDropCountChanged(int value);
    void dheightChanged(int value);
    void dwidthChanged(int value);
    void estimatedFrameCountChanged(int value);
    void estimatedFrameNumberChanged(int value);
    void frameDropCountChanged(int value);
    void playlistPosChanged(int value);
    void playlistCountChanged(int value);
    void voDelayedFrameCountChanged(int value);
    void volumeChanged(int value);
    void audioBitrateChanged(double value);
    void avsyncChanged(double value);
    void containerFpsChanged(double value);
    void estimatedDisplayFpsChanged(double value);
    void estimatedVfFpsChanged(double value);
    void fpsChanged(double value);
    void speedChanged(double value);
    void videoBitrateChanged(double value);
    void audioCodecChanged(const QString& value);
    void audioCodecNameChanged(const QString& value);
    void filenameChanged(const QString& value);
    void fileFormatChanged(const QString& value);
    void fileSizeChanged(const QString& value);
    void formatChanged(const QString& value);
    void hwdecChanged(const QString& value);
    void hwdecCurrentChanged(const QString& value);
    void hwdecInteropChanged(const QString& value);
    void mediaTitleChanged(const QString& value);
    void pathChanged(const QString& value);
    void videoCodecChanged(const QString& value);
    void videoFormatChanged(const QString& value);
    void enableAudioChanged(bool value);
    void isPlayingChanged(bool value);
    void durationChanged(double value);
    void positionChanged(double value);
    void presentedFramesChanged(int value);
    void liveChanged(bool value);
    void holdPictureChanged();
    void fullViewChanged(bool value);
    void expectedVideoSizeChanged();
    void decodeLevelChanged();
    void waitingToOpenChanged();
    void backloggedChanged();
    // A live stream fell this far behind and is loaded again to show the present.
    void skippedToLiveEdge(double lagSeconds);
    void mpvUpdated();
    void fileStarted();
    void fileEnded(const QString& reason);
    void fileLoaded();
    // Playback (re)started after a load or a seek: the first frame of it is out to the video output.
    void playbackRestarted();
    void snapshotSaved(const QString& path);
    // `reason` is the system's own (a folder that cannot be made, the player's error).
    void snapshotFailed(const QString& path, const QString& reason);

public slots:
    bool idle() const { return cached(IdleRow).toBool(); }
    bool muted() const { return cached(MutedRow).toBool(); }
    void set_muted(bool value) { setMirrored(MutedRow, value); }
    bool paused() const { return cached(PausedRow).toBool(); }
    void set_paused(bool value) { setMirrored(PausedRow, value); }
    bool pausedForCache() const { return cached(PausedForCacheRow).toBool(); }
    bool seekable() const { return cached(SeekableRow).toBool(); }
    int chapter() const { return cached(ChapterRow).toInt(); }
    int chapterListCount() const { return cached(ChapterListCountRow).toInt(); }
    int decoderFrameDropCount() const { return cached(DecoderFrameDropCountRow).toInt(); }
    int dheight() const { return cached(DheightRow).toInt(); }
    int dwidth() const { return cached(DwidthRow).toInt(); }
    int estimatedFrameCount() const { return cached(EstimatedFrameCountRow).toInt(); }
    void set_estimatedFrameCount(int value) { setMirrored(EstimatedFrameCountRow, value); }
    int estimatedFrameNumber() const { return cached(EstimatedFrameNumberRow).toInt(); }
    void set_estimatedFrameNumber(int value) { setMirrored(EstimatedFrameNumberRow, value); }
    int frameDropCount() const { return cached(FrameDropCountRow).toInt(); }
    int playlistPos() const { return cached(PlaylistPosRow).toInt(); }
    void set_playlistPos(int value) { setMirrored(PlaylistPosRow, value); }
    int playlistCount() const { return cached(PlaylistCountRow).toInt(); }
    int voDelayedFrameCount() const { return cached(VoDelayedFrameCountRow).toInt(); }
    void set_voDelayedFrameCount(int value) { setMirrored(VoDelayedFrameCountRow, value); }
    int volume() const { return cached(VolumeRow).toInt(); }
    void set_volume(int value) { setMirrored(VolumeRow, value); }
    double audioBitrate() const { return cached(AudioBitrateRow).toDouble(); }
    double avsync() const { return cached(AvsyncRow).toDouble(); }
    double containerFps() const { return cached(ContainerFpsRow).toDouble(); }
    double estimatedDisplayFps() const { return cached(EstimatedDisplayFpsRow).toDouble(); }
    double estimatedVfFps() const { return cached(EstimatedVfFpsRow).toDouble(); }
    double fps() const { return cached(FpsRow).toDouble(); }
    double speed() const { return cached(SpeedRow).toDouble(); }
    void set_speed(double value) { setMirrored(SpeedRow, value); }
    double videoBitrate() const { return cached(VideoBitrateRow).toDouble(); }
    QString audioCodec() const { return cached(AudioCodecRow).toString(); }
    QString audioCodecName() const { return cached(AudioCodecNameRow).toString(); }
    QString filename() const { return cached(FilenameRow).toString(); }
    QString fileFormat() const { return cached(FileFormatRow).toString(); }
    QString fileSize() const { return cached(FileSizeRow).toString(); }
    QString format() const { return cached(FormatRow).toString(); }
    QString hwdec() const { return cached(HwdecRow).toString(); }
    QString hwdecCurrent() const { return cached(HwdecCurrentRow).toString(); }
    QString hwdecInterop() const { return cached(HwdecInteropRow).toString(); }
    QString mediaTitle() const { return cached(MediaTitleRow).toString(); }
    QString path() const { return cached(PathRow).toString(); }
    QString videoCodec() const { return cached(VideoCodecRow).toString(); }
    QString videoFormat() const { return cached(VideoFormatRow).toString(); }

    void command(const QVariant& params);
    // The command runs on the player's own time: the caller does not wait for a core busy
    // opening or seeking a file. Commands given this way may run in another order than given;
    // a failure is logged.
    Q_INVOKABLE void commandAsync(const QVariant& params);
    void reinitRenderer();
    void playPause();
    void play();
    void pause();
    void seek(double pos);
    void loadFile(const QVariant& urls);
    bool enableAudio() const;
    void setEnableAudio(bool value);
    bool isPlaying() const;
    void updateState();
    double duration() const { return m_values[DurationRow].toDouble(); }
    double position() const { return m_values[PositionRow].toDouble(); }
    int presentedFrames() const;
    void on_mpv_events();
    void doUpdate();
    // The OpenGL render context exists (or could not be made): loads held until then go out.
    void renderContextReady();

public:
    Q_INVOKABLE void setProperty(const QString& name, const QVariant& value);
    Q_INVOKABLE QVariant getProperty(const QString& name) const;
    Q_INVOKABLE void setOption(const QString& name, const QVariant& value);
    Q_INVOKABLE void setOptionNoParam(const QString& name);
    // Sets an option of the playing file without waiting for the player, which holds the caller
    // for as long as it is busy decoding; a refusal is logged when the answer comes.
    void setOptionAsync(const QString& name, const QString& value);
    Q_INVOKABLE QString getPlaylistFilename(int playlistIndex) const;
    Q_INVOKABLE QString getPlaylistTitle(int playlistIndex) const;
    Q_INVOKABLE QString getChapterTitle(int chapterIndex) const;
    Q_INVOKABLE double getChapterTime(int chapterIndex) const;

    // Empty when the core could not be set up; everything then does nothing.
    MpvHandle core() const { return m_mpv; }
    // The libmpv properties mirrored as the item's properties, one row each of the table in
    // mpvobject.cpp, in the order in which they are observed.
    enum MirroredRow : int {
        IdleRow,
        MutedRow,
        PausedRow,
        PausedForCacheRow,
        SeekableRow,
        ChapterRow,
        ChapterListCountRow,
        DecoderFrameDropCountRow,
        DheightRow,
        DwidthRow,
        EstimatedFrameCountRow,
        EstimatedFrameNumberRow,
        FrameDropCountRow,
        PlaylistPosRow,
        PlaylistCountRow,
        VoDelayedFrameCountRow,
        VolumeRow,
        AudioBitrateRow,
        AvsyncRow,
        ContainerFpsRow,
        DurationRow,
        EstimatedDisplayFpsRow,
        EstimatedVfFpsRow,
        FpsRow,
        SpeedRow,
        PositionRow,
        VideoBitrateRow,
        AudioCodecRow,
        AudioCodecNameRow,
        FilenameRow,
        FileFormatRow,
        FileSizeRow,
        FormatRow,
        HwdecRow,
        HwdecCurrentRow,
        HwdecInteropRow,
        MediaTitleRow,
        PathRow,
        VideoCodecRow,
        VideoFormatRow,
        MirroredRowCount
    };

    // libmpv cores made and not yet destroyed, in the whole process.
    static int coreCount();
    // Of those, the cores let go of and still ending on a worker thread.
    static int endingCoreCount();

    // A core set up for a video item, with its software render context where frames are drawn in
    // software. Any thread; throws when libmpv cannot make or start a core.
    static PreparedCore prepareCore(bool software);

private:
    static MpvHandle createCore();
    void connectCore();
    void handleMpvEvent(const mpv_event& event);
    void handlePropertyChange(const mpv_event_property& property);
    // A new position; true when it moved on from the file's previous one.
    bool notePosition(double previous, double value);
    // The last value libmpv reported for a row of the table; observes the row first if nobody did.
    const QVariant& cached(int row) const;
    void observe(int row) const;
    void setMirrored(int row, const QVariant& value);
    void applyLiveOptions();
    // A new frame is ready somewhere: have it drawn with the next paced window frame.
    void requestFrame();
    double frameRate() const;
    // Behind the live edge for a while: skipped within the player's buffer where a key frame
    // ahead is there, else the stream is loaded again.
    void skipToLiveEdge();
    void skipWithinBuffer(const QVariantMap& bufferState);
    void reloadAtLiveEdge();
    void catchUp(double shownPts);

    // The hold of the picture that the renderer sees: the one asked for, or one of the item's own.
    void applyHold();
    // Before a live stream loads: its decoder's settings for the new file.
    void prepareLiveLoad(const QString& path);
    void startLoad(const QVariant& urls);
    void judgeDecodeLoad(qint64 nowMs, double lagSeconds, double queuedSeconds);
    void noteMediaArrived();
    void checkStarved();
    void setBacklogged(bool value);
    // The answer to a command or an option set without waiting: its failure logged with
    // `failure` (%1 what was asked, %2 why); false when the answer is not one of those.
    bool takePendingReply(const mpv_event& event, const char* failure);
    void releaseOpeningTurn();
    void setWaitingToOpen(bool value);
    // What the decoder should skip now, and bringing the player to it; a playing decoder is
    // restarted for it (at most once every kMinDecoderRestartMs).
    void reconsiderDecoding(bool restartIfPlaying = true);
    void restartDecoder();
    void endDecoderRestart();
    bool pictureIsSmall() const;
    void noteDecoderInUse();
    void checkHardwareDecoder();
    void openInSoftware(const QString& reason, bool reload);
    void noteLogMessage(const mpv_event_log_message& message);

    // A decoder restarts at the next key frame: not more often than this.
    static constexpr int kMinDecoderRestartMs = 2000;
    // The picture is held across a restart until the first new frame, but not longer than this.
    static constexpr int kDecoderRestartHoldMs = 3000;
    // A tile's new size counts for the deblocking once it has held this long.
    static constexpr int kSizeSettleMs = 1000;
    static int s_liveItems;

    static std::atomic<int> s_coreCount;

    // Snapshots on their way, by the reply number of their command.
    QHash<quint64, QString> m_pendingSnapshots;
    // Commands given with commandAsync, by reply id: their names, for the log of a failure.
    QHash<quint64, QString> m_pendingCommands;
    quint64 m_lastReplyId = 0;
    // The path asked for at a file's load.
    quint64 m_loadedPathReply = 0;
    // The buffer's state asked for by a skip to the live edge, and the lag it was asked at.
    quint64 m_bufferStateReply = 0;
    double m_skipLag = 0.0;

    MpvHandle m_mpv;
    bool m_enableAudio = false;
    // The mirrored properties by row, and which rows are observed. Observing starts in a const
    // getter, hence mutable; GUI thread only.
    std::array<QVariant, MirroredRowCount> m_values;
    mutable std::array<bool, MirroredRowCount> m_observed{};
    bool m_isPlaying = false;
    int m_presentedFrames = 0;
    // False until the current file has reported a position: its first one shows no progress.
    bool m_havePosition = false;
    bool m_live = false;
    // Without a render context libmpv cannot start video output and ends a file with an error, so
    // loads wait for the OpenGL renderer's first frame. Drawn in software there is no wait.
    bool m_outputReady = true;
    QVariantList m_heldLoads;

    // Software drawing only: the frames, and the one the scene shows (render thread).
    std::shared_ptr<SoftwareFrameSource> m_frames;
    QImage m_shownFrame;

    // Statistics. Drawn frames are counted on the render thread.
    std::shared_ptr<std::atomic<quint64>> m_drawnFrames;
    // Read by the renderer on the render thread: the hold asked for, or the item's own during a
    // decoder restart.
    std::shared_ptr<std::atomic<bool>> m_holdPicture;
    bool m_holdRequested = false;
    LiveLagEstimator m_lag;
    LiveEdgePolicy m_edgePolicy;
    LiveCatchUp m_catchUp;
    // Media time of the newest packet the player holds; NaN when not known.
    double m_demuxedUpTo = 0.0;
    bool m_haveDemuxedUpTo = false;
    double m_lastShownPts = 0.0;
    bool m_backlogged = false;
    static constexpr double kBackloggedSeconds = 1.0;
    // No frame for this long while media comes in: the decoder is starved.
    static constexpr qint64 kStarvedMs = 1000;
    double m_catchUpSpeed = 1.0;

    // Decoding less when decoding cannot keep up, and in small tiles.
    DecodeLoadPolicy m_decodeLoad;
    // The live stream's turn to open (OpeningGate::live()), held until its first frame or its end;
    // 0: none held or asked for.
    quint64 m_openTicket = 0;
    bool m_waitingToOpen = false;
    // The file the turn is for has started (the end of the one before does not give it back).
    bool m_openStarted = false;
    bool m_fullView = false;
    QString m_expectedVideoSize;
    // Parsed from it: until a stream reports its own size.
    QSize m_sizeHint;
    // From a load of another stream until it starts: the size known is the old stream's.
    bool m_otherStreamLoading = false;
    QString m_appliedSkipFrame = QStringLiteral("default");
    QString m_appliedLoopFilter = QStringLiteral("default");
    qint64 m_lastDecoderRestartMs = -kMinDecoderRestartMs;
    QTimer m_decodingTimer;
    bool m_decoderRestarting = false;
    quint64 m_decoderRestartReply = 0;
    bool m_decoderRestartReplied = false;
    QTimer m_restartHoldTimer;

    // Hardware decoding: opened in software for good once it failed here.
    bool m_softwareOnly = false;
    bool m_decoderReported = false;
    bool m_hardwareBefore = false;
    HwdecWatch m_hwdecWatch;
    QTimer m_hwdecTimer;
    // Looks at a live picture that gets no frames (noteMediaArrived stops too once the demuxer is
    // as far ahead as it reads).
    QTimer m_starvedTimer;
    // The player's latest words about choosing its decoder.
    QStringList m_decoderNotes;
    QString m_assumedHardwareDecoder;
};
