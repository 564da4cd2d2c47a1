// SPDX-License-Identifier: MIT
#include "eventclasses.h"

#include <QCoreApplication>

namespace {

struct KnownClass
{
    const char* name;
    const char* title;
    const char* fields;
};

const KnownClass knownClasses[] = {
    {"door.opened", QT_TRANSLATE_NOOP("EventClasses", "Door opened"), "door:text"},
    {"door.closed", QT_TRANSLATE_NOOP("EventClasses", "Door closed"), "door:text"},
    {"door.accessGranted", QT_TRANSLATE_NOOP("EventClasses", "Access granted"), "door:text cardHolder:text card:text"},
    {"door.accessDenied", QT_TRANSLATE_NOOP("EventClasses", "Access denied"),
     "door:text cardHolder:text card:text reason:text"},
    {"door.forcedOpen", QT_TRANSLATE_NOOP("EventClasses", "Door forced open"), "door:text"},
    {"door.heldOpen", QT_TRANSLATE_NOOP("EventClasses", "Door held open"), "door:text heldOpenSeconds:int"},
    {"camera.motion", QT_TRANSLATE_NOOP("EventClasses", "Motion"), "camera:text"},
    {"camera.tamper", QT_TRANSLATE_NOOP("EventClasses", "Camera tampered"), "camera:text"},
    {"station.ack", QT_TRANSLATE_NOOP("EventClasses", "Alarm acknowledged"), "eventId:int user:text time:int"},
    {"station.doorCommand", QT_TRANSLATE_NOOP("EventClasses", "Door command"), "actuatorId:text value:bool user:text"},
};

const KnownClass* find(const QString& className)
{
    for (const KnownClass& known : knownClasses) {
        if (className == QLatin1String(known.name))
            return &known;
    }
    return nullptr;
}

} // namespace

namespace EventClasses {

QString title(const QString& className, const QString& fieldsText)
{
    if (const KnownClass* known = find(className))
        return QCoreApplication::translate("EventClasses", known->title);
    if (fieldsText.isEmpty())
        return className;
    return className + QStringLiteral(" (") + fieldsText + QLatin1Char(')');
}

bool isKnown(const QString& className)
{
    return find(className) != nullptr;
}

QString expectedFields(const QString& className)
{
    const KnownClass* known = find(className);
    return known ? QString::fromLatin1(known->fields) : QString();
}

} // namespace EventClasses
