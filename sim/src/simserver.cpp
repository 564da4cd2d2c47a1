// SPDX-License-Identifier: MIT
#include "simserver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <zmq_addon.hpp>

namespace vantorsim {

namespace wire = pelmar::vantor::wire;
using pelmar::vantor::BoolValue;
using pelmar::vantor::Event;
using pelmar::vantor::IntValue;
using pelmar::vantor::Value;
using pelmar::vantor::ValuePtr;
using Json = SimServer::Json;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 'q';
    ssize_t n = ::write(g_signalPipe[1], &c, 1);
    (void)n;
}

// A request that fails with one of the library's error codes.
struct RequestError
{
    int code;
    std::string message;
};

std::string dump(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string idText(ObjectId id)
{
    return std::to_string(id);
}

// Integer argument of a request; a missing or mistyped one is the caller's fault.
std::int64_t argInt(const Json& args, const char* key)
{
    try {
        return wire::getInt(args, key);
    } catch (const wire::WireError& e) {
        throw RequestError{pelmar::vantor::ErrInvalidArgument, e.what()};
    }
}

std::string argString(const Json& args, const char* key)
{
    try {
        return wire::getString(args, key);
    } catch (const wire::WireError& e) {
        throw RequestError{pelmar::vantor::ErrInvalidArgument, e.what()};
    }
}

ValuePtr argValue(const Json& args, const char* key)
{
    try {
        return ValuePtr(std::shared_ptr<const Value>(wire::valueFromJson(wire::getObject(args, key))));
    } catch (const wire::WireError& e) {
        throw RequestError{pelmar::vantor::ErrInvalidArgument, e.what()};
    }
}

// "word rest": the first word and the rest of the line, trimmed.
std::pair<std::string, std::string> splitWord(const std::string& text)
{
    const auto start = text.find_first_not_of(' ');
    if (start == std::string::npos)
        return {};
    const auto end = text.find(' ', start);
    if (end == std::string::npos)
        return {text.substr(start), {}};
    const auto rest = text.find_first_not_of(' ', end);
    return {text.substr(start, end - start), rest == std::string::npos ? std::string() : text.substr(rest)};
}

bool parseId(const std::string& text, ObjectId& id)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    id = v;
    return true;
}

// A control command's value: JSON when it parses, else the text itself as a string.
ValuePtr commandValue(const std::string& text)
{
    OrderedJson json = OrderedJson::parse(text, nullptr, false);
    if (json.is_discarded())
        return makeValue<pelmar::vantor::StringValue>(text);
    return valueFromPlainJson(json);
}

Event eventFromCommand(const std::string& text)
{
    OrderedJson j = OrderedJson::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        throw std::runtime_error("the event must be a JSON object");
    Event e;
    auto getInt = [&j](const char* key) -> std::int64_t {
        if (!j.contains(key))
            return 0;
        if (!j.at(key).is_number_integer())
            throw std::runtime_error(std::string("\"") + key + "\" must be an integer");
        return j.at(key).get<std::int64_t>();
    };
    if (j.contains("className")) {
        if (!j.at("className").is_string())
            throw std::runtime_error("\"className\" must be a string");
        e.className = j.at("className").get<std::string>();
    }
    e.eventId = getInt("eventId");
    e.sourceId = getInt("sourceId");
    e.destinationId = getInt("destinationId");
    e.timestamp = getInt("timestamp");
    e.priority = static_cast<std::int32_t>(getInt("priority"));
    e.flags = static_cast<std::int32_t>(getInt("flags"));
    if (j.contains("fields")) {
        const auto& fields = j.at("fields");
        if (!fields.is_object())
            throw std::runtime_error("\"fields\" must be an object");
        for (auto it = fields.begin(); it != fields.end(); ++it)
            e.fields.setValue(it.key(), valueFromPlainJson(it.value()));
    }
    return e;
}

} // namespace

SimServer::SimServer(Site& site, const SimOptions& options)
    : m_site(site), m_options(options), m_media(options.mediaDir, options.ffmpeg), m_pos(m_zmq, site)
{
    if (!site.chunkMedia.numbered.empty())
        m_numbered = std::make_unique<NumberedMedia>(site.chunkMedia.numbered, m_media.folder(), options.ffmpeg);
    initDoors();
}

std::int64_t SimServer::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SimServer::~SimServer()
{
    if (m_numbered)
        m_numbered->stop();
    for (auto& g : m_gateways)
        g->stop();
    m_pos.close();
    m_control.close();
    if (m_router)
        m_router->close();
}

void SimServer::logLine(const std::string& text) const
{
    std::fprintf(stderr, "vantor-sim: %s\n", text.c_str());
}

