// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The credentials room's own log lines.
Q_DECLARE_LOGGING_CATEGORY(lcCredentials)
