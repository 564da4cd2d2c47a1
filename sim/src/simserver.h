// SPDX-License-Identifier: MIT
// The simulator's main loop: the server endpoint that libvantor talks to (a ZeroMQ ROUTER), the
// sessions, the requests and pushes, the door timers, the site's own events, the POS publishers and
// the control channel. The gateways' HTTP services run on threads of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <string_view>
#include <zmq.hpp>

#include "controlserver.h"
#include "eventschedule.h"
#include "gatewayserver.h"
#include "mediacache.h"
#include "numberedmedia.h"
#include "pospublisher.h"
#include "simoptions.h"
#include "site.h"
#include "wire.h"

namespace vantorsim {

class SimServer
{
public:
    using Clock = std::chrono::steady_clock;
    using Json = pelmar::vantor::wire::Json;

    SimServer(Site& site, const SimOptions& options);
    ~SimServer();

    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds every socket; on failure `error` names the address and port.
    bool bind(std::string& error);
    // Serves until "quit" or SIGINT/SIGTERM.
    int run();

    // One control command (see sim/SITE-FORMAT.md); gives the answer line.
    std::string control(const std::string& line);

    // One frame of the peer `routingId`, as read from the server endpoint.
    void handleFrame(const std::string& routingId, std::string_view frame);
    // Where messages to peers go instead of the server endpoint, when set: lets the message
    // handling run without sockets.
    using Sender = std::function<void(const std::string& routingId, const std::string& text)>;
    void setSender(Sender sender) { m_sender = std::move(sender); }

private:
    struct Session
    {
        std::string routingId;
        std::uint64_t number = 0;
        ObjectId userId = 0;
        int heartbeatMs = 1000;
        int misses = 3;
        Clock::time_point lastSeen;
        Clock::time_point nextHeartbeat;
    };

    using Handler = Json (SimServer::*)(Session&, const Json&);

    void receiveAll();
    void handleMessage(const std::string& routingId, const Json& message);
    void handleRequest(Session& session, const Json& message);
    void keepSessions(Clock::time_point now);
    void fireTimers(Clock::time_point now);
    Clock::time_point nextWakeUp(Clock::time_point now, Clock::time_point nextPos) const;
    void send(const std::string& routingId, const Json& message);
    void pushToSignedIn(const Json& message);
    // The current value of every sensor and actuator, to one session.
    void reportValuesTo(const std::string& routingId);
    void pushObjectDataChanged();
    void pushValue(const char* kind, ObjectId id, const pelmar::vantor::Value& value);
    void schedule(int delayMs, std::function<void()> task);
    void logLine(const std::string& text) const;

    SiteObject& object(ObjectId id);
    SiteObject& objectOfType(ObjectId id, int type, const char* what);

    // Requests.
    Json signIn(Session&, const Json& args);
    Json getObjects(Session&, const Json& args);
    Json getDynamicAttribute(Session&, const Json& args);
    Json createDynamicAttribute(Session&, const Json& args);
    Json setDynamicAttribute(Session&, const Json& args);
    Json removeDynamicAttribute(Session&, const Json& args);
    Json getActuatorValue(Session&, const Json& args);
    Json setActuatorValue(Session&, const Json& args);
    Json bindStream(Session&, const Json& args);
    Json unbindStream(Session&, const Json& args);
    Json getStreamInfo(Session&, const Json& args);
    Json searchChunks(Session&, const Json& args);
    Json sendEvent(Session&, const Json& args);

    ObjectId storeEvent(pelmar::vantor::Event& event);
    static std::int64_t nowMs(); // wall clock, milliseconds since the epoch