bool SimServer::bind(std::string& error)
{
    const std::string endpoint = "tcp://" + m_options.bind + ":" + std::to_string(m_options.port);
    try {
        m_router = std::make_unique<zmq::socket_t>(m_zmq, zmq::socket_type::router);
        m_router->set(zmq::sockopt::linger, 0);
        // A burst of events (an event flood) must queue, not be dropped at ZeroMQ's default of 1000
        // messages per peer; a peer that stops reading still expires by its heartbeats.
        m_router->set(zmq::sockopt::sndhwm, 200000);
        m_router->bind(endpoint);
    } catch (const zmq::error_t& e) {
        error = m_options.bind + ":" + std::to_string(m_options.port) + " (server endpoint): " + e.what();
        return false;
    }
    if (m_options.controlPort > 0 && !m_control.bind(m_options.bind, m_options.controlPort, error)) {
        error = m_options.bind + ":" + std::to_string(m_options.controlPort) + " (control channel): " + error;
        return false;
    }
    if (!m_pos.bind(error))
        return false;
    for (const auto& g : m_site.gateways) {
        auto server = std::make_unique<GatewayServer>(m_site, g, m_media, m_numbered.get());
        if (!server->bind(error)) {
            error = g.address + ":" + std::to_string(g.httpPort) + " (HTTP of gateway " + idText(g.id) + "): " + error;
            return false;
        }
        m_gateways.push_back(std::move(server));
    }

    logLine("site \"" + m_site.name + "\" from " + m_site.path + ": " + std::to_string(m_site.objects.size()) +
            " objects");
    logLine("server endpoint on " + endpoint + " (protocol version " + std::to_string(m_options.protocolVersion) + ")");
    if (m_control.isListening())
        logLine("control channel on " + m_options.bind + ":" + std::to_string(m_options.controlPort));
    for (const auto& g : m_site.gateways)
        logLine("gateway " + idText(g.id) + ": HTTP on " + g.address + ":" + std::to_string(g.httpPort) +
                ", POS on tcp://" + g.address + ":" + std::to_string(g.posPort) + " (" +
                std::to_string(g.streams.size()) + " streams)");
    return true;
}

int SimServer::run()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        logLine(std::string("error: cannot create the signal pipe: ") + std::strerror(errno));
        return ExitFailure;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    for (auto& g : m_gateways)
        g->start();
    m_pos.setRate(m_site.posRate, Clock::now());
    startEventSchedules();

    std::printf("vantor-sim: ready\n");
    std::fflush(stdout);

    const ControlServer::Handler controlHandler = [this](const std::string& line) { return control(line); };
    while (!m_quit) {
        auto now = Clock::now();
        fireTimers(now);
        keepSessions(now);
        const auto nextPos = m_pos.publishDue(now);

        std::vector<zmq_pollitem_t> items;
        items.push_back({nullptr, g_signalPipe[0], ZMQ_POLLIN, 0});
        if (!m_frozen)
            items.push_back({m_router->handle(), 0, ZMQ_POLLIN, 0});
        m_control.addPollItems(items);
        const auto wake = nextWakeUp(Clock::now(), nextPos);
        const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count() + 1;
        if (zmq_poll(items.data(), static_cast<int>(items.size()),
                     static_cast<long>(std::clamp<long long>(timeout, 0, 1000))) < 0 &&
            zmq_errno() != EINTR) {
            logLine(std::string("error: polling failed: ") + zmq_strerror(zmq_errno()));
            return ExitFailure;
        }
        if (items[0].revents & ZMQ_POLLIN) {
            logLine("stopping on a signal");
            break;
        }
        if (!m_frozen)
            receiveAll();
        m_control.process(controlHandler);
    }
    for (auto& g : m_gateways)
        g->stop();
    return ExitOk;
}

SimServer::Clock::time_point SimServer::nextWakeUp(Clock::time_point now, Clock::time_point nextPos) const
{
    Clock::time_point next = std::min(now + std::chrono::seconds(1), nextPos);
    if (!m_timers.empty())
        next = std::min(next, m_timers.begin()->first);
    if (!m_frozen) {
        for (const auto& [id, s] : m_sessions) {
            next = std::min(next, s.nextHeartbeat);
            next = std::min(next, s.lastSeen + std::chrono::milliseconds(s.heartbeatMs * (s.misses + 1)));
        }
    }
    return next;
}

void SimServer::fireTimers(Clock::time_point now)
{
    while (!m_timers.empty() && m_timers.begin()->first <= now) {
        auto task = std::move(m_timers.begin()->second);
        m_timers.erase(m_timers.begin());
        task();
    }
}

void SimServer::schedule(int delayMs, std::function<void()> task)
{
    m_timers.emplace(Clock::now() + std::chrono::milliseconds(delayMs), std::move(task));
}

void SimServer::keepSessions(Clock::time_point now)
{
    if (m_frozen)
        return;
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        Session& s = it->second;
        // A client that has been silent for its own allowance (plus one interval of grace) is gone.
        if (now >= s.lastSeen + std::chrono::milliseconds(s.heartbeatMs * (s.misses + 1))) {
            if (m_options.verbose)
                logLine("session " + std::to_string(s.number) + " expired");
            it = m_sessions.erase(it);
            continue;
        }
        if (now >= s.nextHeartbeat) {
            send(s.routingId, {{"type", "hb"}});
            s.nextHeartbeat = now + std::chrono::milliseconds(s.heartbeatMs);
        }
        ++it;
    }
}

