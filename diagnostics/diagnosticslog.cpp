// SPDX-License-Identifier: MIT
#include "diagnosticslog.h"

Q_LOGGING_CATEGORY(lcDiagnostics, "station.diagnostics")
