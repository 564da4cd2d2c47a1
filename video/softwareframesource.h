// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QImage>
#include <QSize>

#include "mpvhandle.h"

struct mpv_render_context;

// libmpv's software renderer for one core: each new frame is converted and scaled into memory on a
// worker thread as soon as libmpv has it. For a live picture the player then never waits for the
// window to be drawn: only the newest frame is kept, and one that the scene has not taken by the
// time the next is ready is dropped (fewer pictures, never older ones). A recording instead keeps
// every frame, and its player waits for the scene.
//
// Shared by the video item and the worker tasks in flight; whichever lets go last ends it. The
// render context is freed before the share of the core is released, as libmpv requires.
class SoftwareFrameSource : public std::enable_shared_from_this<SoftwareFrameSource>
{
public:
    // Any thread, before any file loads (video output cannot start without a render context).
    // Null, with a warning, when libmpv refuses a software render context.
    static std::shared_ptr<SoftwareFrameSource> create(MpvHandle core);
    ~SoftwareFrameSource();

    SoftwareFrameSource(const SoftwareFrameSource&) = delete;
    SoftwareFrameSource& operator=(const SoftwareFrameSource&) = delete;

    // Called on the worker thread after each new frame is ready to be taken; it must only post.
    // Cleared (with an empty function) before its receiver goes: after that returns, it is never
    // called again.
    void setFrameReadyHandler(std::function<void()> handler);

    // The size to convert frames to, in device pixels. A new size converts the current frame
    // again, so that a paused picture follows a resize.
    void setTargetSize(const QSize& size);

    // The newest frame when there is one not taken yet; a null image otherwise.
    QImage takeFrame();

    // Live pictures replace a frame that was not taken yet (the default); recordings keep every
    // frame, and the player waits until the scene has taken the last one.
    void setKeepEveryFrame(bool keep);

    // While held, frames are taken from libmpv but not converted: the scene keeps the last picture
    // (across a change of stream, until the new stream's first frame). Releasing converts the
    // current frame at once.
    void setHold(bool hold);

    // Frames converted, and frames replaced before anyone took them.
    quint64 convertedFrames() const { return m_converted.load(); }
    quint64 replacedFrames() const { return m_replaced.load(); }

    // Slows every conversion by this much: lets tests play a machine that cannot keep up.
    static void setConversionDelayForTesting(int ms);
    // Holds libmpv's update callback this long: lets tests let go of the source while it runs.
    static void setUpdateDelayForTesting(int ms);

private:
    explicit SoftwareFrameSource(MpvHandle core);

    static void onUpdate(void* context);
    void schedule();
    // Hands `self`, a share of this source, to the worker.
    void schedule(std::shared_ptr<SoftwareFrameSource> self);
    void run();
    // One pass over libmpv's pending work; converts when a frame is due or `force` is set.
    void convert(bool force);

    // A buffer to convert the next frame into, that neither the scene nor the pending frame holds;
    // null when no memory is left.
    QImage* frameBuffer(const QSize& size);

    MpvHandle m_core;
    mpv_render_context* m_context = nullptr;
    // The frame buffers, written by the converting task only (one at a time): the one converted
    // last, the one the scene shows, and one to write into.
    std::array<QImage, 3> m_buffers;
    QImage m_overflow;

    // Conversion requests since the running task last looked; one task runs at a time.
    std::atomic<int> m_requests{0};
    std::atomic<bool> m_redraw{false};
    std::atomic<bool> m_hold{false};
    std::atomic<quint64> m_converted{0};
    std::atomic<quint64> m_replaced{0};

    std::mutex m_lock; // guards everything below
    std::function<void()> m_frameReady;
    QSize m_targetSize;
    QImage m_pending;
    bool m_keepEveryFrame = true;
    // A frame is due but waits for the scene to take the one before.
    bool m_deferred = false;
};
