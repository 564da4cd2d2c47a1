// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// How video items draw their frames, chosen once per process.
//
// OpenGL: libmpv renders with its OpenGL renderer into a framebuffer of the scene. Right when a
// GPU does the work.
// Software: libmpv converts and scales each frame into memory on a worker thread, and the scene
// shows it as an opaque texture. Where OpenGL is itself a software rasterizer (no GPU), this skips
// a rasterizer pass per frame and never makes the player wait for the window to be drawn.
namespace VideoRenderMode {

enum Mode { OpenGL, Software };

// The choice, made on first use (GUI thread, before the first video item draws):
// STATION_VIDEO_RENDERER=opengl|software|auto, then Qt Quick's software backend, then whether the
// system's OpenGL renderer is a software rasterizer.
Mode current();

// Where OpenGL is a software rasterizer, tells Qt Quick to draw its windows in software as well:
// composing a window of video tiles through the rasterizer costs more than decoding and
// converting all of them. Call before the first window is made. QT_QUICK_BACKEND, Qt's own
// setting, is left to decide when set; STATION_SCENE_GRAPH=opengl|software|auto chooses by hand.
void chooseSceneGraphBackend();

// What decides for "auto", exposed for tests: the OpenGL renderer's name, as GL_RENDERER reads.
bool isSoftwareRasterizer(const QString& glRenderer);

// Parses a STATION_VIDEO_RENDERER value; false for anything else.
bool parseMode(const QString& text, Mode* mode, bool* automatic);

QString name(Mode mode);

} // namespace VideoRenderMode
