// SPDX-License-Identifier: MIT
#include "storetypes.h"

#include <QtQml>

#include "camera.h"
#include "repository.h"
#include "user.h"

void registerStoreTypes()
{
    qmlRegisterType<Repository>("Native", 1, 0, "Repository");
    qmlRegisterType<User>("Native", 1, 0, "User");
    qmlRegisterType<Camera>("Native", 1, 0, "Camera");
}
