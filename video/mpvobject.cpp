// SPDX-License-Identifier: MIT
#include "mpvobject.h"

#include <cstring>
#include <limits>
#include <utility>

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QQuickWindow>
#include <QSGImageNode>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtQml>

#include <stdexcept>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "framepacer.h"
#include "mpvnode.h"
#include "mpvrenderer.h"
#include "softwareframesource.h"
#include "videorendermode.h"

namespace {

// The media time of the newest packet the player has read.
const char* const kDemuxedUpTo = "demuxer-cache-time";

// Posted by the software frame source when a new frame is ready to be taken.
const QEvent::Type kFrameReadyEvent = static_cast<QEvent::Type>(QEvent::User + 1);

std::atomic<int> s_renderDelayMs{0};

qint64 monotonicMs()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

// Ending a player or its drawing normally takes a fraction of a second; longer is worth a line.
constexpr qint64 kSlowEndMs = 1000;

// Players still being ended on worker threads.
std::atomic<int> s_endingCores{0};

// An ended player leaves tens of megabytes of buffers free, which the allocator would keep for
// the process; after a layout switch that is the memory of a whole layout's tiles. Once the last
// player of a burst is gone, hand what is free back to the system.
void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

template <typename T>
struct Observed
{
    const char* name;
    void (MpvObject::*signal)(T);
};

// The observed libmpv properties by format, in the order they are observed and dispatched. The
// item's `idle` follows "idle-active": in libmpv "idle" is the option that keeps the core alive
// without a file (always "yes"), not whether it plays.
const Observed<bool> flagProperties[]{
    {"idle-active", &MpvObject::idleChanged},  {"mute", &MpvObject::mutedChanged},
    {"pause", &MpvObject::pausedChanged},      {"paused-for-cache", &MpvObject::pausedForCacheChanged},
    {"seekable", &MpvObject::seekableChanged},
};

const Observed<int> intProperties[]{
    {"chapter", &MpvObject::chapterChanged},
    {"chapter-list/count", &MpvObject::chapterListCountChanged},
    {"decoder-frame-drop-count", &MpvObject::decoderFrameDropCountChanged},
    {"dheight", &MpvObject::dheightChanged},
    {"dwidth", &MpvObject::dwidthChanged},
    {"estimated-frame-count", &MpvObject::estimatedFrameCountChanged},
    {"estimated-frame-number", &MpvObject::estimatedFrameNumberChanged},
    {"frame-drop-count", &MpvObject::frameDropCountChanged},
    {"playlist-pos", &MpvObject::playlistPosChanged},
    {"playlist/count", &MpvObject::playlistCountChanged},
    {"vo-delayed-frame-count", &MpvObject::voDelayedFrameCountChanged},
    {"volume", &MpvObject::volumeChanged},
};

// "duration" and "time-pos" are cached as well as signalled; see handlePropertyChange.
const Observed<double> doubleProperties[]{
    {"audio-bitrate", &MpvObject::audioBitrateChanged},
    {"avsync", &MpvObject::avsyncChanged},
    {"container-fps", &MpvObject::containerFpsChanged},
    {"duration", &MpvObject::durationChanged},
    {"estimated-display-fps", &MpvObject::estimatedDisplayFpsChanged},
    {"estimated-vf-fps", &MpvObject::estimatedVfFpsChanged},
    {"fps", &MpvObject::fpsChanged},
    {"speed", &MpvObject::speedChanged},
    {"time-pos", &MpvObject::positionChanged},
    {"video-bitrate", &MpvObject::videoBitrateChanged},
};

const Observed<const QString&> stringProperties[]{
    {"audio-codec", &MpvObject::audioCodecChanged},
    {"audio-codec-name", &MpvObject::audioCodecNameChanged},
    {"filename", &MpvObject::filenameChanged},
    {"file-format", &MpvObject::fileFormatChanged},
    {"file-size", &MpvObject::fileSizeChanged},
    {"format", &MpvObject::formatChanged},
    {"hwdec", &MpvObject::hwdecChanged},
    {"hwdec-current", &MpvObject::hwdecCurrentChanged},
    {"hwdec-interop", &MpvObject::hwdecInteropChanged},
    {"media-title", &MpvObject::mediaTitleChanged},
    {"path", &MpvObject::pathChanged},
    {"video-codec", &MpvObject::videoCodecChanged},
    {"video-format", &MpvObject::videoFormatChanged},
};

template <typename T, std::size_t N>
const Observed<T>* findObserved(const Observed<T> (&table)[N], const char* name)
{
    for (const Observed<T>& entry : table) {
        if (std::strcmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

template <typename T, std::size_t N>
void observeAll(mpv_handle* mpv, const Observed<T> (&table)[N], mpv_format format)
{
    for (const Observed<T>& entry : table)
        mpv_observe_property(mpv, 0, entry.name, format);
}

QString endReason(int reason)
{
    static const char* const texts[]{"eof", "unknown", "stop", "quit", "error", "redirect"};
    if (reason < 0 || reason > 5)
        return QStringLiteral("unknown");
    return QString::fromLatin1(texts[reason]);
}

// libmpv answers a name it does not know, or a value it cannot take, with an error and changes
// nothing; a silent failure there once kept options out of effect for good.
void reportFailure(const char* what, const QByteArray& name, const QVariant& value, int code)
{
    if (code >= 0)
        return;
    qWarning().noquote() << QStringLiteral("mpv %1 \"%2\" = %3 not taken: %4")
                                .arg(QLatin1String(what), QString::fromUtf8(name), value.toString(),
                                     QString::fromUtf8(mpv_error_string(code)));
}

void setStringOption(mpv_handle* mpv, const char* name, const QString& value)
{
    MpvNode node = MpvNode::variantToNode(value);
    reportFailure("option", name, value, mpv_set_option(mpv, name, MPV_FORMAT_NODE, node.get()));
}

void wakeup(void* context)
{
    // A libmpv thread: post only; the GUI thread drains the queue.
    QCoreApplication::postEvent(static_cast<MpvObject*>(context), new QEvent(QEvent::User));
}

} // namespace

MpvObject::MpvObject(QQuickItem* parent)
    : QQuickFramebufferObject(parent),
      m_drawnFrames(std::make_shared<std::atomic<quint64>>(0)),
      m_holdPicture(std::make_shared<std::atomic<bool>>(false))
{
    const bool software = VideoRenderMode::current() == VideoRenderMode::Software;
    MpvCorePool& pool = MpvCorePool::instance();
    pool.itemCreated(software);
    PreparedCore prepared = pool.take(software);
    if (!prepared) {
        try {
            prepared = prepareCore(software);
        } catch (const std::runtime_error& error) {
            // The QML engine cannot catch it; a tile without video is better than a dead station.
            qCritical() << error.what();
            return;
        }
    }
    m_mpv = std::move(prepared.core);
    m_frames = std::move(prepared.frames);
    connectCore();
    if (m_frames) {
        m_frames->setHold(m_holdPicture->load());
        m_frames->setFrameReadyHandler(
            [this] { QCoreApplication::postEvent(this, new QEvent(kFrameReadyEvent), Qt::HighEventPriority); });
        setFlag(ItemHasContents, true);
    } else {
        m_outputReady = false;
    }
}

MpvObject::~MpvObject()
{
    MpvCorePool::instance().itemDestroyed();
    // After this returns no wakeup runs or follows: libmpv calls the callback under the lock
    // that setting it takes. Events already posted die with the object.
    if (m_mpv) {
        mpv_set_wakeup_callback(m_mpv.get(), nullptr, nullptr);
        // Start winding playback down now, without waiting: freeing the render context would
        // otherwise first stop the video output itself, one tile after another on the render
        // thread, while a layout switch waits for it.
        const char* stop[] = {"stop", nullptr};
        mpv_command_async(m_mpv.get(), 0, stop);
    }
    if (m_frames) {
        // No frame is announced after this; one posted already dies with the item.
        m_frames->setFrameReadyHandler({});
        // Freeing the render context waits for the video output to end: not on the GUI thread.
        std::shared_ptr<SoftwareFrameSource> frames = std::move(m_frames);
        if (QThreadPool* pool = QThreadPool::globalInstance())
            pool->start([frames]() mutable { frames.reset(); });
    }
    // A renderer, if one exists, still holds its share; it frees the render context on the render
    // thread and then lets the core go.
    m_mpv.reset();
}

void MpvObject::setRenderDelayForTesting(int ms)
{
    s_renderDelayMs.store(qMax(0, ms));
    SoftwareFrameSource::setConversionDelayForTesting(ms);
}

int MpvObject::renderDelayForTesting()
{
    return s_renderDelayMs.load();
}

void MpvObject::setLive(bool value)
{
    if (value == m_live)
        return;
    m_live = value;
    m_lag.reset();
    if (m_frames)
        m_frames->setKeepEveryFrame(!value);
    emit liveChanged(value);
}

QString MpvObject::renderMode() const
{
    return m_frames ? VideoRenderMode::name(VideoRenderMode::Software) : VideoRenderMode::name(VideoRenderMode::OpenGL);
}

QVariantMap MpvObject::statistics() const
{
    const qint64 now = monotonicMs();
    const quint64 drawn = m_drawnFrames->load();
    // Frames the item itself replaced before the scene took them never reached the screen either.
    const quint64 replaced = m_frames ? m_frames->replacedFrames() : 0;
    const quint64 dropped =
        replaced + static_cast<quint64>(qMax(0, m_voDrops)) + static_cast<quint64>(qMax(0, m_decoderDrops));
    return QVariantMap{
        {QStringLiteral("drawn"), static_cast<double>(drawn)},
        {QStringLiteral("dropped"), static_cast<double>(dropped)},
        {QStringLiteral("received"), static_cast<double>(drawn + dropped)},
        {QStringLiteral("videoBitrate"), m_videoBitrate},
        {QStringLiteral("width"), m_videoWidth},
        {QStringLiteral("height"), m_videoHeight},
        {QStringLiteral("lag"), m_live ? m_lag.lagSeconds(now) : 0.0},
        {QStringLiteral("msSinceFrame"), static_cast<double>(m_lag.msSinceFrame(now))},
    };
}

double MpvObject::frameRate() const
{
    return m_vfFps > 0.0 ? m_vfFps : m_containerFps;
}

void MpvObject::requestFrame()
{
    FramePacer::instance().requestUpdate(this, frameRate());
}

QSGNode* MpvObject::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data)
{
    if (!m_frames)
        return QQuickFramebufferObject::updatePaintNode(oldNode, data);

    // Render thread, the GUI thread waiting: the item may be read.
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize target(qRound(width() * ratio), qRound(height() * ratio));
    m_frames->setTargetSize(target);

    auto* node = static_cast<QSGImageNode*>(oldNode);
    bool newTexture = node == nullptr;
    QImage frame = m_frames->takeFrame();
    if (!frame.isNull()) {
        m_shownFrame = std::move(frame);
        ++*m_drawnFrames;
        newTexture = true;
    }
    if (m_shownFrame.isNull() || target.isEmpty() || !window()) {
        delete node;
        return nullptr;
    }
    if (!node) {
        node = window()->createImageNode();
        node->setOwnsTexture(true);
    }
    if (newTexture)
        node->setTexture(window()->createTextureFromImage(m_shownFrame, QQuickWindow::TextureIsOpaque));
    node->setRect(boundingRect());
    // A frame made for this very size is shown pixel for pixel; one from before a resize is
    // stretched until the next arrives.
    node->setFiltering(m_shownFrame.size() == target ? QSGTexture::Nearest : QSGTexture::Linear);
    return node;
}

QString MpvObject::snapshotFileName(const QString& name, const QDateTime& when)
{
    // Letters and digits of any script stay; separators, dots and control characters do not, so
    // that no name can leave the folder or hide the file.
    QString safe;
    for (const QChar c : name.trimmed()) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) {
            safe.append(c);
        } else if (c == QLatin1Char(' ')) {
            if (!safe.endsWith(QLatin1Char(' ')))
                safe.append(c);
        } else if (!safe.endsWith(QLatin1Char('_'))) {
            safe.append(QLatin1Char('_'));
        }
    }
    safe = safe.left(64).trimmed();
    if (safe.isEmpty() || safe == QLatin1String("_"))
        safe = QStringLiteral("camera");
    return QStringLiteral("%1 %2.png").arg(safe, when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss-zzz")));
}

void MpvObject::saveSnapshot(const QString& name, const QString& folder, qlonglong momentMs)
{
    if (!m_mpv || dwidth() <= 0 || dheight() <= 0) {
        qWarning() << "Snapshot not saved: no picture yet";
        emit snapshotFailed(QString(), QStringLiteral("no picture yet"));
        return;
    }
    QString directory = folder;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (directory.isEmpty())
        directory = QDir::homePath();
    if (!QDir().mkpath(directory)) {
        qWarning() << "Snapshot not saved: cannot make the folder" << directory;
        emit snapshotFailed(directory, QStringLiteral("cannot make the folder %1").arg(directory));
        return;
    }
    const QDateTime moment = momentMs >= 0 ? QDateTime::fromMSecsSinceEpoch(momentMs) : QDateTime::currentDateTime();
    QString path = QDir(directory).filePath(snapshotFileName(name, moment));
    // Two snapshots of one recorded moment must not overwrite each other.
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(directory).filePath(
            snapshotFileName(name, moment).replace(QLatin1String(".png"), QStringLiteral(" (%1).png").arg(n)));
    // "video": the decoded frame at its own size, without anything drawn over it. The PNG is
    // written on the player's thread, not this one.
    MpvNode node =
        MpvNode::variantToNode(QVariantList{QStringLiteral("screenshot-to-file"), path, QStringLiteral("video")});
    const quint64 id = ++m_lastReplyId;
    const int code = mpv_command_node_async(m_mpv.get(), id, node.get());
    if (code < 0) {
        const QString reason = QString::fromUtf8(mpv_error_string(code));
        qWarning() << "Snapshot not saved:" << path << reason;
        emit snapshotFailed(path, reason);
        return;
    }
    m_pendingSnapshots.insert(id, path);
}

std::atomic<int> MpvObject::s_coreCount{0};

int MpvObject::coreCount()
{
    return s_coreCount.load();
}

MpvHandle MpvObject::createCore()
{
    mpv_handle* handle = mpv_create();
    if (!handle)
        throw std::runtime_error("could not create mpv context");
    ++s_coreCount;
    MpvHandle mpv(handle, [](mpv_handle* last) {
        // Ending a core waits for its playback to stop, a good part of a second at worst; neither
        // the GUI thread nor the render thread may stall for that.
        ++s_endingCores;
        auto destroy = [last] {
            QElapsedTimer took;
            took.start();
            mpv_terminate_destroy(last);
            if (took.elapsed() > kSlowEndMs)
                qInfo() << "Ending a player took" << took.elapsed() << "ms";
            --s_coreCount;
            if (--s_endingCores == 0)
                releaseFreedMemory();
        };
        if (QThreadPool* pool = QThreadPool::globalInstance())
            pool->start(destroy);
        else
            destroy(); // at process exit, after the pool has gone
    });
    // Newer libmpv releases no longer pick the render API's output by default.
    mpv_set_option_string(mpv.get(), "vo", "libmpv");
    // The player's own scripts (on-screen controls, statistics page, console, stream-site hook)
    // serve a stand-alone player; embedded, each would only add a thread and an interpreter per
    // tile.
    for (const char* option : {"load-scripts", "ytdl", "osc", "input-default-bindings"}) {
        const int code = mpv_set_option_string(mpv.get(), option, "no");
        if (code < 0)
            qWarning() << "mpv option" << option << "not taken:" << mpv_error_string(code);
    }
    if (mpv_initialize(mpv.get()) < 0)
        throw std::runtime_error("could not initialize mpv context");
    return mpv;
}

PreparedCore MpvObject::prepareCore(bool software)
{
    PreparedCore prepared;
    prepared.core = createCore();
    prepared.software = software;
    mpv_handle* mpv = prepared.core.get();
    setStringOption(mpv, "audio-client-name", QStringLiteral("pelmar"));
    setStringOption(mpv, "hwdec", QStringLiteral("auto"));

    observeAll(mpv, flagProperties, MPV_FORMAT_FLAG);
    observeAll(mpv, intProperties, MPV_FORMAT_INT64);
    observeAll(mpv, doubleProperties, MPV_FORMAT_DOUBLE);
    observeAll(mpv, stringProperties, MPV_FORMAT_STRING);
    // Not one of the item's properties: what a live picture holds beyond the live edge.
    mpv_observe_property(mpv, 0, kDemuxedUpTo, MPV_FORMAT_DOUBLE);

    // Made with the core rather than when first drawn: libmpv cannot start video output without
    // it, so a file loaded before the item is shown would fail.
    if (software)
        prepared.frames = SoftwareFrameSource::create(prepared.core);
    return prepared;
}

void MpvObject::connectCore()
{
    connect(this, &MpvObject::mpvUpdated, this, &MpvObject::doUpdate, Qt::QueuedConnection);
    connect(this, &MpvObject::idleChanged, this, &MpvObject::updateState);
    connect(this, &MpvObject::pausedChanged, this, &MpvObject::updateState);

    mpv_set_wakeup_callback(m_mpv.get(), &wakeup, this);
    // A core made ahead of time has its first property events queued already, and libmpv does
    // not wake a new listener for them.
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

bool MpvObject::event(QEvent* event)
{
    if (event->type() == QEvent::User) {
        on_mpv_events();
        return true;
    }
    if (event->type() == kFrameReadyEvent) {
        requestFrame();
        return true;
    }
    return QQuickFramebufferObject::event(event);
}

QQuickFramebufferObject::Renderer* MpvObject::createRenderer() const
{
    // The render context must survive hiding the window.
    window()->setPersistentOpenGLContext(true);
    window()->setPersistentSceneGraph(true);
    return new MpvRenderer(this, m_drawnFrames, m_holdPicture);
}

void MpvObject::on_mpv_events()
{
    // A handler of one of the signals may delete this item.
    const QPointer<MpvObject> alive(this);
    while (alive && m_mpv) {
        const mpv_event* event = mpv_wait_event(m_mpv.get(), 0);
        if (!event || event->event_id == MPV_EVENT_NONE)
            break;
        handleMpvEvent(*event);
    }
}

void MpvObject::handleMpvEvent(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        m_havePosition = false;
        m_lag.reset();
        m_edgePolicy.reset();
        m_catchUp.reset();
        m_haveDemuxedUpTo = false;
        if (m_live && m_catchUpSpeed != 1.0) {
            m_catchUpSpeed = 1.0;
            setProperty(QStringLiteral("speed"), 1.0);
        }
        emit fileStarted();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        emit fileEnded(endReason(end ? static_cast<int>(end->reason) : 1));
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        emit fileLoaded();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        emit playbackRestarted();
        break;
    case MPV_EVENT_PROPERTY_CHANGE:
        if (event.data)
            handlePropertyChange(*static_cast<const mpv_event_property*>(event.data));
        break;
    case MPV_EVENT_COMMAND_REPLY: {
        const auto pending = m_pendingSnapshots.find(event.reply_userdata);
        if (pending == m_pendingSnapshots.end())
            break;
        const QString path = pending.value();
        m_pendingSnapshots.erase(pending);
        if (event.error < 0) {
            const QString reason = QString::fromUtf8(mpv_error_string(event.error));
            qWarning() << "Snapshot not saved:" << path << reason;
            emit snapshotFailed(path, reason);
        } else if (!QFileInfo(path).isFile()) {
            qWarning() << "Snapshot not saved:" << path << "the player wrote no file";
            emit snapshotFailed(path, QStringLiteral("no file was written"));
        } else {
            qInfo() << "Snapshot saved:" << path;
            emit snapshotSaved(path);
        }
        break;
    }
    default:
        break;
    }
}

void MpvObject::handlePropertyChange(const mpv_event_property& property)
{
    if (!property.name)
        return;
    switch (property.format) {
    case MPV_FORMAT_DOUBLE: {
        if (std::strcmp(property.name, kDemuxedUpTo) == 0) {
            if (property.data) {
                m_demuxedUpTo = *static_cast<const double*>(property.data);
                m_haveDemuxedUpTo = true;
            }
            return;
        }
        const Observed<double>* entry = findObserved(doubleProperties, property.name);
        if (!entry || !property.data)
            return;
        const double value = *static_cast<const double*>(property.data);
        noteDouble(property.name, value);
        const bool newFrame = entry->signal == &MpvObject::positionChanged && notePosition(value);
        if (entry->signal == &MpvObject::durationChanged)
            m_duration = value;
        // A handler of the first signal may delete this item.
        const QPointer<MpvObject> alive(this);
        emit(this->*entry->signal)(value);
        if (newFrame && alive)
            emit presentedFramesChanged(m_presentedFrames);
        break;
    }
    case MPV_FORMAT_FLAG: {
        const Observed<bool>* entry = findObserved(flagProperties, property.name);
        if (!entry || !property.data)
            return;
        emit(this->*entry->signal)(*static_cast<const int*>(property.data) != 0);
        break;
    }
    // Strings and integers come with the event: reading them again would wait on the player's
    // core, from the GUI thread, for every frame of every tile.
    case MPV_FORMAT_STRING: {
        const Observed<const QString&>* entry = findObserved(stringProperties, property.name);
        if (!entry || !property.data)
            return;
        const char* text = *static_cast<char* const*>(property.data);
        emit(this->*entry->signal)(text ? QString::fromUtf8(text) : QString());
        break;
    }
    case MPV_FORMAT_INT64: {
        const Observed<int>* entry = findObserved(intProperties, property.name);
        if (!entry || !property.data)
            return;
        const int64_t raw = *static_cast<const int64_t*>(property.data);
        const int value =
            static_cast<int>(qBound<int64_t>(std::numeric_limits<int>::min(), raw, std::numeric_limits<int>::max()));
        noteInt(property.name, value);
        emit(this->*entry->signal)(value);
        break;
    }
    default:
        // MPV_FORMAT_NONE: the property became unavailable; the cached values stay.
        if (std::strcmp(property.name, kDemuxedUpTo) == 0)
            m_haveDemuxedUpTo = false;
        if (std::strcmp(property.name, "time-pos") == 0)
            m_havePosition = false;
        break;
    }
}

bool MpvObject::notePosition(double value)
{
    const bool first = !m_havePosition;
    const bool moved = !first && value != m_position;
    m_position = value;
    m_havePosition = true;
    if (moved)
        ++m_presentedFrames;
    if (moved || first) {
        const qint64 now = monotonicMs();
        m_lag.frameShown(now, value);
        if (m_live && m_edgePolicy.check(now, m_lag.lagAtLastFrameSeconds()))
            skipToLiveEdge();
        else if (m_live)
            catchUp(value);
    }
    return moved;
}

void MpvObject::catchUp(double shownPts)
{
    if (!m_haveDemuxedUpTo)
        return;
    const double speed = m_catchUp.speedFor(m_demuxedUpTo - shownPts);
    if (speed == m_catchUpSpeed)
        return;
    m_catchUpSpeed = speed;
    setProperty(QStringLiteral("speed"), speed);
}

void MpvObject::skipToLiveEdge()
{
    // Whatever piled up in the connection and the player's buffers is the past: open the stream
    // anew and start from the present.
    const QString path = getProperty(QStringLiteral("path")).toString();
    const double lag = m_lag.lagAtLastFrameSeconds();
    if (path.isEmpty())
        return;
    qInfo().noquote() << QStringLiteral("Live picture %1 s behind; loading it again to skip to the present: %2")
                             .arg(lag, 0, 'f', 1)
                             .arg(path);
    m_lag.reset();
    loadFile(path);
    emit skippedToLiveEdge(lag);
}

void MpvObject::noteInt(const char* name, int value)
{
    if (std::strcmp(name, "frame-drop-count") == 0)
        m_voDrops = value;
    else if (std::strcmp(name, "decoder-frame-drop-count") == 0)
        m_decoderDrops = value;
    else if (std::strcmp(name, "dwidth") == 0)
        m_videoWidth = value;
    else if (std::strcmp(name, "dheight") == 0)
        m_videoHeight = value;
}

void MpvObject::noteDouble(const char* name, double value)
{
    if (std::strcmp(name, "video-bitrate") == 0)
        m_videoBitrate = value;
    else if (std::strcmp(name, "container-fps") == 0)
        m_containerFps = value;
    else if (std::strcmp(name, "estimated-vf-fps") == 0)
        m_vfFps = value;
}

bool MpvObject::idle() const
{
    return getProperty(QStringLiteral("idle-active")).toBool();
}
bool MpvObject::muted() const
{
    return getProperty(QStringLiteral("mute")).toBool();
}
void MpvObject::set_muted(bool value)
{
    setProperty(QStringLiteral("mute"), value);
}
bool MpvObject::paused() const
{
    return getProperty(QStringLiteral("pause")).toBool();
}
void MpvObject::set_paused(bool value)
{
    setProperty(QStringLiteral("pause"), value);
}
bool MpvObject::pausedForCache() const
{
    return getProperty(QStringLiteral("paused-for-cache")).toBool();
}
bool MpvObject::seekable() const
{
    return getProperty(QStringLiteral("seekable")).toBool();
}
int MpvObject::chapter() const
{
    return getProperty(QStringLiteral("chapter")).toInt();
}
int MpvObject::chapterListCount() const
{
    return getProperty(QStringLiteral("chapter-list/count")).toInt();
}
int MpvObject::decoderFrameDropCount() const
{
    return getProperty(QStringLiteral("decoder-frame-drop-count")).toInt();
}
int MpvObject::dheight() const
{
    return getProperty(QStringLiteral("dheight")).toInt();
}
int MpvObject::dwidth() const
{
    return getProperty(QStringLiteral("dwidth")).toInt();
}
int MpvObject::estimatedFrameCount() const
{
    return getProperty(QStringLiteral("estimated-frame-count")).toInt();
}
void MpvObject::set_estimatedFrameCount(int value)
{
    setProperty(QStringLiteral("estimated-frame-count"), value);
}
int MpvObject::estimatedFrameNumber() const
{
    return getProperty(QStringLiteral("estimated-frame-number")).toInt();
}
void MpvObject::set_estimatedFrameNumber(int value)
{
    setProperty(QStringLiteral("estimated-frame-number"), value);
}
int MpvObject::frameDropCount() const
{
    return getProperty(QStringLiteral("frame-drop-count")).toInt();
}
int MpvObject::playlistPos() const
{
    return getProperty(QStringLiteral("playlist-pos")).toInt();
}
void MpvObject::set_playlistPos(int value)
{
    setProperty(QStringLiteral("playlist-pos"), value);
}
int MpvObject::playlistCount() const
{
    return getProperty(QStringLiteral("playlist/count")).toInt();
}
int MpvObject::voDelayedFrameCount() const
{
    return getProperty(QStringLiteral("vo-delayed-frame-count")).toInt();
}
void MpvObject::set_voDelayedFrameCount(int value)
{
    setProperty(QStringLiteral("vo-delayed-frame-count"), value);
}
int MpvObject::volume() const
{
    return getProperty(QStringLiteral("volume")).toInt();
}
void MpvObject::set_volume(int value)
{
    setProperty(QStringLiteral("volume"), value);
}
double MpvObject::audioBitrate() const
{
    return getProperty(QStringLiteral("audio-bitrate")).toDouble();
}
double MpvObject::avsync() const
{
    return getProperty(QStringLiteral("avsync")).toDouble();
}
double MpvObject::containerFps() const
{
    return getProperty(QStringLiteral("container-fps")).toDouble();
}
double MpvObject::estimatedDisplayFps() const
{
    return getProperty(QStringLiteral("estimated-display-fps")).toDouble();
}
double MpvObject::estimatedVfFps() const
{
    return getProperty(QStringLiteral("estimated-vf-fps")).toDouble();
}
double MpvObject::fps() const
{
    return getProperty(QStringLiteral("fps")).toDouble();
}
double MpvObject::speed() const
{
    return getProperty(QStringLiteral("speed")).toDouble();
}
void MpvObject::set_speed(double value)
{
    setProperty(QStringLiteral("speed"), value);
}
double MpvObject::videoBitrate() const
{
    return getProperty(QStringLiteral("video-bitrate")).toDouble();
}
QString MpvObject::audioCodec() const
{
    return getProperty(QStringLiteral("audio-codec")).toString();
}
QString MpvObject::audioCodecName() const
{
    return getProperty(QStringLiteral("audio-codec-name")).toString();
}
QString MpvObject::filename() const
{
    return getProperty(QStringLiteral("filename")).toString();
}
QString MpvObject::fileFormat() const
{
    return getProperty(QStringLiteral("file-format")).toString();
}
QString MpvObject::fileSize() const
{
    return getProperty(QStringLiteral("file-size")).toString();
}
QString MpvObject::format() const
{
    return getProperty(QStringLiteral("format")).toString();
}
QString MpvObject::hwdec() const
{
    return getProperty(QStringLiteral("hwdec")).toString();
}
QString MpvObject::hwdecCurrent() const
{
    return getProperty(QStringLiteral("hwdec-current")).toString();
}
QString MpvObject::hwdecInterop() const
{
    return getProperty(QStringLiteral("hwdec-interop")).toString();
}
QString MpvObject::mediaTitle() const
{
    return getProperty(QStringLiteral("media-title")).toString();
}
QString MpvObject::path() const
{
    return getProperty(QStringLiteral("path")).toString();
}
QString MpvObject::videoCodec() const
{
    return getProperty(QStringLiteral("video-codec")).toString();
}
QString MpvObject::videoFormat() const
{
    return getProperty(QStringLiteral("video-format")).toString();
}

void MpvObject::renderContextReady()
{
    if (m_outputReady)
        return;
    m_outputReady = true;
    const QVariantList held = std::exchange(m_heldLoads, {});
    for (const QVariant& load : held)
        command(load);
}

void MpvObject::command(const QVariant& params)
{
    if (!m_mpv)
        return;
    if (!m_outputReady) {
        const QString name = params.toList().value(0).toString();
        if (name == QLatin1String("loadfile") || name == QLatin1String("loadlist")) {
            qDebug() << "Load held until the video output can start:" << params;
            m_heldLoads.append(params);
            return;
        }
    }
    MpvNode node = MpvNode::variantToNode(params);
    mpv_node result;
    const int code = mpv_command_node(m_mpv.get(), node.get(), &result);
    if (code >= 0) {
        mpv_free_node_contents(&result);
        return;
    }
    const QVariantList list = params.toList();
    qWarning().noquote() << QStringLiteral("mpv command %1 failed: %2")
                                .arg(list.isEmpty() ? params.toString() : list.first().toString(),
                                     QString::fromUtf8(mpv_error_string(code)));
}

void MpvObject::reinitRenderer()
{
    if (m_mpv)
        mpv_set_option_string(m_mpv.get(), "stop-playback-on-init-failure", "no");
    if (window())
        window()->update();
}

void MpvObject::playPause()
{
    if (!m_isPlaying)
        play();
    else
        setProperty(QStringLiteral("pause"), true);
}

void MpvObject::play()
{
    if (idle()) {
        if (playlistCount() > 0) {
            // Restart the current entry; after the last file ended there is none (-1), so start over
            // from the first one.
            const int pos = playlistPos();
            setProperty(QStringLiteral("playlist-pos"), pos < 0 ? 0 : pos);
        }
    }
    if (m_isPlaying)
        return;
    setProperty(QStringLiteral("pause"), false);
}

void MpvObject::pause()
{
    if (m_isPlaying)
        setProperty(QStringLiteral("pause"), true);
}

void MpvObject::seek(double pos)
{
    command(QVariantList{QStringLiteral("seek"), pos, QStringLiteral("absolute")});
}

void MpvObject::loadFile(const QVariant& urls)
{
    qDebug() << "loadFile:" << urls;
    command(QVariantList{QStringLiteral("loadfile"), urls});
}

bool MpvObject::enableAudio() const
{
    return m_enableAudio;
}

void MpvObject::setEnableAudio(bool value)
{
    m_enableAudio = value;
    emit enableAudioChanged(value);
    // Only ever removes the audio output; turning audio back on does not restore it.
    if (!value)
        setOption(QStringLiteral("ao"), QStringLiteral("null"));
}

bool MpvObject::isPlaying() const
{
    return m_isPlaying;
}

void MpvObject::updateState()
{
    const bool playing = idle() ? false : !paused();
    if (playing == m_isPlaying)
        return;
    m_isPlaying = playing;
    emit isPlayingChanged(playing);
}

double MpvObject::duration() const
{
    return m_duration;
}
double MpvObject::position() const
{
    return m_position;
}
void MpvObject::setHoldPicture(bool value)
{
    if (m_holdPicture->exchange(value) == value)
        return;
    if (m_frames)
        m_frames->setHold(value);
    // Released: the current frame is drawn now, not at the next one.
    if (!value)
        update();
    emit holdPictureChanged();
}

int MpvObject::presentedFrames() const
{
    return m_presentedFrames;
}

void MpvObject::doUpdate()
{
    requestFrame();
}

void MpvObject::setProperty(const QString& name, const QVariant& value)
{
    if (!m_mpv)
        return;
    MpvNode node = MpvNode::variantToNode(value);
    const QByteArray key = name.toUtf8();
    reportFailure("property", key, value, mpv_set_property(m_mpv.get(), key.constData(), MPV_FORMAT_NODE, node.get()));
}

QVariant MpvObject::getProperty(const QString& name) const
{
    if (!m_mpv)
        return QVariant();
    mpv_node node;
    if (mpv_get_property(m_mpv.get(), name.toUtf8().constData(), MPV_FORMAT_NODE, &node) < 0)
        return QVariant();
    QVariant value = MpvNode::nodeToVariant(&node);
    mpv_free_node_contents(&node);
    return value;
}

void MpvObject::setOption(const QString& name, const QVariant& value)
{
    if (!m_mpv)
        return;
    MpvNode node = MpvNode::variantToNode(value);
    const QByteArray key = name.toUtf8();
    reportFailure("option", key, value, mpv_set_option(m_mpv.get(), key.constData(), MPV_FORMAT_NODE, node.get()));
}

void MpvObject::setOptionNoParam(const QString& name)
{
    setOption(name, QVariant());
}

QString MpvObject::getPlaylistFilename(int playlistIndex) const
{
    return getProperty(QStringLiteral("playlist/%1/filename").arg(playlistIndex)).toString();
}

QString MpvObject::getPlaylistTitle(int playlistIndex) const
{
    return getProperty(QStringLiteral("playlist/%1/title").arg(playlistIndex)).toString();
}

QString MpvObject::getChapterTitle(int chapterIndex) const
{
    return getProperty(QStringLiteral("chapter-list/%1/title").arg(chapterIndex)).toString();
}

double MpvObject::getChapterTime(int chapterIndex) const
{
    return getProperty(QStringLiteral("chapter-list/%1/time").arg(chapterIndex)).toDouble();
}
