// SPDX-License-Identifier: MIT
#include "gatewaylog.h"

Q_LOGGING_CATEGORY(lcGateway, "station.gateway")