    // The site's own events (simevents.cpp).
    using Event = pelmar::vantor::Event;
    // What moved a door sensor: it decides whether an opening is forced.
    enum class DoorCause { Command, Grant, ByHand };
    struct DoorState
    {
        bool open = false;
        std::uint64_t opening = 0;                     // counts the openings: a timer of an earlier one does nothing
        std::optional<Clock::time_point> authorizedAt; // last open command or access grant
        std::optional<Event> forced;                   // alarms of the current opening, ended on close
        std::optional<Event> held;
    };
    struct Flood
    {
        Clock::time_point start;
        std::int64_t perSecond = 0;
        std::int64_t total = 0;
        std::int64_t sent = 0;
        int priority = 0;
    };
    void initDoors();
    void startEventSchedules();
    Event raiseEvent(const std::string& className, ObjectId sourceId, int priority,
                     pelmar::vantor::NameValueMap fields);
    void endEvent(Event event);
    void setSensorValue(ObjectId sensorId, const pelmar::vantor::ValuePtr& value, DoorCause cause);
    void doorMoved(const SiteObject& sensor, bool open, DoorCause cause);
    void raiseHeldOpen(ObjectId sensorId, std::uint64_t opening, int seconds);
    int heldOpenSeconds(const SiteObject& sensor) const;
    // An open command to a door actuator authorises its sensor's next opening; a close command
    // takes that back.
    void noteActuatorCommand(const SiteObject& actuator, const pelmar::vantor::Value& value);
    // A by-hand opening that closes after `seconds`; the forced-open event's id, 0 when a command or
    // a grant made it legitimate.
    ObjectId openDoorByHand(ObjectId sensorId, int seconds);
    ObjectId accessAttemptAt(ObjectId sensorId, const AccessAttempt& attempt, int openSeconds);
    void scheduleAccess(std::size_t plan, std::uint64_t k);
    void scheduleCamera(std::size_t plan, ScheduleKind kind, std::uint64_t k);
    void scheduleForced(std::size_t plan, std::uint64_t k);
    void floodTick(const std::shared_ptr<Flood>& flood);

    // Control commands: each is given its own name and the rest of the line, and gives the answer.
    using ControlHandler = std::string (SimServer::*)(const std::string& command, const std::string& rest);
    struct ControlCommand
    {
        const char* name;
        ControlHandler run;
    };
    static const std::vector<ControlCommand>& controlCommands();
    std::string controlPing(const std::string&, const std::string&);
    std::string controlHelp(const std::string& command, const std::string&);
    std::string controlQuit(const std::string&, const std::string&);
    std::string controlSetting(const std::string& command, const std::string& rest);
    std::string controlSetName(const std::string&, const std::string& rest);
    std::string controlSetValue(const std::string& command, const std::string& rest);
    std::string controlPushEvent(const std::string& command, const std::string& rest);
    std::string controlEvents(const std::string&, const std::string&);
    std::string controlSessions(const std::string&, const std::string&);
    std::string controlBindings(const std::string&, const std::string& rest);
    std::string controlStallOrFreeze(const std::string& command, const std::string& rest);
    std::string controlResume(const std::string&, const std::string&);
    std::string controlDrop(const std::string&, const std::string&);
    std::string controlPosRate(const std::string&, const std::string& rest);
    std::string controlDoorDelay(const std::string&, const std::string& rest);
    std::string controlOpenDoor(const std::string&, const std::string& rest);
    std::string controlAccess(const std::string&, const std::string& rest);
    std::string controlFloodEvents(const std::string&, const std::string& rest);
    void forgiveFrozenTime();

    Site& m_site;
    SimOptions m_options;
    zmq::context_t m_zmq{1};
    std::unique_ptr<zmq::socket_t> m_router;
    ControlServer m_control;
    MediaCache m_media;
    std::unique_ptr<NumberedMedia> m_numbered; // with the site's "chunkMedia" "numbered" only
    PosPublisher m_pos;
    std::vector<std::unique_ptr<GatewayServer>> m_gateways;

    std::map<std::string, Session> m_sessions;
    std::uint64_t m_sessionCount = 0;
    std::multimap<Clock::time_point, std::function<void()>> m_timers;
    std::vector<std::function<void()>> m_afterReply;        // pushes that follow the reply being made
    std::map<ObjectId, std::map<ObjectId, int>> m_bindings; // stream -> device -> binding type
    std::deque<Json> m_events;
    std::map<ObjectId, DoorState> m_doors; // door sensor -> its state
    std::int64_t m_floodingPerSecond = 0;  // the running floods' rates together
    ObjectId m_nextEventId = 1001;
    std::uint64_t m_tokens = 0;
    bool m_stalled = false; // requests and hellos go unanswered; heartbeats go on
    bool m_frozen = false;  // the endpoint neither reads nor sends
    bool m_quit = false;
    Sender m_sender;
};

} // namespace vantorsim
