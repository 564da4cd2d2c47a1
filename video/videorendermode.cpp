// SPDX-License-Identifier: MIT
#include "videorendermode.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>

namespace VideoRenderMode {

namespace {

// Asks a throw-away context which renderer the system's OpenGL is; empty when none can be made.
QString askGlRenderer()
{
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface))
        return QString();
    const auto* text = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = text ? QString::fromLatin1(text) : QString();
    context.doneCurrent();
    return renderer;
}

// Asked once: both the scene graph's choice at start-up and the video items' need the answer.
QString probeGlRenderer()
{
    static const QString renderer = askGlRenderer();
    return renderer;
}

Mode decide()
{
    // Qt Quick without OpenGL leaves no other choice.
    if (QQuickWindow::sceneGraphBackend() == QLatin1String("software")) {
        qInfo() << "Video renderer: software (Qt Quick draws without OpenGL)";
        return Software;
    }
    const QByteArray forced = qgetenv("STATION_VIDEO_RENDERER");
    if (!forced.isEmpty()) {
        Mode mode = OpenGL;
        bool automatic = false;
        if (!parseMode(QString::fromLatin1(forced), &mode, &automatic)) {
            qWarning() << "STATION_VIDEO_RENDERER is not opengl, software or auto:" << forced << "- choosing by itself";
        } else if (!automatic) {
            qInfo() << "Video renderer:" << name(mode) << "(STATION_VIDEO_RENDERER)";
            return mode;
        }
    }
    const QString renderer = probeGlRenderer();
    if (renderer.isEmpty()) {
        qWarning() << "Video renderer: no OpenGL context could be made; drawing video in software";
        return Software;
    }
    const Mode mode = isSoftwareRasterizer(renderer) ? Software : OpenGL;
    qInfo() << "Video renderer:" << name(mode) << "- OpenGL renderer" << renderer;
    return mode;
}

} // namespace

void chooseSceneGraphBackend()
{
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") || !qEnvironmentVariableIsEmpty("QMLSCENE_DEVICE")) {
        qInfo() << "Scene graph: as QT_QUICK_BACKEND says";
        return;
    }
    const QByteArray forced = qgetenv("STATION_SCENE_GRAPH");
    Mode mode = OpenGL;
    bool automatic = true;
    if (!forced.isEmpty() && !parseMode(QString::fromLatin1(forced), &mode, &automatic)) {
        qWarning() << "STATION_SCENE_GRAPH is not opengl, software or auto:" << forced << "- choosing by itself";
        automatic = true;
    }
    if (automatic) {
        // Video drawn with OpenGL by hand wants OpenGL windows.
        const QByteArray video = qgetenv("STATION_VIDEO_RENDERER").trimmed().toLower();
        if (video == "opengl" || video == "gl")
            return;
        const QString renderer = probeGlRenderer();
        if (!renderer.isEmpty() && !isSoftwareRasterizer(renderer))
            return;
        qInfo() << "Scene graph: software, as OpenGL here is"
                << (renderer.isEmpty() ? QStringLiteral("not available") : renderer);
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    } else if (mode == Software) {
        qInfo() << "Scene graph: software (STATION_SCENE_GRAPH)";
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    }
}

Mode current()
{
    static const Mode mode = decide();
    return mode;
}

bool isSoftwareRasterizer(const QString& glRenderer)
{
    static const char* const software[] = {"llvmpipe", "softpipe", "software rasterizer", "swrast", "swr ", "lavapipe"};
    const QString lower = glRenderer.toLower() + QLatin1Char(' ');
    for (const char* marker : software) {
        if (lower.contains(QLatin1String(marker)))
            return true;
    }
    return false;
}

bool parseMode(const QString& text, Mode* mode, bool* automatic)
{
    const QString value = text.trimmed().toLower();
    *automatic = false;
    if (value == QLatin1String("opengl") || value == QLatin1String("gl")) {
        *mode = OpenGL;
    } else if (value == QLatin1String("software") || value == QLatin1String("sw")) {
        *mode = Software;
    } else if (value == QLatin1String("auto")) {
        *automatic = true;
    } else {
        return false;
    }
    return true;
}

QString name(Mode mode)
{
    return mode == Software ? QStringLiteral("software") : QStringLiteral("opengl");
}

} // namespace VideoRenderMode
