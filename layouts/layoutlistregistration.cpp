// SPDX-License-Identifier: MIT
// In the client the layout list is a creatable type; the companion registers its own singleton.
#include <QCoreApplication>
#include <QtQml>

#include "layoutlist.h"

static void registerLayoutListType()
{
    qmlRegisterType<LayoutList>("Native", 1, 0, "LayoutList");
}
Q_COREAPP_STARTUP_FUNCTION(registerLayoutListType)