void SimServer::receiveAll()
{
    for (;;) {
        std::vector<zmq::message_t> frames;
        try {
            if (!zmq::recv_multipart(*m_router, std::back_inserter(frames), zmq::recv_flags::dontwait))
                return;
        } catch (const zmq::error_t& e) {
            logLine(std::string("receiving failed: ") + e.what());
            return;
        }
        if (frames.size() != 2)
            continue; // not a message of the protocol
        handleFrame(frames[0].to_string(), frames[1].to_string_view());
        if (m_frozen)
            return;
    }
}

void SimServer::handleFrame(const std::string& routingId, std::string_view frame)
{
    Json message = Json::parse(frame, nullptr, false);
    if (message.is_discarded() || !message.is_object() || !message.contains("type") ||
        !message.at("type").is_string()) {
        logLine("dropped a message that is not a protocol message");
        return;
    }
    try {
        handleMessage(routingId, message);
    } catch (const wire::WireError& e) {
        logLine(std::string("dropped a malformed message: ") + e.what());
    }
}

void SimServer::handleMessage(const std::string& routingId, const Json& message)
{
    const std::string type = message.at("type").get<std::string>();
    auto it = m_sessions.find(routingId);
    if (it != m_sessions.end())
        it->second.lastSeen = Clock::now();

    if (type == "hello") {
        if (m_stalled)
            return;
        const auto version = wire::getInt(message, "version", 0);
        if (version != m_options.protocolVersion) {
            send(routingId,
                 {{"type", "refused"},
                  {"code", pelmar::vantor::ErrVersionMismatch},
                  {"version", m_options.protocolVersion},
                  {"message", "The server speaks protocol version " + std::to_string(m_options.protocolVersion) +
                                  ", the client version " + std::to_string(version)}});
            return;
        }
        Session s;
        s.routingId = routingId;
        s.number = ++m_sessionCount;
        try {
            s.heartbeatMs =
                static_cast<int>(std::clamp<std::int64_t>(wire::getInt(message, "heartbeatMs", 1000), 50, 60000));
            s.misses = static_cast<int>(std::clamp<std::int64_t>(wire::getInt(message, "heartbeatMisses", 3), 1, 100));
        } catch (const wire::WireError&) {
        }
        s.lastSeen = Clock::now();
        s.nextHeartbeat = s.lastSeen + std::chrono::milliseconds(s.heartbeatMs);
        m_sessions[routingId] = s;
        if (m_options.verbose)
            logLine("session " + std::to_string(s.number) + " opened");
        send(routingId, {{"type", "welcome"},
                         {"version", m_options.protocolVersion},
                         {"server", "vantor-sim"},
                         {"site", m_site.name}});
        return;
    }
    if (it == m_sessions.end()) {
        // Heartbeats of a client from before a restart or a drop: tell it the session is gone.
        if (type != "bye")
            send(routingId, {{"type", "bye"}, {"reason", "unknown session"}});
        return;
    }
    if (type == "bye") {
        if (m_options.verbose)
            logLine("session " + std::to_string(it->second.number) + " closed by the client");
        m_sessions.erase(it);
    } else if (type == "request") {
        if (!m_stalled)
            handleRequest(it->second, message);
    }
    // "hb" only keeps the session alive; other types are ignored.
}

void SimServer::handleRequest(Session& session, const Json& message)
{
    static const std::map<std::string, Handler> handlers = {
        {"signIn", &SimServer::signIn},
        {"getObjects", &SimServer::getObjects},
        {"getDynamicAttribute", &SimServer::getDynamicAttribute},
        {"createDynamicAttribute", &SimServer::createDynamicAttribute},
        {"setDynamicAttribute", &SimServer::setDynamicAttribute},
        {"removeDynamicAttribute", &SimServer::removeDynamicAttribute},
        {"getActuatorValue", &SimServer::getActuatorValue},
        {"setActuatorValue", &SimServer::setActuatorValue},
        {"bindStream", &SimServer::bindStream},
        {"unbindStream", &SimServer::unbindStream},
        {"getStreamInfo", &SimServer::getStreamInfo},
        {"searchChunks", &SimServer::searchChunks},
        {"sendEvent", &SimServer::sendEvent},
    };
    Json reply = {{"type", "reply"}};
    std::string op;
    try {
        reply["id"] = wire::getInt(message, "id");
        op = wire::getString(message, "op");
    } catch (const wire::WireError& e) {
        logLine(std::string("dropped a request without id or op: ") + e.what());
        return;
    }
    m_afterReply.clear();
    try {
        auto handler = handlers.find(op);
        if (handler == handlers.end())
            throw RequestError{pelmar::vantor::ErrProtocol, "Unknown request " + op};
        if (op != "signIn" && session.userId == 0)
            throw RequestError{pelmar::vantor::ErrAccessDenied, "Not signed in"};
        static const Json noArgs = Json::object();
        const Json& args = message.contains("args") && message.at("args").is_object() ? message.at("args") : noArgs;
        reply["ok"] = true;
        reply["result"] = (this->*(handler->second))(session, args);
    } catch (const RequestError& e) {
        reply["ok"] = false;
        reply["error"] = {{"code", e.code}, {"message", e.message}};
        m_afterReply.clear();
    } catch (const wire::WireError& e) {
        // An optional argument of the wrong kind: the request still gets its answer.
        reply["ok"] = false;
        reply["error"] = {{"code", pelmar::vantor::ErrInvalidArgument}, {"message", e.what()}};
        m_afterReply.clear();
    }
    if (m_options.verbose)
        logLine("session " + std::to_string(session.number) + ": " + op + " -> " +
                (reply["ok"].get<bool>() ? "ok" : "error " + reply["error"]["message"].get<std::string>()));
    send(session.routingId, reply);
    auto after = std::move(m_afterReply);
    m_afterReply.clear();
    for (auto& task : after)
        task();
}

