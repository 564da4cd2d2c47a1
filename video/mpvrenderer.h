// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QQuickFramebufferObject>

#include "mpvobject.h"

struct mpv_render_context;
class QQuickWindow;

// Draws one MpvObject's video on Qt Quick's render thread. It owns the libmpv render context and
// a share of the core, so that the context is freed here, with the window's OpenGL context
// current, even when the item was already destroyed on the GUI thread.
class MpvRenderer : public QObject, public QQuickFramebufferObject::Renderer
{
    Q_OBJECT

public:
    // Made by the item during the scene-graph sync, when the item may be read safely.
    MpvRenderer(const MpvObject* item, std::shared_ptr<std::atomic<quint64>> drawnFrames,
                std::shared_ptr<std::atomic<bool>> holdPicture);
    ~MpvRenderer() override;

    void render() override;
    QOpenGLFramebufferObject* createFramebufferObject(const QSize& size) override;

signals:
    // Emitted from a libmpv thread when a new frame is ready; queued to the item.
    void frameReady();
    // Emitted on the render thread once the render context was made, or could not be.
    void contextReady();

private:
    static void onUpdate(void* context);

    const MpvObject* m_item;
    MpvHandle m_mpv;
    QQuickWindow* m_window;
    mpv_render_context* m_context = nullptr;
    bool m_failed = false;
    std::shared_ptr<std::atomic<bool>> m_holdPicture;
    std::shared_ptr<std::atomic<quint64>> m_drawnFrames;
};
