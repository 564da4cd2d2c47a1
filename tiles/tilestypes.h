// SPDX-License-Identifier: MIT
#pragma once

// Registers the tile policy classes in QML module "Native" 1.0.
void registerTilesTypes();