void SimServer::send(const std::string& routingId, const Json& message)
{
    if (m_frozen)
        return;
    const std::string text = dump(message);
    if (m_sender) {
        m_sender(routingId, text);
        return;
    }
    if (!m_router)
        return;
    try {
        m_router->send(zmq::buffer(routingId), zmq::send_flags::sndmore | zmq::send_flags::dontwait);
        m_router->send(zmq::buffer(text), zmq::send_flags::dontwait);
    } catch (const zmq::error_t& e) {
        logLine(std::string("sending failed: ") + e.what());
    }
}

void SimServer::pushToSignedIn(const Json& message)
{
    for (const auto& [id, s] : m_sessions)
        if (s.userId != 0)
            send(s.routingId, message);
}

void SimServer::pushObjectDataChanged()
{
    pushToSignedIn({{"type", "push"}, {"kind", "objectDataChanged"}});
}

void SimServer::pushValue(const char* kind, ObjectId id, const Value& value)
{
    pushToSignedIn({{"type", "push"}, {"kind", kind}, {"id", id}, {"value", wire::valueToJson(value)}});
}

SiteObject& SimServer::object(ObjectId id)
{
    SiteObject* o = m_site.find(id);
    if (!o)
        throw RequestError{pelmar::vantor::ErrNotFound, "No object " + idText(id)};
    return *o;
}

SiteObject& SimServer::objectOfType(ObjectId id, int type, const char* what)
{
    SiteObject& o = object(id);
    if (o.data.type != type)
        throw RequestError{pelmar::vantor::ErrInvalidArgument, "Object " + idText(id) + " is not " + what};
    return o;
}

// ---------------------------------------------------------------------------------------------
// Requests

Json SimServer::signIn(Session& session, const Json& args)
{
    const std::string user = argString(args, "user");
    const std::string password = argString(args, "password");
    for (const auto& o : m_site.objects) {
        if (o.data.type == UserType && o.password && o.data.name == user && *o.password == password) {
            session.userId = o.data.id;
            logLine("session " + std::to_string(session.number) + " signed in as " + user);
            return {{"userId", o.data.id}};
        }
    }
    throw RequestError{pelmar::vantor::ErrAccessDenied, "Unknown user or wrong password"};
}

Json SimServer::getObjects(Session& session, const Json&)
{
    Json list = Json::array();
    for (const auto& o : m_site.objects)
        list.push_back(wire::objectToJson(o.data));
    // The library has no request that reads a sensor: a client learns the current values from
    // these reports, which follow the objects (it needs them to place the values).
    if (m_options.reportValues) {
        const std::string routingId = session.routingId;
        m_afterReply.push_back([this, routingId] { reportValuesTo(routingId); });
    }
    return {{"objects", std::move(list)}, {"rootId", m_site.rootId}};
}

void SimServer::reportValuesTo(const std::string& routingId)
{
    for (const auto& o : m_site.objects) {
        if ((o.data.type != SensorType && o.data.type != ActuatorType) || !o.value)
            continue;
        send(routingId, {{"type", "push"},
                         {"kind", o.data.type == SensorType ? "sensorValue" : "actuatorValue"},
                         {"id", o.data.id},
                         {"value", wire::valueToJson(o.value.value())}});
    }
}

Json SimServer::getDynamicAttribute(Session&, const Json& args)
{
    const ObjectId id = argInt(args, "objectId");
    const std::string name = wire::getString(args, "name", std::string());
    const SiteObject& o = object(id);
    if (name.empty())
        return {{"attributes", wire::mapToJson(o.attributes)}};
    if (!o.attributes.contains(name))
        throw RequestError{pelmar::vantor::ErrNotFound, "Object " + idText(id) + " has no attribute \"" + name + "\""};
    pelmar::vantor::NameValueMap one;
    one.setValue(name, o.attributes.valuePtr(name));
    return {{"attributes", wire::mapToJson(one)}};
}

