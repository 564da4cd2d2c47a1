// SPDX-License-Identifier: MIT
#include "softwareframesource.h"

#include <cstdlib>
#include <thread>
#include <utility>

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>

#include <mpv/render.h>

namespace {

std::atomic<int> s_conversionDelayMs{0};
std::atomic<int> s_updateDelayMs{0};

// Conversions of every video item share these threads, apart from the global pool, where ending
// a core may block for most of a second.
QThreadPool& conversionPool()
{
    static QThreadPool* pool = [] {
        auto* created = new QThreadPool();
        created->setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
        created->setExpiryTimeout(-1);
        return created;
    }();
    return *pool;
}

// libmpv's scalers work fastest on 64-byte aligned lines; so does the upload of a texture.
constexpr int kAlignment = 64;

QImage alignedImage(const QSize& size)
{
    const int stride = (size.width() * 4 + kAlignment - 1) / kAlignment * kAlignment;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height());
    void* data = std::aligned_alloc(kAlignment, bytes);
    if (!data)
        return QImage();
    // libmpv's "bgr0" is QImage's RGB32 in memory order on a little-endian machine; the unused
    // byte is not defined, which an opaque texture never reads.
    return QImage(
        static_cast<uchar*>(data), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* buffer) { std::free(buffer); }, data);
}

} // namespace

std::shared_ptr<SoftwareFrameSource> SoftwareFrameSource::create(MpvHandle core)
{
    if (!core)
        return nullptr;
    std::shared_ptr<SoftwareFrameSource> source(new SoftwareFrameSource(std::move(core)));
    const char* apiType = MPV_RENDER_API_TYPE_SW;
    mpv_render_param params[]{
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(apiType)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    const int result = mpv_render_context_create(&source->m_context, source->m_core.get(), params);
    if (result < 0) {
        qWarning() << "failed to initialize mpv software renderer:" << mpv_error_string(result);
        source->m_context = nullptr;
        return nullptr;
    }
    mpv_render_context_set_update_callback(source->m_context, &SoftwareFrameSource::onUpdate, source.get());
    return source;
}

SoftwareFrameSource::SoftwareFrameSource(MpvHandle core) : m_core(std::move(core)) {}

SoftwareFrameSource::~SoftwareFrameSource()
{
    if (m_context) {
        // After this returns libmpv calls no more updates; one running now holds the same lock.
        mpv_render_context_set_update_callback(m_context, nullptr, nullptr);
        QElapsedTimer took;
        took.start();
        mpv_render_context_free(m_context);
        m_context = nullptr;
        if (took.elapsed() > 1000)
            qInfo() << "Ending a player's drawing took" << took.elapsed() << "ms";
    }
    // Only now may the core go (on whichever thread lets go of it last).
    m_core.reset();
}

void SoftwareFrameSource::setConversionDelayForTesting(int ms)
{
    s_conversionDelayMs.store(qMax(0, ms));
}

void SoftwareFrameSource::setUpdateDelayForTesting(int ms)
{
    s_updateDelayMs.store(qMax(0, ms));
}

void SoftwareFrameSource::setFrameReadyHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_frameReady = std::move(handler);
}

void SoftwareFrameSource::setTargetSize(const QSize& size)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (size == m_targetSize)
            return;
        m_targetSize = size;
    }
    m_redraw.store(true);
    schedule();
}

QImage SoftwareFrameSource::takeFrame()
{
    QImage frame;
    bool deferred = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        frame.swap(m_pending);
        deferred = std::exchange(m_deferred, false);
    }
    if (deferred)
        schedule();
    return frame;
}

void SoftwareFrameSource::setHold(bool hold)
{
    if (m_hold.exchange(hold) == hold || hold)
        return;
    m_redraw.store(true);
    schedule();
}

void SoftwareFrameSource::setKeepEveryFrame(bool keep)
{
    bool deferred = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_keepEveryFrame = keep;
        if (!keep)
            deferred = std::exchange(m_deferred, false);
    }
    if (deferred)
        schedule();
}

