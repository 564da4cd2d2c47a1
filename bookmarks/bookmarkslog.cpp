// SPDX-License-Identifier: MIT
#include "bookmarkslog.h"

Q_LOGGING_CATEGORY(lcBookmarks, "station.bookmarks")