Json SimServer::createDynamicAttribute(Session&, const Json& args)
{
    const ObjectId id = argInt(args, "objectId");
    const std::string name = argString(args, "name");
    const ValuePtr value = argValue(args, "value");
    SiteObject& o = object(id);
    if (name.empty())
        throw RequestError{pelmar::vantor::ErrInvalidArgument, "An attribute needs a name"};
    if (o.attributes.contains(name))
        throw RequestError{pelmar::vantor::ErrAlreadyExists,
                           "Object " + idText(id) + " already has an attribute \"" + name + "\""};
    o.attributes.setValue(name, value);
    return Json::object();
}

Json SimServer::setDynamicAttribute(Session&, const Json& args)
{
    const ObjectId id = argInt(args, "objectId");
    const std::string name = argString(args, "name");
    const ValuePtr value = argValue(args, "value");
    SiteObject& o = object(id);
    if (!o.attributes.contains(name))
        throw RequestError{pelmar::vantor::ErrNotFound, "Object " + idText(id) + " has no attribute \"" + name + "\""};
    o.attributes.setValue(name, value);
    return Json::object();
}

Json SimServer::removeDynamicAttribute(Session&, const Json& args)
{
    const ObjectId id = argInt(args, "objectId");
    const std::string name = argString(args, "name");
    SiteObject& o = object(id);
    if (!o.attributes.remove(name))
        throw RequestError{pelmar::vantor::ErrNotFound, "Object " + idText(id) + " has no attribute \"" + name + "\""};
    return Json::object();
}

Json SimServer::getActuatorValue(Session&, const Json& args)
{
    const SiteObject& o = objectOfType(argInt(args, "actuatorId"), ActuatorType, "an actuator");
    return {{"value", wire::valueToJson(o.value.value())}};
}

Json SimServer::setActuatorValue(Session&, const Json& args)
{
    SiteObject& actuator = objectOfType(argInt(args, "actuatorId"), ActuatorType, "an actuator");
    const ValuePtr value = argValue(args, "value");
    const int tag = value.value().tag();
    if (tag != Value::BoolTag && tag != Value::IntTag)
        throw RequestError{pelmar::vantor::ErrInvalidArgument, "An actuator takes a bool or an int value"};
    actuator.value = value;
    const ObjectId id = actuator.data.id;
    m_afterReply.push_back([this, id, value] { pushValue("actuatorValue", id, value.value()); });
    noteActuatorCommand(actuator, value.value());

    // A door: its sensor follows the lock after the door's delay.
    const std::string layout = actuator.data.settings.value("layout").toString();
    if (actuator.data.className == "actuator.DOOR" && !layout.empty()) {
        for (const auto& s : m_site.objects) {
            if (s.data.type == SensorType && s.data.settings.value("layout").toString() == layout) {
                const ObjectId sensorId = s.data.id;
                const bool state = value.value().toBool();
                m_afterReply.push_back([this, sensorId, state] {
                    schedule(m_site.doorDelayMs, [this, sensorId, state] {
                        setSensorValue(sensorId, makeValue<BoolValue>(state), DoorCause::Command);
                    });
                });
                break;
            }
        }
    }
    return Json::object();
}

Json SimServer::bindStream(Session&, const Json& args)
{
    const ObjectId streamId = argInt(args, "streamId");
    objectOfType(streamId, StreamType, "a stream");
    std::vector<pelmar::vantor::BindingPair> pairs;
    try {
        for (const auto& b : wire::getArray(args, "bindings"))
            pairs.push_back(wire::bindingFromJson(b));
    } catch (const wire::WireError& e) {
        throw RequestError{pelmar::vantor::ErrInvalidArgument, e.what()};
    }
    if (pairs.empty())
        throw RequestError{pelmar::vantor::ErrInvalidArgument, "No bindings given"};
    for (const auto& p : pairs) {
        object(p.objectId);
        if (p.bindingType < 1 || p.bindingType > 3)
            throw RequestError{pelmar::vantor::ErrInvalidArgument,
                               "Binding type " + std::to_string(p.bindingType) + " is not 1, 2 or 3"};
    }
    for (const auto& p : pairs)
        m_bindings[streamId][p.objectId] = p.bindingType;
    return Json::object();
}

Json SimServer::unbindStream(Session&, const Json& args)
{
    const ObjectId streamId = argInt(args, "streamId");
    const ObjectId deviceId = argInt(args, "deviceId");
    objectOfType(streamId, StreamType, "a stream");
    auto it = m_bindings.find(streamId);
    if (it == m_bindings.end() || !it->second.erase(deviceId))
        throw RequestError{pelmar::vantor::ErrNotFound,
                           "Stream " + idText(streamId) + " is not bound to " + idText(deviceId)};
    return Json::object();
}

