// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The recorded-video room's own log lines.
Q_DECLARE_LOGGING_CATEGORY(lcRecorded)
