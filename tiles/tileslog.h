// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The tile policy's own log lines: "station.tiles".
Q_DECLARE_LOGGING_CATEGORY(lcTiles)
