// SPDX-License-Identifier: MIT
#include "sharedlayoutlist.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtQml>

#include "layoutlist.h"

namespace {

QPointer<LayoutList>& instance()
{
    static QPointer<LayoutList> list;
    return list;
}

void deleteSharedLayoutList()
{
    delete instance().data();
}

QObject* provideLayoutList(QQmlEngine*, QJSEngine*)
{
    LayoutList* list = sharedLayoutList();
    // QuickRpc fills the same instance, so no engine may delete it with its singletons.
    QQmlEngine::setObjectOwnership(list, QQmlEngine::CppOwnership);
    return list;
}

void registerLayoutListSingleton()
{
    qmlRegisterSingletonType<LayoutList>("Native", 1, 0, "LayoutList", &provideLayoutList);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(registerLayoutListSingleton)

LayoutList* sharedLayoutList()
{
    QPointer<LayoutList>& list = instance();
    if (!list) {
        list = new LayoutList;
        qAddPostRoutine(&deleteSharedLayoutList);
    }
    return list.data();
}
