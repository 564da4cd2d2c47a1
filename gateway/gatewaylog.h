// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The gateway room's own log lines.
Q_DECLARE_LOGGING_CATEGORY(lcGateway)
