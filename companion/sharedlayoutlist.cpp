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

} // namespace

LayoutList* sharedLayoutList()
{
    QPointer<LayoutList>& list = instance();
    if (!list) {
        list = new LayoutList;
        qAddPostRoutine(&deleteSharedLayoutList);
    }
    return list.data();
}
