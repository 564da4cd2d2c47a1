// SPDX-License-Identifier: MIT
#pragma once

// Registers the recorded page's classes in QML module "Native" 1.0.
void registerRecordedTypes();
