// SPDX-License-Identifier: MIT
#include "tileslog.h"

Q_LOGGING_CATEGORY(lcTiles, "station.tiles")
