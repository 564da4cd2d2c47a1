// SPDX-License-Identifier: MIT
#include "credentialslog.h"

Q_LOGGING_CATEGORY(lcCredentials, "station.credentials")
