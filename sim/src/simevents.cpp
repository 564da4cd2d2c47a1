// SPDX-License-Identifier: MIT
// The events a site raises by itself: doors that open, close, are forced or held open; access
// attempts and camera alarms on the site's schedules; and event floods for load tests. They go out
// as every other event does (stored for "events", pushed to signed-in sessions).
#include <algorithm>

#include "simserver.h"
#include "wire.h"

namespace vantorsim {

namespace wire = pelmar::vantor::wire;
using pelmar::vantor::BoolValue;
using pelmar::vantor::IntValue;
using pelmar::vantor::NameValueMap;
using pelmar::vantor::StringValue;
using pelmar::vantor::ValuePtr;

namespace {

// An opening this soon after an open command or a grant is the command's or the grant's.
constexpr auto authorizationWindow = std::chrono::seconds(5);
constexpr int defaultHeldOpenSeconds = 30;
constexpr int floodTickMs = 5;

enum Priority : int {
    DoorMovedPriority = 10,
    AccessGrantedPriority = 20,
    MotionPriority = 40,
    AccessDeniedPriority = 60,
    HeldOpenPriority = 70,
    TamperPriority = 80,
    ForcedOpenPriority = 90,
};

NameValueMap doorFields(const SiteObject& sensor)
{
    NameValueMap fields;
    fields.setValue("door", StringValue(sensor.data.name));
    return fields;
}

// A door is closed while its sensor's value is true (the demo's and the client's reading).
bool isOpenValue(const ValuePtr& value)
{
    return value && !value.value().toBool();
}

} // namespace

void SimServer::initDoors()
{
    for (const auto& o : m_site.objects)
        if (isDoorSensor(m_site, o))
            m_doors[o.data.id].open = isOpenValue(o.value);
}

void SimServer::startEventSchedules()
{
    const EventPlan& plan = m_site.events;
    for (std::size_t i = 0; i < plan.access.size(); ++i)
        if (plan.access[i].everySeconds > 0)
            scheduleAccess(i, 0);
    for (std::size_t i = 0; i < plan.cameras.size(); ++i) {
        if (plan.cameras[i].motionEverySeconds > 0)
            scheduleCamera(i, ScheduleKind::Motion, 0);
        if (plan.cameras[i].tamperEverySeconds > 0)
            scheduleCamera(i, ScheduleKind::Tamper, 0);
    }
    for (std::size_t i = 0; i < plan.forced.size(); ++i)
        if (plan.forced[i].everySeconds > 0)
            scheduleForced(i, 0);
}

SimServer::Event SimServer::raiseEvent(const std::string& className, ObjectId sourceId, int priority,
                                       NameValueMap fields)
{
    Event event;
    event.className = className;
    event.sourceId = sourceId;
    event.priority = priority;
    event.fields = std::move(fields);
    storeEvent(event);
    pushToSignedIn({{"type", "push"}, {"kind", "eventReceived"}, {"event", wire::eventToJson(event)}});
    return event;
}

void SimServer::endEvent(Event event)
{
    event.fields.setValue("endedAt", IntValue(nowMs()));
    storeEvent(event);
    pushToSignedIn({{"type", "push"}, {"kind", "eventUpdated"}, {"event", wire::eventToJson(event)}});
}

void SimServer::setSensorValue(ObjectId sensorId, const ValuePtr& value, DoorCause cause)
{
    SiteObject* sensor = m_site.find(sensorId);
    if (!sensor)
        return;
    sensor->value = value;
    pushValue("sensorValue", sensorId, value.value());
    auto door = m_doors.find(sensorId);
    if (door != m_doors.end() && door->second.open != isOpenValue(value))
        doorMoved(*sensor, isOpenValue(value), cause);
}

void SimServer::doorMoved(const SiteObject& sensor, bool open, DoorCause cause)
{
    const ObjectId id = sensor.data.id;
    DoorState& door = m_doors[id];
    door.open = open;
    if (!open) {
        raiseEvent("door.closed", id, DoorMovedPriority, doorFields(sensor));
        // The alarms of the opening end with it.
        for (auto* alarm : {&door.forced, &door.held}) {
            if (*alarm)
                endEvent(**alarm);
            alarm->reset();
        }
        return;
    }
    const std::uint64_t opening = ++door.opening;
    raiseEvent("door.opened", id, DoorMovedPriority, doorFields(sensor));
    const bool authorized =
        cause != DoorCause::ByHand || (door.authorizedAt && Clock::now() - *door.authorizedAt <= authorizationWindow);
    door.authorizedAt.reset(); // a command or a grant lets one opening through
    if (!authorized)
        door.forced = raiseEvent("door.forcedOpen", id, ForcedOpenPriority, doorFields(sensor));
    const int heldSeconds = heldOpenSeconds(sensor);
    if (heldSeconds > 0)
        schedule(heldSeconds * 1000, [this, id, opening, heldSeconds] { raiseHeldOpen(id, opening, heldSeconds); });
}

void SimServer::raiseHeldOpen(ObjectId sensorId, std::uint64_t opening, int seconds)
{
    DoorState& door = m_doors[sensorId];
    const SiteObject* sensor = m_site.find(sensorId);
    if (!sensor || !door.open || door.opening != opening || door.held)
        return; // closed meanwhile, or opened anew
    NameValueMap fields = doorFields(*sensor);
    fields.setValue("heldOpenSeconds", IntValue(seconds));
    door.held = raiseEvent("door.heldOpen", sensorId, HeldOpenPriority, std::move(fields));
}

int SimServer::heldOpenSeconds(const SiteObject& sensor) const
{
    const auto& settings = sensor.data.settings;
    if (!settings.contains("heldOpenSeconds"))
        return defaultHeldOpenSeconds;
    const auto& value = settings.value("heldOpenSeconds");
    const std::int64_t seconds = value.toInt64();
    // The file is checked at start; a control command may still set anything.
    if (value.tag() != pelmar::vantor::Value::IntTag || seconds < 0 || seconds > 7 * 24 * 3600) {
        logLine("sensor " + std::to_string(sensor.data.id) + ": setting \"heldOpenSeconds\" is no number of seconds; " +
                "using " + std::to_string(defaultHeldOpenSeconds));
        return defaultHeldOpenSeconds;
    }
    return static_cast<int>(seconds);
}

void SimServer::noteActuatorCommand(const SiteObject& actuator, const pelmar::vantor::Value& value)
{
    const std::string layout = actuator.data.settings.value("layout").toString();
    if (actuator.data.className != "actuator.DOOR" || layout.empty())
        return;
    for (const auto& s : m_site.objects) {
        if (s.data.type == SensorType && s.data.settings.value("layout").toString() == layout) {
            // A close command locks the door again: whoever opens it next forces it.
            auto& authorizedAt = m_doors[s.data.id].authorizedAt;
            if (value.toBool())
                authorizedAt.reset();
            else
                authorizedAt = Clock::now();
            return;
        }
    }
}

ObjectId SimServer::openDoorByHand(ObjectId sensorId, int seconds)
{
    setSensorValue(sensorId, makeValue<BoolValue>(false), DoorCause::ByHand);
    DoorState& door = m_doors[sensorId];
    const std::uint64_t opening = door.opening;
    schedule(seconds * 1000, [this, sensorId, opening] {
        if (m_doors[sensorId].open && m_doors[sensorId].opening == opening)
            setSensorValue(sensorId, makeValue<BoolValue>(true), DoorCause::ByHand);
    });
    return door.forced ? door.forced->eventId : 0;
}

ObjectId SimServer::accessAttemptAt(ObjectId sensorId, const AccessAttempt& attempt, int openSeconds)
{
    const SiteObject* sensor = m_site.find(sensorId);
    if (!sensor)
        return 0;
    NameValueMap fields = doorFields(*sensor);
    fields.setValue("cardHolder", StringValue(attempt.cardHolder));
    fields.setValue("card", StringValue(attempt.card));
    if (!attempt.granted) {
        fields.setValue("reason", StringValue(attempt.reason));
        return raiseEvent("door.accessDenied", sensorId, AccessDeniedPriority, std::move(fields)).eventId;
    }
    const ObjectId eventId =
        raiseEvent("door.accessGranted", sensorId, AccessGrantedPriority, std::move(fields)).eventId;
    DoorState& door = m_doors[sensorId];
    door.authorizedAt = Clock::now();
    if (!door.open) {
        setSensorValue(sensorId, makeValue<BoolValue>(false), DoorCause::Grant);
        const std::uint64_t opening = door.opening;
        schedule(openSeconds * 1000, [this, sensorId, opening] {
            if (m_doors[sensorId].open && m_doors[sensorId].opening == opening)
                setSensorValue(sensorId, makeValue<BoolValue>(true), DoorCause::Grant);
        });
    }
    return eventId;
}

void SimServer::scheduleAccess(std::size_t plan, std::uint64_t k)
{
    const AccessPlan& p = m_site.events.access[plan];
    const auto gap =
        scheduleGapMs(m_site.events.seed, ScheduleKind::Access, p.door, k, p.everySeconds, p.firstAfterSeconds);
    schedule(static_cast<int>(gap), [this, plan, k] {
        const AccessPlan& p = m_site.events.access[plan];
        accessAttemptAt(p.door, accessAttempt(m_site.events.seed, p, k), p.openSeconds);
        scheduleAccess(plan, k + 1);
    });
}

void SimServer::scheduleCamera(std::size_t plan, ScheduleKind kind, std::uint64_t k)
{
    const CameraPlan& p = m_site.events.cameras[plan];
    const bool motion = kind == ScheduleKind::Motion;
    const int every = motion ? p.motionEverySeconds : p.tamperEverySeconds;
    const int lasts = motion ? p.motionSeconds : p.tamperSeconds;
    const int first = motion ? p.motionFirstAfterSeconds : p.tamperFirstAfterSeconds;
    std::int64_t gap = scheduleGapMs(m_site.events.seed, kind, p.stream, k, every, first);
    // The next one starts after the last has ended.
    if (k > 0)
        gap = std::max<std::int64_t>(gap, std::int64_t(lasts) * 1000 + 1000);
    schedule(static_cast<int>(gap), [this, plan, kind, k, motion, lasts] {
        const CameraPlan& p = m_site.events.cameras[plan];
        const SiteObject* stream = m_site.find(p.stream);
        NameValueMap fields;
        fields.setValue("camera", StringValue(stream ? stream->data.name : std::string()));
        const Event event = raiseEvent(motion ? "camera.motion" : "camera.tamper", p.stream,
                                       motion ? MotionPriority : TamperPriority, std::move(fields));
        schedule(lasts * 1000, [this, event] { endEvent(event); });
        scheduleCamera(plan, kind, k + 1);
    });
}

void SimServer::scheduleForced(std::size_t plan, std::uint64_t k)
{
    const ForcedPlan& p = m_site.events.forced[plan];
    std::int64_t gap =
        scheduleGapMs(m_site.events.seed, ScheduleKind::Forced, p.door, k, p.everySeconds, p.firstAfterSeconds);
    if (k > 0)
        gap = std::max<std::int64_t>(gap, std::int64_t(p.openSeconds) * 1000 + 1000);
    schedule(static_cast<int>(gap), [this, plan, k] {
        const ForcedPlan& p = m_site.events.forced[plan];
        if (m_doors[p.door].open)
            logLine("door " + std::to_string(p.door) + " is open already: no forced opening this time");
        else
            openDoorByHand(p.door, p.openSeconds);
        scheduleForced(plan, k + 1);
    });
}

void SimServer::floodTick(const std::shared_ptr<Flood>& flood)
{
    // Event n is due n/perSecond seconds after the start: whatever is due goes out in this batch.
    const auto elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - flood->start).count();
    const std::int64_t due = std::min(flood->total, elapsedUs * flood->perSecond / 1000000 + 1);
    for (; flood->sent < due; ++flood->sent) {
        NameValueMap fields;
        fields.setValue("n", IntValue(flood->sent));
        raiseEvent("test.flood", 0, flood->priority, std::move(fields));
    }
    if (flood->sent < flood->total)
        schedule(floodTickMs, [this, flood] { floodTick(flood); });
    else {
        m_floodingPerSecond -= flood->perSecond;
        logLine("flood of " + std::to_string(flood->total) + " events done");
    }
}

} // namespace vantorsim
