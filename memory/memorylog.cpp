// SPDX-License-Identifier: MIT
#include "memorylog.h"

Q_LOGGING_CATEGORY(lcMemory, "station.memory")
