// SPDX-License-Identifier: MIT
#include "multicamlog.h"

Q_LOGGING_CATEGORY(lcMulticam, "station.multicam")
