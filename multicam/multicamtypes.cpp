// SPDX-License-Identifier: MIT
#include "multicamtypes.h"

#include <QtQml>

#include "camerasync.h"

void registerMulticamTypes()
{
    qmlRegisterType<CameraSync>("Native", 1, 0, "CameraSync");
}
