// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The events room's own log lines: "station.events".
Q_DECLARE_LOGGING_CATEGORY(lcEvents)
