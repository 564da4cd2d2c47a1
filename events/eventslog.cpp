// SPDX-License-Identifier: MIT
#include "eventslog.h"

Q_LOGGING_CATEGORY(lcEvents, "station.events")
