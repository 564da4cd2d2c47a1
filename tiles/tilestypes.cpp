// SPDX-License-Identifier: MIT
#include "tilestypes.h"

#include <QtQml>

#include "stallwatch.h"
#include "streamchooser.h"
#include "tilerules.h"

void registerTilesTypes()
{
    // Made by the application from its configuration; QML reads it and its verdicts.
    qmlRegisterUncreatableType<TileRules>("Native", 1, 0, "TileRules",
                                          QStringLiteral("TileRules comes from App.tileRules"));
    qmlRegisterType<StreamChooser>("Native", 1, 0, "StreamChooser");
    qmlRegisterType<StallWatch>("Native", 1, 0, "StallWatch");
}