void SoftwareFrameSource::onUpdate(void* context)
{
    // A libmpv thread, which must not call back into libmpv: hand the work to a worker. During
    // destruction no share can be had any more, and the update is simply dropped.
    std::shared_ptr<SoftwareFrameSource> self = static_cast<SoftwareFrameSource*>(context)->weak_from_this().lock();
    if (!self)
        return;
    // The item may let go of its share meanwhile, and this one must not be the last: the source
    // would end on this thread, inside the callback, and wait for the lock that libmpv holds
    // around it (one player in thousands was never ended so). The share goes to a worker.
    SoftwareFrameSource* source = self.get();
    source->schedule(std::move(self));
    if (const int delay = s_updateDelayMs.load(); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

void SoftwareFrameSource::schedule()
{
    schedule(shared_from_this());
}

void SoftwareFrameSource::schedule(std::shared_ptr<SoftwareFrameSource> self)
{
    // The first request since the running task last looked starts a task; later ones are picked up
    // by that task's loop, so that one source never converts on two threads at once.
    if (m_requests.fetch_add(1) != 0) {
        conversionPool().start([share = std::move(self)]() mutable { share.reset(); });
        return;
    }
    conversionPool().start([share = std::move(self)] { share->run(); });
}

void SoftwareFrameSource::run()
{
    int seen = m_requests.load();
    for (;;) {
        convert(m_redraw.exchange(false));
        const int before = m_requests.fetch_sub(seen);
        if (before == seen)
            return;
        seen = before - seen;
    }
}

QImage* SoftwareFrameSource::frameBuffer(const QSize& size)
{
    // A buffer that the scene has let go of is written again. Large blocks come straight from the
    // system and go back to it when freed (the allocator's setting at start-up), so a new buffer
    // for each frame would cost a picture's worth of page faults each time.
    QImage* spare = nullptr;
    for (QImage& buffer : m_buffers) {
        if (buffer.isNull() || buffer.isDetached()) {
            if (buffer.size() == size)
                return &buffer;
            spare = &buffer;
        }
    }
    // All held (a scene slow to let go): a buffer of its own for this frame.
    if (!spare)
        spare = &m_overflow;
    *spare = alignedImage(size);
    return spare->isNull() ? nullptr : spare;
}

void SoftwareFrameSource::convert(bool force)
{
    if (!m_context)
        return;
    QSize size;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_keepEveryFrame && !m_pending.isNull()) {
            // The frame stays with libmpv until the scene has taken the one before; so does a
            // redraw at a new size.
            m_deferred = true;
            if (force)
                m_redraw.store(true);
            return;
        }
        size = m_targetSize;
    }
    const uint64_t flags = mpv_render_context_update(m_context);
    if (!(flags & MPV_RENDER_UPDATE_FRAME) && !force)
        return;

    int block = 0;
    if (size.isEmpty() || m_hold.load()) {
        // Nowhere to draw yet; still take the frame in, or the player would wait for it.
        takeFrameWithoutDrawing(m_context);
        return;
    }

    QImage* buffer = frameBuffer(size);
    if (!buffer) {
        qWarning() << "no memory for a video frame of" << size;
        return;
    }
    // Written while only this source holds it: a shared one would be copied first (Qt's images
    // copy on write), which is the allocation this saves.
    uchar* bits = buffer->bits();
    int dimensions[2]{size.width(), size.height()};
    std::size_t stride = static_cast<std::size_t>(buffer->bytesPerLine());
    const char* format = "bgr0";
    // A frame that is due is converted now; the scene shows it as soon as it is taken.
    mpv_render_param params[]{
        {MPV_RENDER_PARAM_SW_SIZE, dimensions},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>(format)},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, bits},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (const int delay = s_conversionDelayMs.load(); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    const int result = mpv_render_context_render(m_context, params);
    if (result < 0) {
        static std::atomic<bool> warned{false};
        if (!warned.exchange(true))
            qWarning() << "mpv software rendering failed:" << mpv_error_string(result);
        return;
    }
    ++m_converted;

    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pending.isNull())
        ++m_replaced;
    m_pending = *buffer;
    if (m_frameReady)
        m_frameReady();
}
