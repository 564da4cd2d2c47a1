// SPDX-License-Identifier: MIT
#pragma once

// Registers the server client in QML module "Native" 1.0.
void registerServerTypes();
