// SPDX-License-Identifier: MIT
#pragma once

// Registers the events room's classes in QML module "Native" 1.0.
void registerEventsTypes();
