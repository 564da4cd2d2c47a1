// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

class LayoutList;

// Diagnostics for measuring the live view from outside, off unless the environment asks for them
// (see tilestats.cpp). `layouts` gives the controller's layout list once the event loop runs.
void installTileDiagnostics(std::function<LayoutList*()> layouts);
