// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <mpv/client.h>
#include <mpv/render.h>

// The libmpv core, shared by the video item and whatever draws its frames: whichever of them goes
// last has it destroyed (on a worker thread), after the render context has been freed.
using MpvHandle = std::shared_ptr<mpv_handle>;

// Takes in the frame that is due without drawing it: libmpv's output goes on (it would otherwise
// wait for the frame to be shown), and whatever shows the picture keeps the one it has.
inline void takeFrameWithoutDrawing(mpv_render_context* context)
{
    int skip = 1;
    int block = 0;
    mpv_render_param params[]{
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(context, params);
}
