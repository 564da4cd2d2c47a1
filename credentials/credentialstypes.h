// SPDX-License-Identifier: MIT
#pragma once

// Registers the password store's type in QML module "Native" 1.0 (the application makes the one
// store; QML only reads it).
void registerCredentialsTypes();