Json SimServer::getStreamInfo(Session&, const Json& args)
{
    const ObjectId deviceId = argInt(args, "deviceId");
    const ObjectId streamId = argInt(args, "streamId");
    const SiteObject& stream = objectOfType(streamId, StreamType, "a stream");
    if (deviceId != 0 && deviceId != stream.device)
        throw RequestError{pelmar::vantor::ErrNotFound,
                           "Stream " + idText(streamId) + " is not served by device " + idText(deviceId)};
    const Gateway* gateway = m_site.gateway(stream.device);
    pelmar::vantor::StreamInfo info;
    info.deviceId = stream.device;
    info.streamId = streamId;
    info.token = "tok-" + idText(streamId) + "-" + std::to_string(++m_tokens);
    info.address = gateway ? gateway->address : std::string();
    return wire::streamInfoToJson(info);
}

Json SimServer::searchChunks(Session&, const Json& args)
{
    const ObjectId streamId = argInt(args, "streamId");
    const auto searchBy = argInt(args, "searchBy");
    const auto start = argInt(args, "start");
    const auto end = argInt(args, "end");
    objectOfType(streamId, StreamType, "a stream");
    if (searchBy != 0 && searchBy != 1)
        throw RequestError{pelmar::vantor::ErrInvalidArgument, "searchBy must be 0 (start) or 1 (end)"};
    Json list = Json::array();
    auto rec = m_site.recordings.find(streamId);
    if (rec != m_site.recordings.end()) {
        for (const auto& c : rec->second.chunks) {
            const auto key = searchBy == 0 ? c.start : c.end;
            if (key >= start && key <= end)
                list.push_back(wire::chunkToJson(c));
        }
    }
    return {{"chunks", std::move(list)}};
}

ObjectId SimServer::storeEvent(Event& event)
{
    if (event.eventId == 0)
        event.eventId = m_nextEventId++;
    if (event.timestamp == 0)
        event.timestamp = nowMs();
    m_events.push_back(wire::eventToJson(event));
    while (m_events.size() > 1000)
        m_events.pop_front();
    return event.eventId;
}

Json SimServer::sendEvent(Session& session, const Json& args)
{
    Event event;
    try {
        event = wire::eventFromJson(wire::getObject(args, "event"));
    } catch (const wire::WireError& e) {
        throw RequestError{pelmar::vantor::ErrInvalidArgument, e.what()};
    }
    event.eventId = 0; // the server numbers events
    if (event.sourceId == 0)
        event.sourceId = session.userId;
    const ObjectId id = storeEvent(event);
    m_afterReply.push_back([this, event] {
        pushToSignedIn({{"type", "push"}, {"kind", "eventReceived"}, {"event", wire::eventToJson(event)}});
    });
    return {{"eventId", id}};
}

// ---------------------------------------------------------------------------------------------
// Control channel

// One entry per command, in the order "help" lists them; commands that differ in one word share
// a handler, which is given the command's own name.
const std::vector<SimServer::ControlCommand>& SimServer::controlCommands()
{
    static const std::vector<ControlCommand> commands = {
        {"ping", &SimServer::controlPing},
        {"set-setting", &SimServer::controlSetting},
        {"remove-setting", &SimServer::controlSetting},
        {"set-name", &SimServer::controlSetName},
        {"set-attribute", &SimServer::controlSetting},
        {"set-sensor", &SimServer::controlSetValue},
        {"set-actuator", &SimServer::controlSetValue},
        {"push-event", &SimServer::controlPushEvent},
        {"update-event", &SimServer::controlPushEvent},
        {"events", &SimServer::controlEvents},
        {"sessions", &SimServer::controlSessions},
        {"bindings", &SimServer::controlBindings},
        {"stall", &SimServer::controlStallOrFreeze},
        {"freeze", &SimServer::controlStallOrFreeze},
        {"resume", &SimServer::controlResume},
        {"drop", &SimServer::controlDrop},
        {"pos-rate", &SimServer::controlPosRate},
        {"door-delay", &SimServer::controlDoorDelay},
        {"open-door", &SimServer::controlOpenDoor},
        {"access", &SimServer::controlAccess},
        {"flood-events", &SimServer::controlFloodEvents},
        {"quit", &SimServer::controlQuit},
        {"help", &SimServer::controlHelp},
    };
    return commands;
}

std::string SimServer::control(const std::string& line)
{
    const auto [command, rest] = splitWord(line);
    const auto& commands = controlCommands();
    const auto entry = std::find_if(commands.begin(), commands.end(),
                                    [&command = command](const ControlCommand& c) { return command == c.name; });
    if (entry == commands.end())
        return "error unknown command \"" + command + "\" (try help)";
    try {
        return (this->*(entry->run))(command, rest);
    } catch (const std::exception& e) {
        return std::string("error ") + e.what();
    }
}

std::string SimServer::controlPing(const std::string&, const std::string&)
{
    return "ok pong";
}

std::string SimServer::controlHelp(const std::string& command, const std::string&)
{
    std::string answer = "ok";
    for (const ControlCommand& c : controlCommands())
        if (c.name != command)
            answer += std::string(" ") + c.name;
    return answer;
}

std::string SimServer::controlQuit(const std::string&, const std::string&)
{
    m_quit = true;
    return "ok";
}

