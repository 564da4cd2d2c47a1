// SPDX-License-Identifier: MIT
#include "mpvobject.h"

#include <array>
#include <cmath>
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
#include <QRegularExpression>
#include <QSGImageNode>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QtQml>

#include <stdexcept>
#include <type_traits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "framepacer.h"
#include "livedecodesettings.h"
#include "mpvnode.h"
#include "mpvrenderer.h"
#include "openinggate.h"
#include "softwareframesource.h"
#include "videorendermode.h"

namespace {

// The media time of the newest packet the player has read.
const char* const kDemuxedUpTo = "demuxer-cache-time";

// A live tile's demuxer buffers, ahead and behind: seconds of a camera's stream.
const char* const kLiveDemuxerMaxBytes = "4MiB";
const char* const kLiveDemuxerMaxBackBytes = "1MiB";
// How far ahead of the picture a live tile's demuxer reads: media that piled up in the connection
// (the station was busy for seconds) comes into the player's buffer, where it can be skipped.
const char* const kLiveReadaheadSeconds = "5";
// Where the player's buffer ends, and where its key frames are.
const char* const kBufferState = "demuxer-cache-state";

// Posted by the software frame source when a new frame is ready to be taken.
const QEvent::Type kFrameReadyEvent = static_cast<QEvent::Type>(QEvent::User + 1);

std::atomic<int> s_renderDelayMs{0};

// GUI thread only.
QString s_assumedHardwareDecoder;

// The player's own lines worth keeping to say why a decoder was or was not used.
bool isDecoderNote(const mpv_event_log_message& message)
{
    const QLatin1String prefix(message.prefix ? message.prefix : "");
    const QString text = QString::fromUtf8(message.text ? message.text : "").toLower();
    if (prefix == QLatin1String("vd")) {
        for (const char* word : {"hwdec", "device", "hardware", "software", "falling back", "could not"}) {
            if (text.contains(QLatin1String(word)))
                return true;
        }
        return false;
    }
    if (prefix.startsWith(QLatin1String("ffmpeg"))) {
        for (const char* word : {"hwdevice", "hwaccel", "cuda", "vaapi", "vdpau", "va-api"}) {
            if (text.contains(QLatin1String(word)))
                return true;
        }
    }
    return false;
}

QString levelName(int level)
{
    switch (level) {
    case DecodeLoadPolicy::SkipNonReference:
        return QStringLiteral("skipping frames no other frame refers to");
    case DecodeLoadPolicy::NoDeblocking:
        return QStringLiteral("skipping those and deblocking");
    case DecodeLoadPolicy::KeyFramesOnly:
        return QStringLiteral("key frames only");
    default:
        return QStringLiteral("every frame");
    }
}

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

// The libmpv properties that the item mirrors, one row each: the libmpv name, the format it is
// observed in, the item's change signal and when it is observed. Getters read the value that the
// last change event brought; none reads the core, which would wait on the player from the GUI
// thread.
//
// Observing a property costs a GUI-thread wake-up for each of its changes, and some change with
// every frame: on a wall of 64 tiles those add up. The item's own logic, its statistics and the
// views read the rows observed from the start; the others are observed from their first reader
// on (a read of the getter, or a connection to the change signal, which is what a QML binding
// makes). Until their first change event arrives, a moment later, they read as on a core that has
// played nothing.
//
// The rows are in the order of MpvObject::MirroredRow, which is the order in which they are
// observed: by format.

enum class Observe { FromStart, OnDemand };

// What a row keeps when libmpv reports the property unavailable (MPV_FORMAT_NONE): the duration
// and the position keep their last values; the others read as an unavailable property reads.
enum class WhenGone { Clear, Keep };

struct Mirrored
{
    int row;
    const char* name;
    mpv_format format;
    void (*emitChange)(MpvObject& item, const QVariant& value);
    QMetaMethod (*signal)();
    Observe observe;
    WhenGone whenGone;
};

template <typename Signal>
struct SignalArgument;
template <typename Argument>
struct SignalArgument<void (MpvObject::*)(Argument)>
{
    using Type = std::decay_t<Argument>;
};

template <auto Signal>
void emitChange(MpvObject& item, const QVariant& value)
{
    emit(item.*Signal)(value.value<typename SignalArgument<decltype(Signal)>::Type>());
}

template <auto Signal>
QMetaMethod signalOf()
{
    return QMetaMethod::fromSignal(Signal);
}

template <auto Signal>
constexpr Mirrored entry(int row, const char* name, mpv_format format, Observe observe,
                         WhenGone whenGone = WhenGone::Clear)
{
    return Mirrored{row, name, format, &emitChange<Signal>, &signalOf<Signal>, observe, whenGone};
}

constexpr Observe fromStart = Observe::FromStart;
constexpr Observe onDemand = Observe::OnDemand;

constexpr int RowCount = MpvObject::MirroredRowCount;
using M = MpvObject;

// The item's `idle` follows "idle-active": in libmpv "idle" is the option that keeps the core
// alive without a file (always "yes"), not whether it plays.
constexpr Mirrored kMirrored[RowCount]{
    entry<&M::idleChanged>(M::IdleRow, "idle-active", MPV_FORMAT_FLAG, fromStart),
    entry<&M::mutedChanged>(M::MutedRow, "mute", MPV_FORMAT_FLAG, onDemand),
    entry<&M::pausedChanged>(M::PausedRow, "pause", MPV_FORMAT_FLAG, fromStart),
    entry<&M::pausedForCacheChanged>(M::PausedForCacheRow, "paused-for-cache", MPV_FORMAT_FLAG, onDemand),
    entry<&M::seekableChanged>(M::SeekableRow, "seekable", MPV_FORMAT_FLAG, onDemand),
    entry<&M::chapterChanged>(M::ChapterRow, "chapter", MPV_FORMAT_INT64, onDemand),
    entry<&M::chapterListCountChanged>(M::ChapterListCountRow, "chapter-list/count", MPV_FORMAT_INT64, onDemand),
    entry<&M::decoderFrameDropCountChanged>(M::DecoderFrameDropCountRow, "decoder-frame-drop-count", MPV_FORMAT_INT64,
                                            fromStart),
    entry<&M::dheightChanged>(M::DheightRow, "dheight", MPV_FORMAT_INT64, fromStart),
    entry<&M::dwidthChanged>(M::DwidthRow, "dwidth", MPV_FORMAT_INT64, fromStart),
    entry<&M::estimatedFrameCountChanged>(M::EstimatedFrameCountRow, "estimated-frame-count", MPV_FORMAT_INT64,
                                          onDemand),
    // Changes with every frame; only the benchmarks' tile statistics read it.
    entry<&M::estimatedFrameNumberChanged>(M::EstimatedFrameNumberRow, "estimated-frame-number", MPV_FORMAT_INT64,
                                           onDemand),
    entry<&M::frameDropCountChanged>(M::FrameDropCountRow, "frame-drop-count", MPV_FORMAT_INT64, fromStart),
    entry<&M::playlistPosChanged>(M::PlaylistPosRow, "playlist-pos", MPV_FORMAT_INT64, fromStart),
    entry<&M::playlistCountChanged>(M::PlaylistCountRow, "playlist/count", MPV_FORMAT_INT64, fromStart),
    entry<&M::voDelayedFrameCountChanged>(M::VoDelayedFrameCountRow, "vo-delayed-frame-count", MPV_FORMAT_INT64,
                                          onDemand),
    entry<&M::volumeChanged>(M::VolumeRow, "volume", MPV_FORMAT_INT64, onDemand),
    entry<&M::audioBitrateChanged>(M::AudioBitrateRow, "audio-bitrate", MPV_FORMAT_DOUBLE, onDemand),
    entry<&M::avsyncChanged>(M::AvsyncRow, "avsync", MPV_FORMAT_DOUBLE, onDemand),
    entry<&M::containerFpsChanged>(M::ContainerFpsRow, "container-fps", MPV_FORMAT_DOUBLE, fromStart),
    entry<&M::durationChanged>(M::DurationRow, "duration", MPV_FORMAT_DOUBLE, fromStart, WhenGone::Keep),
    entry<&M::estimatedDisplayFpsChanged>(M::EstimatedDisplayFpsRow, "estimated-display-fps", MPV_FORMAT_DOUBLE,
                                          onDemand),
    entry<&M::estimatedVfFpsChanged>(M::EstimatedVfFpsRow, "estimated-vf-fps", MPV_FORMAT_DOUBLE, fromStart),
    entry<&M::fpsChanged>(M::FpsRow, "fps", MPV_FORMAT_DOUBLE, onDemand),
    entry<&M::speedChanged>(M::SpeedRow, "speed", MPV_FORMAT_DOUBLE, onDemand),
    entry<&M::positionChanged>(M::PositionRow, "time-pos", MPV_FORMAT_DOUBLE, fromStart, WhenGone::Keep),
    entry<&M::videoBitrateChanged>(M::VideoBitrateRow, "video-bitrate", MPV_FORMAT_DOUBLE, fromStart),
    entry<&M::audioCodecChanged>(M::AudioCodecRow, "audio-codec", MPV_FORMAT_STRING, onDemand),
    entry<&M::audioCodecNameChanged>(M::AudioCodecNameRow, "audio-codec-name", MPV_FORMAT_STRING, onDemand),
    entry<&M::filenameChanged>(M::FilenameRow, "filename", MPV_FORMAT_STRING, onDemand),
    entry<&M::fileFormatChanged>(M::FileFormatRow, "file-format", MPV_FORMAT_STRING, onDemand),
    entry<&M::fileSizeChanged>(M::FileSizeRow, "file-size", MPV_FORMAT_STRING, onDemand),
    entry<&M::formatChanged>(M::FormatRow, "format", MPV_FORMAT_STRING, onDemand),
    entry<&M::hwdecChanged>(M::HwdecRow, "hwdec", MPV_FORMAT_STRING, onDemand),
    // The tile's figures say how it decodes; it changes once a file.
    entry<&M::hwdecCurrentChanged>(M::HwdecCurrentRow, "hwdec-current", MPV_FORMAT_STRING, fromStart),
    entry<&M::hwdecInteropChanged>(M::HwdecInteropRow, "hwdec-interop", MPV_FORMAT_STRING, onDemand),
    entry<&M::mediaTitleChanged>(M::MediaTitleRow, "media-title", MPV_FORMAT_STRING, onDemand),
    entry<&M::pathChanged>(M::PathRow, "path", MPV_FORMAT_STRING, fromStart),
    entry<&M::videoCodecChanged>(M::VideoCodecRow, "video-codec", MPV_FORMAT_STRING, onDemand),
    entry<&M::videoFormatChanged>(M::VideoFormatRow, "video-format", MPV_FORMAT_STRING, onDemand),
};

constexpr bool inRowOrder()
{
    for (int i = 0; i < RowCount; ++i) {
        if (kMirrored[i].row != i)
            return false;
    }
    return true;
}
static_assert(inRowOrder(), "the table lists the rows in the order of MpvObject::MirroredRow");

int rowOfName(const char* name)
{
    for (int i = 0; i < RowCount; ++i) {
        if (std::strcmp(kMirrored[i].name, name) == 0)
            return i;
    }
    return -1;
}

int rowOfSignal(const QMetaMethod& signal)
{
    // Built once, on first use from whichever thread connects first.
    static const std::array<int, RowCount> signalIndices = [] {
        std::array<int, RowCount> indices{};
        for (int i = 0; i < RowCount; ++i)
            indices[i] = kMirrored[i].signal().methodIndex();
        return indices;
    }();
    const int index = signal.methodIndex();
    for (int i = 0; i < RowCount; ++i) {
        if (signalIndices[i] == index)
            return i;
    }
    return -1;
}

// What a core that has played nothing reports, until its first change events arrive: a read
// right after the item is made sees an idle player with an empty playlist.
std::array<QVariant, RowCount> initialValues()
{
    std::array<QVariant, RowCount> values;
    values[MpvObject::IdleRow] = true;
    values[MpvObject::PlaylistPosRow] = -1;
    values[MpvObject::VolumeRow] = 100;
    values[MpvObject::SpeedRow] = 1.0;
    values[MpvObject::HwdecRow] = QStringLiteral("auto");
    return values;
}

// The value a property read without waiting answered with, asked for as a node; invalid when the
// read failed.
QVariant replyNode(const mpv_event& event)
{
    const auto* property = static_cast<const mpv_event_property*>(event.data);
    if (event.error < 0 || !property || property->format != MPV_FORMAT_NODE || !property->data)
        return QVariant();
    return MpvNode::nodeToVariant(static_cast<const mpv_node*>(property->data));
}

// The value of a change event in the row's format.
QVariant eventValue(const mpv_event_property& property)
{
    switch (property.format) {
    case MPV_FORMAT_FLAG:
        return *static_cast<const int*>(property.data) != 0;
    case MPV_FORMAT_INT64: {
        // The item's int properties are 32-bit; a larger count stops at the largest int.
        const int64_t raw = *static_cast<const int64_t*>(property.data);
        return static_cast<int>(qBound<int64_t>(std::numeric_limits<int>::min(), raw, std::numeric_limits<int>::max()));
    }
    case MPV_FORMAT_DOUBLE:
        return *static_cast<const double*>(property.data);
    case MPV_FORMAT_STRING: {
        const char* text = *static_cast<char* const*>(property.data);
        return text ? QString::fromUtf8(text) : QString();
    }
    default:
        return QVariant();
    }
}

QString endReason(int reason)
{
    static const char* const texts[]{"eof", "unknown", "stop", "quit", "error", "redirect"};
    if (reason < 0 || reason > 5)
        return QStringLiteral("unknown");
    return QString::fromLatin1(texts[reason]);
}

// A call into a player waits while its core is busy elsewhere; the caller is the GUI thread.
constexpr qint64 SlowCallMs = 50;

void noteSlowCall(const QString& what, qint64 tookMs)
{
    if (tookMs >= SlowCallMs)
        qWarning().noquote() << QStringLiteral("mpv %1 took %2 ms").arg(what).arg(tookMs);
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

// The decode steps' waits of the next item. Tiles that fell behind together (one machine, one
// load) would all step back at the same moment and fall behind together again: each item waits a
// little longer than the one made before it, in eight steps, before its first step back.
DecodeLoadPolicy::Timings spreadDecodeLoadTimings()
{
    static int made = 0;
    constexpr int spreadSteps = 8;
    constexpr qint64 spreadStepMs = 2500;
    DecodeLoadPolicy::Timings timings;
    timings.lowerAfterMs += (made++ % spreadSteps) * spreadStepMs;
    return timings;
}

} // namespace

MpvObject::MpvObject(QQuickItem* parent)
    : QQuickFramebufferObject(parent),
      m_values(initialValues()),
      m_drawnFrames(std::make_shared<std::atomic<quint64>>(0)),
      m_holdPicture(std::make_shared<std::atomic<bool>>(false)),
      m_decodeLoad(spreadDecodeLoadTimings(), LiveDecodeSettings::current().highestSkip),
      m_assumedHardwareDecoder(s_assumedHardwareDecoder)
{
    m_decodingTimer.setSingleShot(true);
    connect(&m_decodingTimer, &QTimer::timeout, this, [this] { reconsiderDecoding(); });
    m_restartHoldTimer.setSingleShot(true);
    connect(&m_restartHoldTimer, &QTimer::timeout, this, &MpvObject::endDecoderRestart);
    m_starvedTimer.setInterval(int(kStarvedMs));
    connect(&m_starvedTimer, &QTimer::timeout, this, &MpvObject::checkStarved);
    m_hwdecTimer.setInterval(1000);
    connect(&m_hwdecTimer, &QTimer::timeout, this, &MpvObject::checkHardwareDecoder);
    // A new size of the tile or of the picture may change what is worth decoding, once it holds.
    auto sizeChanged = [this] {
        if (m_live)
            m_decodingTimer.start(kSizeSettleMs);
    };
    connect(this, &QQuickItem::widthChanged, this, sizeChanged);
    connect(this, &QQuickItem::heightChanged, this, sizeChanged);
    connect(this, &MpvObject::dwidthChanged, this, sizeChanged);
    connect(this, &MpvObject::dheightChanged, this, sizeChanged);
    for (int row = 0; row < RowCount; ++row)
        m_observed[row] = kMirrored[row].observe == Observe::FromStart;
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
    if (m_live)
        --s_liveItems;
    if (m_openTicket != 0)
        OpeningGate::live().release(m_openTicket);
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

void MpvObject::setAssumedHardwareDecoderForTesting(const QString& name)
{
    s_assumedHardwareDecoder = name;
}

void MpvObject::setDecodeLoadTimings(int raiseAfterMs, int settleMs, int lowerAfterMs, int probationMs)
{
    DecodeLoadPolicy::Timings timings;
    timings.raiseAfterMs = raiseAfterMs;
    timings.settleMs = settleMs;
    timings.lowerAfterMs = lowerAfterMs;
    timings.maxLowerAfterMs = qMax<qint64>(lowerAfterMs, 16LL * lowerAfterMs);
    timings.probationMs = probationMs;
    m_decodeLoad.setTimings(timings);
}

int MpvObject::s_liveItems = 0;

void MpvObject::setLive(bool value)
{
    if (value == m_live)
        return;
    m_live = value;
    s_liveItems += value ? 1 : -1;
    if (value) {
        m_starvedTimer.start();
    } else {
        m_starvedTimer.stop();
        releaseOpeningTurn();
    }
    m_lag.reset();
    if (m_frames)
        m_frames->setKeepEveryFrame(!value);
    if (value)
        applyLiveOptions();
    emit liveChanged(value);
}

void MpvObject::applyLiveOptions()
{
    if (!m_mpv)
        return;
    command(QVariantList{QStringLiteral("apply-profile"), QStringLiteral("low-latency")});
    // The profile's latency hacks keep the player from dropping frames it cannot show in time: a
    // tile that draws slowly would fall ever further behind the camera.
    setOption(QStringLiteral("video-latency-hacks"), QStringLiteral("no"));
    setOption(QStringLiteral("cache"), QStringLiteral("no"));
    // Frames are shown as they come, not timed to the display; a live camera has no sound.
    setOption(QStringLiteral("video-sync"), QStringLiteral("desync"));
    setOption(QStringLiteral("aid"), QStringLiteral("no"));
    // A live stream needs seconds of buffer, not the minutes meant for files: memory per tile then
    // has a known ceiling.
    setOption(QStringLiteral("demuxer-max-bytes"), QString::fromLatin1(kLiveDemuxerMaxBytes));
    setOption(QStringLiteral("demuxer-max-back-bytes"), QString::fromLatin1(kLiveDemuxerMaxBackBytes));
    setOption(QStringLiteral("demuxer-readahead-secs"), QString::fromLatin1(kLiveReadaheadSeconds));
    // Seeks within what the player holds, though the stream itself cannot seek.
    setOption(QStringLiteral("demuxer-seekable-cache"), QStringLiteral("yes"));
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
    const quint64 dropped = replaced + static_cast<quint64>(qMax(0, m_values[FrameDropCountRow].toInt())) +
                            static_cast<quint64>(qMax(0, m_values[DecoderFrameDropCountRow].toInt()));
    return QVariantMap{
        {QStringLiteral("drawn"), static_cast<double>(drawn)},
        {QStringLiteral("dropped"), static_cast<double>(dropped)},
        {QStringLiteral("received"), static_cast<double>(drawn + dropped)},
        {QStringLiteral("videoBitrate"), m_values[VideoBitrateRow].toDouble()},
        {QStringLiteral("width"), m_values[DwidthRow].toInt()},
        {QStringLiteral("height"), m_values[DheightRow].toInt()},
        {QStringLiteral("lag"), m_live ? m_lag.lagSeconds(now) : 0.0},
        {QStringLiteral("msSinceFrame"), static_cast<double>(m_lag.msSinceFrame(now))},
        {QStringLiteral("decoder"), hardwareDecoder()},
        {QStringLiteral("decodeLevel"), m_decodeLoad.level()},
        {QStringLiteral("loopFilter"),
         m_appliedLoopFilter == QLatin1String("default") ? QString() : m_appliedLoopFilter},
    };
}

double MpvObject::frameRate() const
{
    const double vfFps = m_values[EstimatedVfFpsRow].toDouble();
    return vfFps > 0.0 ? vfFps : m_values[ContainerFpsRow].toDouble();
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

int MpvObject::endingCoreCount()
{
    return s_endingCores.load();
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
    // The player's own scripts (on-screen controls, statistics page, console, stream-site hook,
    // conditional profiles) serve a stand-alone player; embedded, each would only add a thread and
    // an interpreter per tile: the console alone took a twentieth of the machine while a wall of
    // sixteen opened. "load-scripts" leaves the built-in ones loaded; each has its own switch.
    for (const char* option : {"load-scripts", "ytdl", "osc", "input-default-bindings"}) {
        const int code = mpv_set_option_string(mpv.get(), option, "no");
        if (code < 0)
            qWarning() << "mpv option" << option << "not taken:" << mpv_error_string(code);
    }
    // Their names differ between player releases; one this release does not know has nothing to
    // switch off.
    for (const char* option : {"load-stats-overlay", "load-osd-console", "load-console", "load-auto-profiles",
                               "load-select", "load-commands", "load-context-menu", "load-positioning"}) {
        const int code = mpv_set_option_string(mpv.get(), option, "no");
        if (code < 0 && code != MPV_ERROR_OPTION_NOT_FOUND)
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
    setStringOption(mpv, "hwdec", LiveDecodeSettings::current().playerHwdec());

    // The rows with a reader from the start; the item observes the others when first read.
    for (const Mirrored& mirrored : kMirrored) {
        if (mirrored.observe == Observe::FromStart)
            mpv_observe_property(mpv, 0, mirrored.name, mirrored.format);
    }
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
        m_openStarted = true;
        // The file before is gone: its load is not reported any more.
        m_loadedPathReply = 0;
        m_bufferStateReply = 0;
        m_otherStreamLoading = false;
        m_decoderReported = false;
        m_hardwareBefore = false;
        m_hwdecWatch.reset();
        m_havePosition = false;
        m_lag.reset();
        m_edgePolicy.reset();
        m_catchUp.reset();
        m_haveDemuxedUpTo = false;
        setBacklogged(false);
        if (m_live && m_catchUpSpeed != 1.0) {
            m_catchUpSpeed = 1.0;
            commandAsync(QVariantList{QStringLiteral("set"), QStringLiteral("speed"), QStringLiteral("1")});
        }
        emit fileStarted();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event.data);
        if (m_mpv && !m_decoderReported)
            mpv_request_log_messages(m_mpv.get(), "no");
        m_hwdecTimer.stop();
        // The stream the turn was for is over (failed, or stopped): the next may open.
        if (m_openStarted && m_openTicket != 0)
            releaseOpeningTurn();
        // The player that gives up on a stream it decodes in hardware is tried in software next.
        if (end && end->reason == MPV_END_FILE_REASON_ERROR && !hardwareDecoder().isEmpty())
            openInSoftware(
                QStringLiteral("the stream ended in an error: %1").arg(QString::fromUtf8(mpv_error_string(end->error))),
                false);
        emit fileEnded(endReason(end ? static_cast<int>(end->reason) : 1));
        break;
    }
    case MPV_EVENT_FILE_LOADED: {
        // The path's change event may come late: it is asked for here, once a file. Without
        // waiting: the core is busy starting the decoder now, and a GUI thread that waits for it
        // holds up every other player's pictures (a recording's player waits for the scene).
        m_loadedPathReply = ++m_lastReplyId;
        if (mpv_get_property_async(m_mpv.get(), m_loadedPathReply, kMirrored[PathRow].name, MPV_FORMAT_NODE) < 0)
            m_loadedPathReply = 0;
        emit fileLoaded();
        break;
    }
    case MPV_EVENT_GET_PROPERTY_REPLY: {
        if (event.reply_userdata != 0 && event.reply_userdata == m_bufferStateReply) {
            m_bufferStateReply = 0;
            skipWithinBuffer(replyNode(event).toMap());
            break;
        }
        if (event.reply_userdata == 0 || event.reply_userdata != m_loadedPathReply)
            break;
        m_loadedPathReply = 0;
        const QVariant path = replyNode(event);
        if (path.isValid() && path != m_values[PathRow]) {
            m_values[PathRow] = path;
            kMirrored[PathRow].emitChange(*this, path);
        }
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        emit playbackRestarted();
        break;
    case MPV_EVENT_PROPERTY_CHANGE:
        if (event.data)
            handlePropertyChange(*static_cast<const mpv_event_property*>(event.data));
        break;
    case MPV_EVENT_LOG_MESSAGE:
        if (event.data)
            noteLogMessage(*static_cast<const mpv_event_log_message*>(event.data));
        break;
    case MPV_EVENT_SET_PROPERTY_REPLY: {
        if (takePendingReply(event, "mpv option %1 not taken: %2"))
            break;
        if (m_decoderRestarting && event.reply_userdata == m_decoderRestartReply) {
            m_decoderRestartReplied = true;
            if (event.error < 0) {
                qWarning().noquote() << QStringLiteral("The decoder could not be restarted: %1")
                                            .arg(QString::fromUtf8(mpv_error_string(event.error)));
                endDecoderRestart();
            }
        }
        break;
    }
    case MPV_EVENT_COMMAND_REPLY: {
        if (takePendingReply(event, "mpv command %1 failed: %2"))
            break;
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
    if (std::strcmp(property.name, kDemuxedUpTo) == 0) {
        m_haveDemuxedUpTo = property.format == MPV_FORMAT_DOUBLE && property.data;
        if (m_haveDemuxedUpTo) {
            m_demuxedUpTo = *static_cast<const double*>(property.data);
            noteMediaArrived();
        }
        return;
    }
    const int row = rowOfName(property.name);
    if (row < 0)
        return;
    const Mirrored& mirrored = kMirrored[row];
    // A decoder restarting for new settings has no picture size for a moment; the tile keeps its.
    if (m_decoderRestarting && (row == DwidthRow || row == DheightRow) &&
        (property.format != mirrored.format || !property.data))
        return;
    if (property.format != mirrored.format || !property.data) {
        // MPV_FORMAT_NONE: the property became unavailable. Nothing is signalled.
        if (row == PositionRow)
            m_havePosition = false;
        if (mirrored.whenGone == WhenGone::Clear)
            m_values[row] = QVariant();
        return;
    }
    const QVariant value = eventValue(property);
    const double previousPosition = m_values[PositionRow].toDouble();
    m_values[row] = value;
    const bool newFrame = row == PositionRow && notePosition(previousPosition, value.toDouble());
    // A handler of the first signal may delete this item.
    const QPointer<MpvObject> alive(this);
    mirrored.emitChange(*this, value);
    if (newFrame && alive)
        emit presentedFramesChanged(m_presentedFrames);
    if (row == HwdecCurrentRow && alive)
        noteDecoderInUse();
}

bool MpvObject::notePosition(double previous, double value)
{
    const bool first = !m_havePosition;
    const bool moved = !first && value != previous;
    m_havePosition = true;
    if (moved)
        ++m_presentedFrames;
    if (m_decoderRestarting && m_decoderRestartReplied)
        endDecoderRestart();
    if (first && m_openTicket != 0) {
        // Open: its first frame is here.
        OpeningGate::live().release(m_openTicket);
        m_openTicket = 0;
    }
    if (moved || first) {
        const qint64 now = monotonicMs();
        m_lag.frameShown(now, value);
        m_lastShownPts = value;
        const double queued = m_haveDemuxedUpTo ? m_demuxedUpTo - value : std::nan("");
        if (m_live) {
            // A camera that stops sending while the decoder works off its backlog is seen to stop
            // once the backlog is gone.
            setBacklogged(queued > kBackloggedSeconds);
            judgeDecodeLoad(now, m_lag.lagAtLastFrameSeconds(), queued);
        }
        // While streams wait for their turn to open, the machine is short of time: loading this one
        // again would only queue it behind them; decoding less (above) brings it back instead.
        // A skip already asked about waits for the player's answer.
        if (m_live && OpeningGate::live().waiting() == 0 && m_bufferStateReply == 0 &&
            m_edgePolicy.check(now, m_lag.lagAtLastFrameSeconds(), queued))
            skipToLiveEdge();
        else if (m_live)
            catchUp(value);
    }
    return moved;
}

void MpvObject::judgeDecodeLoad(qint64 nowMs, double lagSeconds, double queuedSeconds)
{
    const int levelBefore = m_decodeLoad.level();
    const bool cannotBefore = m_decodeLoad.cannotKeepUp();
    const int level = m_decodeLoad.update(nowMs, lagSeconds, queuedSeconds);
    if (level != levelBefore) {
        const QString text = level > levelBefore
                                 ? QStringLiteral("Live picture %1 s behind while decoding; decoding %2: %3")
                                 : QStringLiteral("Live picture %1 s behind, keeping up; decoding %2: %3");
        qInfo().noquote() << text.arg(lagSeconds, 0, 'f', 1).arg(levelName(level), MpvObject::path());
        reconsiderDecoding();
    }
    if (level != levelBefore || m_decodeLoad.cannotKeepUp() != cannotBefore)
        emit decodeLevelChanged();
}

void MpvObject::setBacklogged(bool value)
{
    if (value == m_backlogged)
        return;
    m_backlogged = value;
    emit backloggedChanged();
}

void MpvObject::noteMediaArrived()
{
    if (!m_live || !m_lag.hasFrame() || !m_haveDemuxedUpTo)
        return;
    const double backlog = m_demuxedUpTo - m_lastShownPts;
    setBacklogged(backlog > kBackloggedSeconds);
    checkStarved();
}

void MpvObject::checkStarved()
{
    // A picture that gets no frame at all while its stream has come in (the cores busy with other
    // tiles) is judged as well: waiting for a frame to judge it by, it would wait for ever.
    // A hardware decoder that gives no pictures is the hardware watch's to judge: it goes over to
    // software, which must not inherit steps taken for the hardware's silence.
    if (!m_live || !m_lag.hasFrame() || !m_haveDemuxedUpTo || !hardwareDecoder().isEmpty())
        return;
    const qint64 now = monotonicMs();
    if (m_lag.msSinceFrame(now) > kStarvedMs)
        judgeDecodeLoad(now, m_lag.lagSeconds(now), m_demuxedUpTo - m_lastShownPts);
}

void MpvObject::catchUp(double shownPts)
{
    if (!m_haveDemuxedUpTo)
        return;
    const double ownBefore = m_catchUp.ownSeconds();
    const bool slowBefore = m_catchUp.slowingDown();
    const quint64 lateDrops = static_cast<quint64>(qMax(0, cached(FrameDropCountRow).toInt()));
    const double speed =
        m_catchUp.speedFor(monotonicMs(), m_demuxedUpTo - shownPts, lateDrops, m_lag.lagAtLastFrameSeconds());
    if (m_catchUp.slowingDown() && !slowBefore)
        qInfo().noquote() << QStringLiteral(
                                 "Live picture: the player's clock is ahead of the stream (%1 frames dropped "
                                 "as late); playing slower a moment: %2")
                                 .arg(lateDrops)
                                 .arg(MpvObject::path());
    if (m_catchUp.ownSeconds() > ownBefore)
        qInfo().noquote() << QStringLiteral("Live picture: %1 s held by the player is not caught up on (playing faster "
                                            "gained nothing): %2")
                                 .arg(m_catchUp.ownSeconds(), 0, 'f', 2)
                                 .arg(MpvObject::path());
    if (speed == m_catchUpSpeed)
        return;
    m_catchUpSpeed = speed;
    // Without waiting: a player busy decoding took up to 600 ms to answer, with 64 on the screen.
    commandAsync(QVariantList{QStringLiteral("set"), QStringLiteral("speed"), QString::number(speed, 'f', 3)});
}

void MpvObject::skipToLiveEdge()
{
    if (MpvObject::path().isEmpty())
        return;
    m_skipLag = m_lag.lagAtLastFrameSeconds();
    // Media that piled up while the station was busy is in the player's buffer: skipping within
    // it needs no new connection and decodes nothing twice. Where its newest key frame is, only
    // the player knows; asked without waiting, as the player is busy.
    if (m_mpv && m_haveDemuxedUpTo && m_demuxedUpTo - m_lastShownPts > LiveEdgePolicy::kMinBufferSkipSeconds) {
        m_bufferStateReply = ++m_lastReplyId;
        if (mpv_get_property_async(m_mpv.get(), m_bufferStateReply, kBufferState, MPV_FORMAT_NODE) >= 0)
            return;
        m_bufferStateReply = 0;
    }
    reloadAtLiveEdge();
}

void MpvObject::skipWithinBuffer(const QVariantMap& state)
{
    if (!m_live)
        return;
    // The last seekable range ends a frame before the newest key frame the player holds: as good
    // as that key frame's time, and never after it.
    const QVariantList ranges = state.value(QStringLiteral("seekable-ranges")).toList();
    const double newestKeyFrame =
        ranges.isEmpty() ? std::nan("") : ranges.last().toMap().value(QStringLiteral("end"), std::nan("")).toDouble();
    const double bufferEnd = state.value(QStringLiteral("cache-end"), std::nan("")).toDouble();
    switch (LiveEdgePolicy::skipFor(m_lastShownPts, newestKeyFrame, bufferEnd)) {
    case LiveEdgePolicy::Skip::Reload:
        reloadAtLiveEdge();
        return;
    case LiveEdgePolicy::Skip::Wait:
        // Playing faster works at the backlog meanwhile.
        m_edgePolicy.deferred(monotonicMs());
        return;
    case LiveEdgePolicy::Skip::WithinBuffer:
        break;
    }
    qInfo().noquote() << QStringLiteral("Live picture %1 s behind; skipping %2 s within what the player holds: %3")
                             .arg(m_skipLag, 0, 'f', 1)
                             .arg(newestKeyFrame - m_lastShownPts, 0, 'f', 1)
                             .arg(MpvObject::path());
    m_decodeLoad.restarted(monotonicMs());
    commandAsync(
        QVariantList{QStringLiteral("seek"),
                     QString::number(LiveEdgePolicy::keyFrameSkipAmount(m_lastShownPts, newestKeyFrame), 'f', 3),
                     QStringLiteral("relative+keyframes")});
    emit skippedToLiveEdge(m_skipLag);
}

void MpvObject::reloadAtLiveEdge()
{
    // Whatever piled up in the connection and the player's buffers is the past: open the stream
    // anew and start from the present.
    const QString path = MpvObject::path();
    if (path.isEmpty())
        return;
    qInfo().noquote() << QStringLiteral("Live picture %1 s behind; loading it again to skip to the present: %2")
                             .arg(m_skipLag, 0, 'f', 1)
                             .arg(path);
    m_lag.reset();
    loadFile(path);
    emit skippedToLiveEdge(m_skipLag);
}

const QVariant& MpvObject::cached(int row) const
{
    observe(row);
    return m_values[row];
}

void MpvObject::observe(int row) const
{
    if (m_observed[row] || !m_mpv)
        return;
    m_observed[row] = true;
    // libmpv answers with a change event holding the present value.
    const Mirrored& mirrored = kMirrored[row];
    const int code = mpv_observe_property(m_mpv.get(), 0, mirrored.name, mirrored.format);
    if (code < 0)
        qWarning() << "mpv property" << mirrored.name << "not observed:" << mpv_error_string(code);
}

void MpvObject::setMirrored(int row, const QVariant& value)
{
    setProperty(QString::fromLatin1(kMirrored[row].name), value);
}

void MpvObject::connectNotify(const QMetaMethod& signal)
{
    QQuickFramebufferObject::connectNotify(signal);
    const int row = rowOfSignal(signal);
    if (row < 0)
        return;
    if (QThread::currentThread() == thread())
        observe(row);
    else
        QMetaObject::invokeMethod(
            this, [this, row] { observe(row); }, Qt::QueuedConnection);
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
    const qint64 asked = monotonicMs();
    const int code = mpv_command_node(m_mpv.get(), node.get(), &result);
    noteSlowCall(params.toList().value(0).toString(), monotonicMs() - asked);
    if (code >= 0) {
        mpv_free_node_contents(&result);
        return;
    }
    const QVariantList list = params.toList();
    qWarning().noquote() << QStringLiteral("mpv command %1 failed: %2")
                                .arg(list.isEmpty() ? params.toString() : list.first().toString(),
                                     QString::fromUtf8(mpv_error_string(code)));
}

void MpvObject::commandAsync(const QVariant& params)
{
    if (!m_mpv)
        return;
    const QString name = params.toList().value(0).toString();
    if (!m_outputReady && (name == QLatin1String("loadfile") || name == QLatin1String("loadlist"))) {
        qDebug() << "Load held until the video output can start:" << params;
        m_heldLoads.append(params);
        return;
    }
    MpvNode node = MpvNode::variantToNode(params);
    const quint64 id = ++m_lastReplyId;
    const int code = mpv_command_node_async(m_mpv.get(), id, node.get());
    if (code < 0) {
        qWarning().noquote()
            << QStringLiteral("mpv command %1 failed: %2").arg(name, QString::fromUtf8(mpv_error_string(code)));
        return;
    }
    m_pendingCommands.insert(id, name);
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
    // A new load replaces whatever was asked before, waiting or opening; the file before may
    // still end meanwhile, which is not this load's end.
    releaseOpeningTurn();
    m_openStarted = false;
    OpeningGate& gate = OpeningGate::live();
    if (!m_live || gate.limit() <= 0) {
        startLoad(urls);
        return;
    }
    // The gate calls back at once or from the event loop; the item gives its ticket back before
    // it goes, so the callback never outlives it.
    m_openTicket = gate.request([this, urls] {
        setWaitingToOpen(false);
        startLoad(urls);
    });
    if (gate.isWaiting(m_openTicket)) {
        qDebug() << "Waiting for a turn to open:" << urls << gate.waiting() << "waiting," << gate.holding()
                 << "opening";
        setWaitingToOpen(true);
    }
}

void MpvObject::startLoad(const QVariant& urls)
{
    if (m_mpv && !m_softwareOnly && LiveDecodeSettings::current().playerHwdec() != QLatin1String("no"))
        // Until the decoder is chosen: the player's reasons for its choice.
        mpv_request_log_messages(m_mpv.get(), "v");
    m_decoderNotes.clear();
    if (m_live)
        prepareLiveLoad(urls.toString());
    m_openStarted = false;
    // A player busy with the file before takes a while to take the next (200 ms with many on the
    // screen): the scene does not wait for it. A file that cannot be opened ends with an error.
    commandAsync(QVariantList{QStringLiteral("loadfile"), urls});
}

void MpvObject::releaseOpeningTurn()
{
    if (m_openTicket != 0) {
        OpeningGate::live().release(m_openTicket);
        m_openTicket = 0;
    }
    setWaitingToOpen(false);
}

void MpvObject::setWaitingToOpen(bool value)
{
    if (value == m_waitingToOpen)
        return;
    m_waitingToOpen = value;
    emit waitingToOpenChanged();
}

void MpvObject::prepareLiveLoad(const QString& path)
{
    const int levelBefore = m_decodeLoad.level();
    const bool cannotBefore = m_decodeLoad.cannotKeepUp();
    // A reload of the same stream keeps what its decoder could do; another stream starts afresh.
    const bool sameStream = !path.isEmpty() && path == MpvObject::path();
    if (sameStream)
        m_decodeLoad.restarted(monotonicMs());
    else
        m_decodeLoad.reset();
    m_otherStreamLoading = !sameStream;
    if (m_decoderRestarting)
        endDecoderRestart();
    const LiveDecodeSettings& settings = LiveDecodeSettings::current();
    setOptionAsync(QStringLiteral("vd-lavc-threads"),
                   QString::number(settings.threadsFor(s_liveItems, QThread::idealThreadCount())));
    // The new file gets a decoder of its own: the options are enough.
    m_appliedSkipFrame.clear();
    m_appliedLoopFilter.clear();
    m_decodingTimer.stop();
    reconsiderDecoding(false);
    if (m_decodeLoad.level() != levelBefore || m_decodeLoad.cannotKeepUp() != cannotBefore)
        emit decodeLevelChanged();
}

bool MpvObject::pictureIsSmall() const
{
    if (m_fullView)
        return false;
    int videoWidth = m_values[DwidthRow].toInt();
    int videoHeight = m_values[DheightRow].toInt();
    if (m_otherStreamLoading || videoWidth <= 0 || videoHeight <= 0) {
        videoWidth = m_sizeHint.width();
        videoHeight = m_sizeHint.height();
    }
    const qreal ratio = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const qreal shownWidth = width() * ratio;
    const qreal shownHeight = height() * ratio;
    if (videoWidth <= 0 || videoHeight <= 0 || shownWidth <= 0 || shownHeight <= 0)
        return false;
    return 2 * shownWidth < videoWidth && 2 * shownHeight < videoHeight;
}

void MpvObject::reconsiderDecoding(bool restartIfPlaying)
{
    if (!m_mpv || !m_live)
        return;
    const bool small = pictureIsSmall();
    m_decodeLoad.setDeblockingOffAnyway(small &&
                                        LiveDecodeSettings::current().smallPictureLoopFilter == QLatin1String("all"));
    const int level = m_decodeLoad.level();
    const QString skipFrame = level >= DecodeLoadPolicy::KeyFramesOnly      ? QStringLiteral("nonkey")
                              : level >= DecodeLoadPolicy::SkipNonReference ? QStringLiteral("nonref")
                                                                            : QStringLiteral("default");
    QString loopFilter = QStringLiteral("default");
    if (level >= DecodeLoadPolicy::NoDeblocking)
        loopFilter = QStringLiteral("all");
    else if (!LiveDecodeSettings::current().smallPictureLoopFilter.isEmpty() && small)
        // Shown at under half its size, the picture loses the detail the filter keeps anyway.
        loopFilter = LiveDecodeSettings::current().smallPictureLoopFilter;
    if (skipFrame == m_appliedSkipFrame && loopFilter == m_appliedLoopFilter)
        return;
    const qint64 now = monotonicMs();
    const bool decoding = restartIfPlaying && m_values[DwidthRow].toInt() > 0 && !idle();
    if (decoding && now - m_lastDecoderRestartMs < kMinDecoderRestartMs) {
        m_decodingTimer.start(int(kMinDecoderRestartMs - (now - m_lastDecoderRestartMs)));
        return;
    }
    setOptionAsync(QStringLiteral("vd-lavc-skipframe"), skipFrame);
    setOptionAsync(QStringLiteral("vd-lavc-skiploopfilter"), loopFilter);
    m_appliedSkipFrame = skipFrame;
    m_appliedLoopFilter = loopFilter;
    if (decoding)
        restartDecoder();
}

void MpvObject::restartDecoder()
{
    // The decoder takes its settings when it is made: the video track is chosen anew, which makes
    // a new decoder without touching the connection. It starts at the next key frame; the picture
    // before stays until then.
    const qint64 now = monotonicMs();
    m_lastDecoderRestartMs = now;
    m_decodeLoad.restarted(now);
    m_decoderRestarting = true;
    m_decoderRestartReplied = false;
    applyHold();
    const char* off = "no";
    const char* any = "auto";
    mpv_set_property_async(m_mpv.get(), 0, "vid", MPV_FORMAT_STRING, &off);
    m_decoderRestartReply = ++m_lastReplyId;
    mpv_set_property_async(m_mpv.get(), m_decoderRestartReply, "vid", MPV_FORMAT_STRING, &any);
    m_restartHoldTimer.start(kDecoderRestartHoldMs);
}

void MpvObject::endDecoderRestart()
{
    if (!m_decoderRestarting)
        return;
    m_decoderRestarting = false;
    m_restartHoldTimer.stop();
    applyHold();
}

QString MpvObject::hardwareDecoder() const
{
    const QString current = m_values[HwdecCurrentRow].toString();
    // The tests' stand-in for a machine with a decoder: it stays "in use" while the track is
    // chosen again (the player's own figure is empty until its decoder says), until the tile
    // gives up on it.
    if (!m_assumedHardwareDecoder.isEmpty() && !m_softwareOnly && (!current.isEmpty() || m_hardwareBefore))
        return m_assumedHardwareDecoder;
    if (current.isEmpty())
        return QString();
    return current == QLatin1String("no") || current == QLatin1String("false") ? QString() : current;
}

void MpvObject::noteLogMessage(const mpv_event_log_message& message)
{
    if (!isDecoderNote(message))
        return;
    m_decoderNotes.append(QString::fromUtf8(message.text).trimmed());
    while (m_decoderNotes.size() > 8)
        m_decoderNotes.removeFirst();
}

void MpvObject::noteDecoderInUse()
{
    if (m_values[HwdecCurrentRow].toString().isEmpty())
        return; // no decoder (yet)
    const QString hardware = hardwareDecoder();
    const QString asked = m_softwareOnly ? QStringLiteral("no") : LiveDecodeSettings::current().playerHwdec();
    const QString notes = m_decoderNotes.isEmpty() ? QStringLiteral("the player said nothing more")
                                                   : m_decoderNotes.join(QStringLiteral("; "));
    if (!m_decoderReported) {
        m_decoderReported = true;
        if (!hardware.isEmpty())
            qInfo().noquote() << QStringLiteral("Decoding in hardware (%1): %2").arg(hardware, path());
        else if (asked != QLatin1String("no"))
            qInfo().noquote() << QStringLiteral("Decoding in software, hardware decoding (%1) not used: %2 (%3)")
                                     .arg(asked, path(), notes);
    } else if (hardware.isEmpty() && m_hardwareBefore) {
        qWarning().noquote()
            << QStringLiteral("Hardware decoding stopped; decoding in software now: %1 (%2)").arg(path(), notes);
    }
    m_hardwareBefore = !hardware.isEmpty();
    m_decoderNotes.clear();
    // While a hardware decoder works, the player's warnings would say why it stops.
    if (m_mpv)
        mpv_request_log_messages(m_mpv.get(), hardware.isEmpty() ? "no" : "warn");
    if (hardware.isEmpty())
        m_hwdecTimer.stop();
    else if (!m_hwdecTimer.isActive())
        m_hwdecTimer.start();
}

void MpvObject::checkHardwareDecoder()
{
    const bool playing = !idle() && !paused();
    const double demuxed = m_haveDemuxedUpTo ? m_demuxedUpTo : std::nan("");
    if (m_hwdecWatch.failed(monotonicMs(), !hardwareDecoder().isEmpty(), playing, m_presentedFrames, demuxed))
        openInSoftware(
            QStringLiteral("no picture for %1 s while the stream came in").arg(HwdecWatch::kNoFrameMs / 1000.0), true);
}

void MpvObject::openInSoftware(const QString& reason, bool reload)
{
    if (m_softwareOnly)
        return;
    const QString hardware = hardwareDecoder();
    m_softwareOnly = true;
    m_hwdecTimer.stop();
    m_hardwareBefore = false;
    qWarning().noquote() << QStringLiteral("Hardware decoding (%1) failed: %2; the stream is opened in software from "
                                           "now on: %3")
                                .arg(hardware, reason, path());
    setOptionAsync(QStringLiteral("hwdec"), QStringLiteral("no"));
    const QPointer<MpvObject> alive(this);
    emit hwdecCurrentChanged(hwdecCurrent());
    if (alive && reload && !path().isEmpty())
        loadFile(path());
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

void MpvObject::setHoldPicture(bool value)
{
    if (value == m_holdRequested)
        return;
    m_holdRequested = value;
    applyHold();
    emit holdPictureChanged();
}

void MpvObject::applyHold()
{
    const bool hold = m_holdRequested || m_decoderRestarting;
    if (m_holdPicture->exchange(hold) == hold)
        return;
    if (m_frames)
        m_frames->setHold(hold);
    // Released: the current frame is drawn now, not at the next one.
    if (!hold)
        update();
}

void MpvObject::setExpectedVideoSize(const QString& value)
{
    if (value == m_expectedVideoSize)
        return;
    m_expectedVideoSize = value;
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(value);
    m_sizeHint = match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
    emit expectedVideoSizeChanged();
}

void MpvObject::setFullView(bool value)
{
    if (value == m_fullView)
        return;
    m_fullView = value;
    emit fullViewChanged(value);
    reconsiderDecoding();
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
    const qint64 asked = monotonicMs();
    const int code = mpv_set_property(m_mpv.get(), key.constData(), MPV_FORMAT_NODE, node.get());
    noteSlowCall(name, monotonicMs() - asked);
    reportFailure("property", key, value, code);
}

QVariant MpvObject::getProperty(const QString& name) const
{
    if (!m_mpv)
        return QVariant();
    mpv_node node;
    const qint64 asked = monotonicMs();
    const int code = mpv_get_property(m_mpv.get(), name.toUtf8().constData(), MPV_FORMAT_NODE, &node);
    noteSlowCall(name, monotonicMs() - asked);
    if (code < 0)
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

bool MpvObject::takePendingReply(const mpv_event& event, const char* failure)
{
    const auto pending = m_pendingCommands.find(event.reply_userdata);
    if (pending == m_pendingCommands.end())
        return false;
    if (event.error < 0)
        qWarning().noquote() << QString::fromLatin1(failure).arg(pending.value(),
                                                                 QString::fromUtf8(mpv_error_string(event.error)));
    m_pendingCommands.erase(pending);
    return true;
}

void MpvObject::setOptionAsync(const QString& name, const QString& value)
{
    if (!m_mpv)
        return;
    const QByteArray key = name.toUtf8();
    const QByteArray text = value.toUtf8();
    const char* data = text.constData();
    const quint64 id = ++m_lastReplyId;
    // libmpv copies the value before it returns. It carries out one client's requests in the order
    // they come (not promised by its documentation; the decoder restart relies on it too), so a
    // load or a decoder restart asked for after this one gets the new value.
    const int code = mpv_set_property_async(m_mpv.get(), id, key.constData(), MPV_FORMAT_STRING, &data);
    if (code < 0) {
        reportFailure("option", key, value, code);
        return;
    }
    m_pendingCommands.insert(id, QStringLiteral("\"%1\" = %2").arg(name, value));
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
