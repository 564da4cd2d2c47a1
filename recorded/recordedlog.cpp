// SPDX-License-Identifier: MIT
#include "recordedlog.h"

Q_LOGGING_CATEGORY(lcRecorded, "station.recorded")