// set-setting, remove-setting and set-attribute: <id> <name> [<json>].
std::string SimServer::controlSetting(const std::string& command, const std::string& rest)
{
    const auto [idText, afterId] = splitWord(rest);
    const auto [name, valueText] = splitWord(afterId);
    ObjectId id = 0;
    if (!parseId(idText, id) || name.empty())
        return "error usage: " + command + " <id> <name>" + (command == "remove-setting" ? "" : " <json>");
    SiteObject* o = m_site.find(id);
    if (!o)
        return "error no object " + idText;
    if (command == "remove-setting") {
        if (!o->data.settings.remove(name))
            return "error object " + idText + " has no setting " + name;
        pushObjectDataChanged();
    } else if (command == "set-setting") {
        o->data.settings.setValue(name, commandValue(valueText));
        pushObjectDataChanged();
    } else {
        o->attributes.setValue(name, commandValue(valueText));
    }
    return "ok";
}

std::string SimServer::controlSetName(const std::string&, const std::string& rest)
{
    const auto [idText, name] = splitWord(rest);
    ObjectId id = 0;
    if (!parseId(idText, id) || name.empty())
        return "error usage: set-name <id> <name>";
    SiteObject* o = m_site.find(id);
    if (!o)
        return "error no object " + idText;
    o->data.name = name;
    pushObjectDataChanged();
    return "ok";
}

// set-sensor and set-actuator: <id> <json>.
std::string SimServer::controlSetValue(const std::string& command, const std::string& rest)
{
    const auto [idText, valueText] = splitWord(rest);
    ObjectId id = 0;
    if (!parseId(idText, id) || valueText.empty())
        return "error usage: " + command + " <id> <json>";
    const int type = command == "set-sensor" ? SensorType : ActuatorType;
    SiteObject* o = m_site.find(id);
    if (!o || o->data.type != type)
        return "error no " + std::string(type == SensorType ? "sensor " : "actuator ") + idText;
    if (type == SensorType) {
        // No door behaviour, but a door sensor that moves raises its door's events.
        setSensorValue(id, commandValue(valueText), DoorCause::ByHand);
        return "ok";
    }
    o->value = commandValue(valueText);
    noteActuatorCommand(*o, o->value.value());
    pushValue("actuatorValue", id, o->value.value());
    return "ok";
}

// push-event and update-event: <json>.
std::string SimServer::controlPushEvent(const std::string& command, const std::string& rest)
{
    Event event = eventFromCommand(rest);
    const bool update = command == "update-event";
    if (update && event.eventId == 0)
        return "error update-event needs an \"eventId\"";
    if (!update)
        event.eventId = 0;
    const ObjectId id = storeEvent(event);
    pushToSignedIn(
        {{"type", "push"}, {"kind", update ? "eventUpdated" : "eventReceived"}, {"event", wire::eventToJson(event)}});
    return "ok " + std::to_string(id);
}

std::string SimServer::controlEvents(const std::string&, const std::string&)
{
    return "ok " + dump(Json(m_events));
}

std::string SimServer::controlSessions(const std::string&, const std::string&)
{
    int signedIn = 0;
    for (const auto& [id, s] : m_sessions)
        signedIn += s.userId != 0;
    return "ok " + dump({{"sessions", m_sessions.size()}, {"signedIn", signedIn}});
}

std::string SimServer::controlBindings(const std::string&, const std::string& rest)
{
    ObjectId id = 0;
    if (!parseId(rest, id))
        return "error usage: bindings <streamId>";
    Json list = Json::array();
    auto it = m_bindings.find(id);
    if (it != m_bindings.end())
        for (const auto& [device, type] : it->second)
            list.push_back(wire::bindingToJson({device, type}));
    return "ok " + dump(list);
}

// stall and freeze: on|off.
std::string SimServer::controlStallOrFreeze(const std::string& command, const std::string& rest)
{
    if (rest != "on" && rest != "off")
        return "error usage: " + command + " on|off";
    bool& flag = command == "stall" ? m_stalled : m_frozen;
    const bool wasFrozen = m_frozen;
    flag = rest == "on";
    if (wasFrozen && !m_frozen)
        forgiveFrozenTime();
    logLine(command + " " + rest);
    return "ok";
}

std::string SimServer::controlResume(const std::string&, const std::string&)
{
    const bool wasFrozen = m_frozen;
    m_stalled = m_frozen = false;
    if (wasFrozen)
        forgiveFrozenTime();
    logLine("resume");
    return "ok";
}

void SimServer::forgiveFrozenTime()
{
    // Sessions do not expire for the time the endpoint stood still.
    for (auto& [id, s] : m_sessions)
        s.lastSeen = Clock::now();
}

std::string SimServer::controlDrop(const std::string&, const std::string&)
{
    const auto count = m_sessions.size();
    for (const auto& [id, s] : m_sessions)
        send(s.routingId, {{"type", "bye"}, {"reason", "dropped by the operator of the simulator"}});
    m_sessions.clear();
    logLine("dropped " + std::to_string(count) + " sessions");
    return "ok " + std::to_string(count);
}

