// SPDX-License-Identifier: MIT
#include "gatewaytypes.h"

#include <QtQml>

#include "gatewayaddress.h"

void registerGatewayTypes()
{
    // Made by the engine on first use, without a parent, and deleted with it.
    qmlRegisterSingletonType<GatewayAddress>("Native", 1, 0, "GatewayAddress",
                                             [](QQmlEngine*, QJSEngine*) -> QObject* { return new GatewayAddress; });
}
