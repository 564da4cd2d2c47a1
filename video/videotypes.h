// SPDX-License-Identifier: MIT
#pragma once

// Registers the video item, the downloader and the POS overlay classes in QML module "Native" 1.0.
void registerVideoTypes();
