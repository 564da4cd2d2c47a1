// SPDX-License-Identifier: MIT
#pragma once

// Registers the layout list and the layout grid in QML module "Native" 1.0.
void registerLayoutsTypes();
