// SPDX-License-Identifier: MIT
#include "mpvrenderer.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QQuickWindow>
#include <QThread>

#include <mpv/render_gl.h>

namespace {

void* getProcAddress(void*, const char* name)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context)
        return nullptr;
    return reinterpret_cast<void*>(context->getProcAddress(QByteArray(name)));
}

} // namespace

MpvRenderer::MpvRenderer(const MpvObject* item, std::shared_ptr<std::atomic<quint64>> drawnFrames,
                         std::shared_ptr<std::atomic<bool>> holdPicture)
    : m_item(item),
      m_mpv(item->core()),
      m_window(item->window()),
      m_holdPicture(std::move(holdPicture)),
      m_drawnFrames(std::move(drawnFrames))
{
}

MpvRenderer::~MpvRenderer()
{
    // Render thread, OpenGL context current. No update may arrive once the context is gone, and
    // the context must go before the core does; our share keeps the core alive until then.
    if (m_context) {
        mpv_render_context_set_update_callback(m_context, nullptr, nullptr);
        // Take in the frame libmpv may be waiting to see drawn: its output would otherwise hold
        // the context up to its own time-out (some 200 ms) before letting it go.
        takeFrameWithoutDrawing(m_context);
        mpv_render_context_free(m_context);
        m_context = nullptr;
    }
    m_mpv.reset();
}

QOpenGLFramebufferObject* MpvRenderer::createFramebufferObject(const QSize& size)
{
    // Called during the sync, while the GUI thread waits: the item is alive and may be read.
    if (!m_context && !m_failed && m_mpv) {
        mpv_opengl_init_params glInit{&getProcAddress, nullptr};
        const char* apiType = MPV_RENDER_API_TYPE_OPENGL;
        mpv_render_param params[]{
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(apiType)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        if (mpv_render_context_create(&m_context, m_mpv.get(), params) < 0) {
            // Raising here would end the whole program from the render thread; this item stays
            // dark instead.
            m_context = nullptr;
            m_failed = true;
            qWarning() << "failed to initialize mpv GL context";
        } else {
            connect(this, &MpvRenderer::frameReady, m_item, &MpvObject::mpvUpdated, Qt::QueuedConnection);
            mpv_render_context_set_update_callback(m_context, &MpvRenderer::onUpdate, this);
        }
        // Either way the item may load now: a failure then shows as the file's end.
        connect(this, &MpvRenderer::contextReady, m_item, &MpvObject::renderContextReady, Qt::QueuedConnection);
        emit contextReady();
    }
    return QQuickFramebufferObject::Renderer::createFramebufferObject(size);
}

void MpvRenderer::render()
{
    // The item may be gone by now (threaded render loop): only the window and the context are used.
    if (!m_context)
        return;
    if (m_holdPicture && m_holdPicture->load()) {
        // The frame is taken, so that the player goes on, but the framebuffer keeps the picture.
        takeFrameWithoutDrawing(m_context);
        return;
    }
    m_window->resetOpenGLState();
    QOpenGLFramebufferObject* fbo = framebufferObject();
    mpv_opengl_fbo target{static_cast<int>(fbo->handle()), fbo->width(), fbo->height(), 0};
    int flipY = 0;
    mpv_render_param params[]{
        {MPV_RENDER_PARAM_OPENGL_FBO, &target},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (const int delay = MpvObject::renderDelayForTesting(); delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay));
    mpv_render_context_render(m_context, params);
    m_window->resetOpenGLState();
    ++*m_drawnFrames;
}

void MpvRenderer::onUpdate(void* context)
{
    // A libmpv thread: only signal; Qt queues it to the GUI thread and drops it if the item is gone.
    emit static_cast<MpvRenderer*>(context)->frameReady();
}
