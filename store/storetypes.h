// SPDX-License-Identifier: MIT
#pragma once

// Registers the local store's records in QML module "Native" 1.0.
void registerStoreTypes();
