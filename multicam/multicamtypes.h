// SPDX-License-Identifier: MIT
#pragma once

// Registers the classes of cameras in step in QML module "Native" 1.0.
void registerMulticamTypes();
