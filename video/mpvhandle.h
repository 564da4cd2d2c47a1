// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <mpv/client.h>

// The libmpv core, shared by the video item and whatever draws its frames: whichever of them goes
// last has it destroyed (on a worker thread), after the render context has been freed.
using MpvHandle = std::shared_ptr<mpv_handle>;