std::string SimServer::controlPosRate(const std::string&, const std::string& rest)
{
    char* end = nullptr;
    const double rate = std::strtod(rest.c_str(), &end);
    if (rest.empty() || *end != '\0' || !(rate >= 0 && rate <= 1000))
        return "error usage: pos-rate <messages per second, 0 to 1000>";
    m_pos.setRate(rate, Clock::now());
    return "ok";
}

std::string SimServer::controlDoorDelay(const std::string&, const std::string& rest)
{
    ObjectId ms = 0;
    if (!parseId(rest, ms) || ms < 0 || ms > 3600000)
        return "error usage: door-delay <milliseconds>";
    m_site.doorDelayMs = static_cast<int>(ms);
    return "ok";
}

// open-door <sensorId> [seconds]: the door opened by hand, closed again after the seconds.
std::string SimServer::controlOpenDoor(const std::string&, const std::string& rest)
{
    const auto [idText, secondsText] = splitWord(rest);
    ObjectId id = 0;
    ObjectId seconds = 5;
    if (!parseId(idText, id) ||
        (!secondsText.empty() && (!parseId(secondsText, seconds) || seconds < 1 || seconds > 3600)))
        return "error usage: open-door <sensorId> [seconds, 1 to 3600]";
    const SiteObject* sensor = m_site.find(id);
    if (!sensor || !isDoorSensor(m_site, *sensor))
        return "error no door sensor " + idText;
    if (m_doors[id].open)
        return "error door " + idText + " is open already";
    return "ok " + std::to_string(openDoorByHand(id, static_cast<int>(seconds)));
}

// access <sensorId> granted|denied [cardHolder]: an access attempt now.
std::string SimServer::controlAccess(const std::string&, const std::string& rest)
{
    const auto [idText, afterId] = splitWord(rest);
    const auto [outcome, holderText] = splitWord(afterId);
    ObjectId id = 0;
    if (!parseId(idText, id) || (outcome != "granted" && outcome != "denied"))
        return "error usage: access <sensorId> granted|denied [cardHolder]";
    const SiteObject* sensor = m_site.find(id);
    if (!sensor || !isDoorSensor(m_site, *sensor))
        return "error no door sensor " + idText;
    // The door's own schedule, when it has one, knows the holders and how long a grant opens.
    const auto& plans = m_site.events.access;
    const auto plan = std::find_if(plans.begin(), plans.end(), [id = id](const AccessPlan& p) { return p.door == id; });
    AccessAttempt attempt;
    attempt.granted = outcome == "granted";
    attempt.cardHolder = !holderText.empty() ? holderText : plan != plans.end() ? plan->holders.front() : "Visitor";
    attempt.card = "0000";
    bool listed = false;
    if (plan != plans.end()) {
        const auto it = std::find(plan->holders.begin(), plan->holders.end(), attempt.cardHolder);
        if (it != plan->holders.end()) {
            attempt.card = holderCard(static_cast<std::size_t>(it - plan->holders.begin()));
            listed = true;
        }
    }
    if (!attempt.granted)
        attempt.reason = listed ? "outside schedule" : "unknown card";
    return "ok " + std::to_string(accessAttemptAt(id, attempt, plan != plans.end() ? plan->openSeconds : 4));
}

// flood-events <perSecond> <seconds> [priority]: synthetic events, paced evenly.
std::string SimServer::controlFloodEvents(const std::string&, const std::string& rest)
{
    const auto [rateText, afterRate] = splitWord(rest);
    const auto [secondsText, priorityText] = splitWord(afterRate);
    ObjectId perSecond = 0;
    ObjectId seconds = 0;
    ObjectId priority = 0;
    if (!parseId(rateText, perSecond) || !parseId(secondsText, seconds) ||
        (!priorityText.empty() && !parseId(priorityText, priority)))
        return "error usage: flood-events <perSecond> <seconds> [priority]";
    if (perSecond < 1 || perSecond > 20000)
        return "error flood-events: perSecond must lie between 1 and 20000";
    if (seconds < 1 || seconds > 600)
        return "error flood-events: seconds must lie between 1 and 600";
    if (priority < 0 || priority > 100)
        return "error flood-events: priority must lie between 0 and 100";
    // Floods at once add up: together they keep to the same bound.
    if (m_floodingPerSecond + perSecond > 20000)
        return "error flood-events: floods running already send " + std::to_string(m_floodingPerSecond) +
               " a second; together at most 20000";
    m_floodingPerSecond += perSecond;
    auto flood = std::make_shared<Flood>();
    flood->start = Clock::now();
    flood->perSecond = perSecond;
    flood->total = perSecond * seconds;
    flood->priority = static_cast<int>(priority);
    logLine("flooding " + std::to_string(flood->total) + " events over " + std::to_string(seconds) + " s");
    schedule(0, [this, flood] { floodTick(flood); });
    return "ok";
}

} // namespace vantorsim
