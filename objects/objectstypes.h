// SPDX-License-Identifier: MIT
#pragma once

// Registers the object records, the repository and the tree model in QML module "Native" 1.0.
void registerObjectsTypes();
