// SPDX-License-Identifier: MIT
#include "eventstypes.h"

#include <QtQml>

#include "alarmcenter.h"
#include "eventlistmodel.h"

void registerEventsTypes()
{
    // Both are made by the application; QML reaches them through App.alarms.
    qmlRegisterUncreatableType<AlarmCenter>("Native", 1, 0, "AlarmCenter",
                                            QStringLiteral("AlarmCenter comes from App.alarms"));
    qmlRegisterUncreatableType<EventListModel>("Native", 1, 0, "EventListModel",
                                               QStringLiteral("EventListModel comes from App.alarms.model"));
}
