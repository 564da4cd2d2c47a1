// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

// The diagnostics' own lines in the client's log ("station.diagnostics"): what was switched on,
// and why not. Their figures go to the channel of their own, never to the log.
Q_DECLARE_LOGGING_CATEGORY(lcDiagnostics)
