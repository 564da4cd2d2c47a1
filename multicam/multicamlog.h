// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The log lines of cameras played in step.
Q_DECLARE_LOGGING_CATEGORY(lcMulticam)
