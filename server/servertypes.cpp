// SPDX-License-Identifier: MIT
#include "servertypes.h"

#include <QtQml>

#include "vantorclient.h"

void registerServerTypes()
{
    qmlRegisterType<VantorClient>("Native", 1, 0, "VantorClient");
}
