// SPDX-License-Identifier: MIT
// What the events tests share: a small repository and events as the server sends them.
#pragma once

#include <memory>

#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <vantor/vantor.h>

#include "stationevent.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

namespace eventfixtures {

inline VantorObjectPtr addObject(VantorObjectsRepository& repository, const QString& id, const QString& name,
                                 VantorObject::Type type, const QString& path, const QString& parentId = {})
{
    auto object = std::make_shared<VantorObject>();
    object->setId(id);
    object->setName(name);
    object->setType(type);
    object->setPath(path);
    object->setParentId(parentId);
    repository.add(object, QStringLiteral(","));
    return object;
}

// Site 1 > Gateway 2 > Cam 3 (a stream); Site 1 > Front door 6 (a sensor seen by camera 3) and
// Back door 7 (no camera).
inline std::unique_ptr<VantorObjectsRepository> smallSite()
{
    auto repository = std::make_unique<VantorObjectsRepository>();
    addObject(*repository, "1", "Site", VantorObject::Location, "Site");
    addObject(*repository, "2", "Gateway", VantorObject::Device, "Site,Gateway", "1");
    addObject(*repository, "3", "Cam 1", VantorObject::Stream, "Site,Gateway,Cam 1", "2");
    addObject(*repository, "6", "Front door", VantorObject::Sensor, "Site,Front door", "1")
        ->settings()
        ->insert(QStringLiteral("cameras"), QStringLiteral("3,4"));
    addObject(*repository, "7", "Back door", VantorObject::Sensor, "Site,Back door", "1");
    return repository;
}

inline pelmar::vantor::Event serverEvent(qint64 eventId, const char* className, qint64 sourceId, int priority,
                                         qint64 timestamp = QDateTime::currentMSecsSinceEpoch())
{
    pelmar::vantor::Event event;
    event.eventId = eventId;
    event.className = className;
    event.sourceId = sourceId;
    event.priority = priority;
    event.timestamp = timestamp;
    return event;
}

inline StationEvent entry(qint64 localId, const QString& className, int priority, qint64 sourceId = 6,
                          const QString& sourceName = QStringLiteral("Front door"))
{
    StationEvent event;
    event.localId = localId;
    event.eventId = localId;
    event.className = className;
    event.priority = priority;
    event.sourceId = sourceId;
    event.sourceName = sourceName;
    event.timestamp = QDateTime::currentMSecsSinceEpoch();
    event.serverTimestamp = event.timestamp;
    return event;
}

} // namespace eventfixtures
