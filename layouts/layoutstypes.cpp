// SPDX-License-Identifier: MIT
#include "layoutstypes.h"

#include <QtQml>

#include "layoutlist.h"
#include "layoutmodel.h"

void registerLayoutsTypes()
{
    qmlRegisterType<LayoutList>("Native", 1, 0, "LayoutList");
    qmlRegisterType<LayoutModel>("Native", 1, 0, "LayoutModel");
}
