// SPDX-License-Identifier: MIT
#include "videotypes.h"

#include <QtQml>

#include "downloader.h"
#include "mpvobject.h"
#include "posreceiver.h"
#include "qmlutils.h"
#include "subtitlelist.h"

void registerVideoTypes()
{
    qmlRegisterType<MpvObject>("Native", 1, 0, "MpvObject");
    qmlRegisterType<Downloader>("Native", 1, 0, "Downloader");
    qmlRegisterType<SubtitleList>("Native", 1, 0, "SubtitleList");
    // Singletons: made by the engine on first use, without a parent, and deleted with it.
    qmlRegisterSingletonType<QmlUtils>("Native", 1, 0, "QmlUtils",
                                       [](QQmlEngine*, QJSEngine*) -> QObject* { return new QmlUtils; });
    qmlRegisterSingletonType<PosReceiver>("Native", 1, 0, "PosReceiver",
                                          [](QQmlEngine*, QJSEngine*) -> QObject* { return new PosReceiver; });
}
