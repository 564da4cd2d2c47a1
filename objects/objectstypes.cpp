// SPDX-License-Identifier: MIT
#include "objectstypes.h"

#include <QtQml>

#include "treemodel.h"
#include "treenode.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"
#include "vantorsetting.h"

void registerObjectsTypes()
{
    qmlRegisterType<VantorObject>("Native", 1, 0, "VantorObject");
    qmlRegisterType<VantorSetting>("Native", 1, 0, "VantorSetting");
    qmlRegisterType<VantorObjectsRepository>("Native", 1, 0, "VantorObjectsRepository");
    qmlRegisterType<TreeNode>("Native", 1, 0, "TreeNode");
    qmlRegisterType<TreeModel>("Native", 1, 0, "TreeModel");
}
