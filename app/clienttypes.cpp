// SPDX-License-Identifier: MIT
#include "clienttypes.h"

#include <QtQml>

#include "app.h"
#include "cppaccessor.h"
#include "credentialstypes.h"
#include "eventstypes.h"
#include "gatewaytypes.h"
#include "i18n.h"
#include "layoutstypes.h"
#include "multicamtypes.h"
#include "objectstypes.h"
#include "recordedtypes.h"
#include "servertypes.h"
#include "storetypes.h"
#include "tilestypes.h"
#include "videotypes.h"

void registerClientTypes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;

    // The shell's singletons: made by the engine on first use, without a parent, and deleted with it.
    qmlRegisterSingletonType<App>("Native", 1, 0, "App", [](QQmlEngine*, QJSEngine*) -> QObject* { return new App; });
    qmlRegisterSingletonType<CppAccessor>("Native", 1, 0, "CppAccessor",
                                          [](QQmlEngine*, QJSEngine*) -> QObject* { return new CppAccessor; });
    qmlRegisterSingletonType<I18n>("Native", 1, 0, "I18n",
                                   [](QQmlEngine*, QJSEngine*) -> QObject* { return new I18n; });

    registerServerTypes();
    registerObjectsTypes();
    registerLayoutsTypes();
    registerGatewayTypes();
    registerVideoTypes();
    registerTilesTypes();
    registerRecordedTypes();
    registerMulticamTypes();
    registerStoreTypes();
    registerEventsTypes();
    registerCredentialsTypes();
}
