// SPDX-License-Identifier: MIT
#pragma once

// Registers the companion's singletons in QML module "Native" 1.0: QuickRpc and the shared layout
// list. Runs once; later calls do nothing.
void registerCompanionTypes();
