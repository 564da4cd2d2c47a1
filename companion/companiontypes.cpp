// SPDX-License-Identifier: MIT
#include "companiontypes.h"

#include <QtQml>

#include "layoutlist.h"
#include "quickrpc.h"
#include "sharedlayoutlist.h"

void registerCompanionTypes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;

    // Created by the engine on first use and deleted with it.
    qmlRegisterSingletonType<QuickRpc>("Native", 1, 0, "QuickRpc",
                                       [](QQmlEngine*, QJSEngine*) -> QObject* { return new QuickRpc; });
    qmlRegisterSingletonType<LayoutList>("Native", 1, 0, "LayoutList", [](QQmlEngine*, QJSEngine*) -> QObject* {
        LayoutList* list = sharedLayoutList();
        // QuickRpc fills the same instance, so no engine may delete it with its singletons.
        QQmlEngine::setObjectOwnership(list, QQmlEngine::CppOwnership);
        return list;
    });
}
