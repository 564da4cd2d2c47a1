// SPDX-License-Identifier: MIT
// Public interface of the Vantor server client library.
//
// Every request is asynchronous and takes a success and an error callback. All callbacks run on
// the I/O thread of the connection they belong to, never on the caller's thread. Handles
// (Context, Connection, Client, Object, ValuePtr, PendingRequest) are cheap values with shared
// ownership inside; the last handle of a connection to go away stops its I/O thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <type_traits>

namespace pelmar::vantor {

using ObjectId = std::int64_t;

// ---------------------------------------------------------------------------------------------
// Logging

enum class LogLevel { Trace = 0, Debug = 1, Info = 2, Warning = 3, Error = 4 };

class Logger
{
public:
    using Sink = std::function<void(const std::string& message, LogLevel level)>;

    Logger();
    // Messages below `level` are not passed to the sink.
    Logger(Sink sink, int level);

    void log(LogLevel level, const std::string& message) const;
    int level() const;

private:
    struct Impl;
    std::shared_ptr<Impl> d;
};

// ---------------------------------------------------------------------------------------------
// Errors

class Error
{
public:
    Error() = default;
    Error(std::string message, int code);
    virtual ~Error() = default;

    const std::string& message() const { return m_message; }
    int code() const { return m_code; }
    // "message", a line end when the message is not empty, then "Code: N".
    std::string toString() const;

private:
    std::string m_message;
    int m_code = 0;
};

// Error codes used by the library (ConnectionError and HandlerError).
enum ErrorCode : int {
    ErrNone = 0,
    ErrTimeout = 1,          // no answer within the allowed time
    ErrHostNotFound = 2,     // the host name could not be resolved
    ErrVersionMismatch = 3,  // server speaks another protocol version
    ErrConnectionLost = 4,   // heartbeats stopped or the connection was closed
    ErrNotConnected = 5,     // request made on a connection that is not open
    ErrProtocol = 6,         // malformed message
    ErrAccessDenied = 10,    // sign-in refused or not signed in
    ErrNotFound = 11,        // unknown object, attribute, stream ...
    ErrAlreadyExists = 12,   // attribute exists already
    ErrInvalidArgument = 13, // wrong kind of value, bad range ...
    ErrServer = 20,          // the server failed in another way
};

class ConnectionError : public Error
{
public:
    using Error::Error;
};

class HandlerError : public Error
{
public:
    using Error::Error;
};

// ---------------------------------------------------------------------------------------------
// Values

class Value
{
public:
    enum Tag : int {
        NoneTag = 0,
        IdTag = 10,
        BoolTag = 20,
        IntTag = 30,
        FloatTag = 40,
        StringTag = 50,
        DataTag = 60,
        DateTag = 70,
        TimeTag = 80,
        DateTimeTag = 90,
        TimestampTag = 100,
    };

    virtual ~Value() = default;

    int tag() const { return m_tag; }

    virtual bool toBool() const;
    virtual std::int32_t toInt() const;
    virtual std::int64_t toInt64() const;
    virtual double toDouble() const;
    virtual std::string toString() const = 0;
    virtual std::unique_ptr<Value> clone() const = 0;

protected:
    explicit Value(int tag) : m_tag(tag) {}
    Value(const Value&) = default;
    Value& operator=(const Value&) = default;

private:
    int m_tag;
};

class NoneValue : public Value
{
public:
    NoneValue() : Value(NoneTag) {}
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;
};

class BoolValue : public Value
{
public:
    explicit BoolValue(bool v) : Value(BoolTag), m_value(v) {}
    bool value() const { return m_value; }
    bool toBool() const override;
    std::int32_t toInt() const override;
    std::int64_t toInt64() const override;
    double toDouble() const override;
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    bool m_value;
};

class IntValue : public Value
{
public:
    explicit IntValue(std::int64_t v) : Value(IntTag), m_value(v) {}
    std::int64_t value() const { return m_value; }
    bool toBool() const override;
    std::int32_t toInt() const override; // low 32 bits
    std::int64_t toInt64() const override;
    double toDouble() const override;
    std::string toString() const override; // "%lld"
    std::unique_ptr<Value> clone() const override;

private:
    std::int64_t m_value;
};

class FloatValue : public Value
{
public:
    explicit FloatValue(double v) : Value(FloatTag), m_value(v) {}
    double value() const { return m_value; }
    bool toBool() const override;        // NaN counts as true
    std::int32_t toInt() const override; // truncated toward zero, saturated
    std::int64_t toInt64() const override;
    double toDouble() const override;
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    double m_value;
};

class StringValue : public Value
{
public:
    explicit StringValue(std::string v) : Value(StringTag), m_value(std::move(v)) {}
    const std::string& value() const { return m_value; }
    bool toBool() const override;        // fromString
    std::int32_t toInt() const override; // parsed, 0 when not a number
    std::int64_t toInt64() const override;
    double toDouble() const override;
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    std::string m_value;
};

// The remaining kinds only offer their text form.
class IdValue : public Value
{
public:
    explicit IdValue(ObjectId v) : Value(IdTag), m_value(v) {}
    ObjectId value() const { return m_value; }
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    ObjectId m_value;
};

class DataValue : public Value
{
public:
    explicit DataValue(std::vector<std::uint8_t> v) : Value(DataTag), m_value(std::move(v)) {}
    const std::vector<std::uint8_t>& value() const { return m_value; }
    std::string toString() const override; // lower-case hex
    std::unique_ptr<Value> clone() const override;

private:
    std::vector<std::uint8_t> m_value;
};

// Date "YYYY-MM-DD", time "hh:mm:ss.zzz", date-time "YYYY-MM-DDThh:mm:ss.zzzZ" (UTC), all held
// as their ISO text; a timestamp is milliseconds since the epoch.
class DateValue : public Value
{
public:
    explicit DateValue(std::string iso) : Value(DateTag), m_value(std::move(iso)) {}
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    std::string m_value;
};

class TimeValue : public Value
{
public:
    explicit TimeValue(std::string iso) : Value(TimeTag), m_value(std::move(iso)) {}
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    std::string m_value;
};

class DateTimeValue : public Value
{
public:
    explicit DateTimeValue(std::string iso) : Value(DateTimeTag), m_value(std::move(iso)) {}
    std::string toString() const override;
    std::unique_ptr<Value> clone() const override;

private:
    std::string m_value;
};

class TimestampValue : public Value
{
public:
    explicit TimestampValue(std::int64_t ms) : Value(TimestampTag), m_value(ms) {}
    std::int64_t value() const { return m_value; }
    std::string toString() const override; // decimal milliseconds
    std::unique_ptr<Value> clone() const override;

private:
    std::int64_t m_value;
};

// Shared handle to an immutable value. An empty handle's value() is a NoneValue.
class ValuePtr
{
public:
    ValuePtr() = default;
    explicit ValuePtr(std::shared_ptr<const Value> v) : m_value(std::move(v)) {}
    template <typename T, typename = std::enable_if_t<std::is_base_of<Value, T>::value>>
    explicit ValuePtr(std::unique_ptr<T> v) : m_value(std::move(v))
    {
    }

    const Value& value() const;
    const Value* get() const { return m_value.get(); }
    bool isNull() const { return !m_value; }
    explicit operator bool() const { return static_cast<bool>(m_value); }

private:
    std::shared_ptr<const Value> m_value;
};

// Ordered name/value map; names keep their first insertion order.
class NameValueMap
{
public:
    NameValueMap() = default;

    std::vector<std::string> names() const;
    // The stored value of `name`, or a NoneValue when the name is absent.
    const Value& value(const std::string& name) const;
    ValuePtr valuePtr(const std::string& name) const;
    bool contains(const std::string& name) const;
    void setValue(const std::string& name, const Value& value);
    void setValue(const std::string& name, ValuePtr value);
    bool remove(const std::string& name);
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

private:
    std::vector<std::pair<std::string, ValuePtr>> m_entries;
};

// ---------------------------------------------------------------------------------------------
// Objects

// Object type numbers: 1 User, 2 Device, 3 Service, 4 Group, 5 Script, 6 Policy, 7 Location,
// 8 Sensor, 9 Actuator, 10 Stream. Other numbers may arrive from newer servers.
struct ObjectData
{
    ObjectId id = 0;
    std::string name;
    int type = 0;
    std::string className;
    ObjectId parent = 0;
    std::vector<ObjectId> children;
    NameValueMap settings;
    std::string serialNumber; // devices, sensors, actuators and streams
    bool valid = false;
};

class Object;

// Typed views on an object; each carries the serial number of its kind.
class ObjectView
{
public:
    explicit ObjectView(std::shared_ptr<const ObjectData> d) : d(std::move(d)) {}
    bool isValid() const;
    std::string serialNumber() const;

protected:
    std::shared_ptr<const ObjectData> d;
    int m_expectedType = 0;
    ObjectView(std::shared_ptr<const ObjectData> d, int type) : d(std::move(d)), m_expectedType(type) {}
};

class Device : public ObjectView
{
public:
    explicit Device(std::shared_ptr<const ObjectData> d) : ObjectView(std::move(d), 2) {}
};
class Sensor : public ObjectView
{
public:
    explicit Sensor(std::shared_ptr<const ObjectData> d) : ObjectView(std::move(d), 8) {}
};
class Actuator : public ObjectView
{
public:
    explicit Actuator(std::shared_ptr<const ObjectData> d) : ObjectView(std::move(d), 9) {}
};
class Stream : public ObjectView
{
public:
    explicit Stream(std::shared_ptr<const ObjectData> d) : ObjectView(std::move(d), 10) {}
};

class Object
{
public:
    Object(); // an invalid object
    explicit Object(ObjectData data);

    ObjectId id() const;
    const std::string& name() const;
    int type() const;
    const std::string& className() const;
    ObjectId parent() const;
    const std::vector<ObjectId>& children() const;
    const NameValueMap& settings() const;
    bool isValid() const;

    Device toDevice() const;
    Sensor toSensor() const;
    Actuator toActuator() const;
    Stream toStream() const;

private:
    std::shared_ptr<const ObjectData> d;
};

// ---------------------------------------------------------------------------------------------
// Records of the requests

struct BindingPair
{
    ObjectId objectId = 0;
    int bindingType = 0; // 1 proxy, 2 storage, 3 proxy and storage
};

struct StreamChunk
{
    std::int64_t chunkId = 0;
    std::int64_t streamId = 0;
    std::int64_t start = 0; // milliseconds since the epoch
    std::int64_t end = 0;
    std::int64_t size = 0; // bytes
};

struct StreamInfo
{
    ObjectId deviceId = 0;
    ObjectId streamId = 0;
    std::string token;
    std::string address;
};

struct Event
{
    NameValueMap fields;
    std::string className;
    ObjectId eventId = 0;
    ObjectId sourceId = 0;
    ObjectId destinationId = 0;
    std::int64_t timestamp = 0; // milliseconds since the epoch; 0 lets the server fill it in
    std::int32_t priority = 0;
    std::int32_t flags = 0;
};

enum class ChunkSearchBy : int { Start = 0, End = 1 };

std::string idToString(ObjectId id);
// Parses "true"/"false", "1"/"0", "yes"/"no", "on"/"off" (any case); `ok` tells whether it did.
bool fromString(const std::string& text, bool& ok);

// ---------------------------------------------------------------------------------------------
// Context, connection and client

class Context
{
public:
    Context(); // a null context; a Connection needs a real one
    explicit Context(const Logger& logger);

    bool isNull() const { return !d; }
    const Logger& logger() const;

    struct Impl;

private:
    std::shared_ptr<Impl> d;
    friend class Connection;
};

class Connection;

struct ConnectionCallbacks
{
    std::function<void(int newState, int previousState)> stateChanged;
    std::function<void(const ConnectionError& error)> connectionError;
};

struct ConnectionOptions
{
    int handshakeTimeoutMs = 3000;
    int requestTimeoutMs = 10000;
    int heartbeatIntervalMs = 1000;
    int heartbeatMissesAllowed = 3; // connection lost after this many missed intervals
};

class Connection
{
public:
    enum State : int { Closed = 0, Opening = 1, Open = 2, Closing = 3 };

    Connection(); // a null connection
    Connection(ConnectionCallbacks callbacks, const Context& context, ConnectionOptions options = ConnectionOptions());

    bool isNull() const { return !d; }
    State state() const;

    // Connects to tcp://host:port and performs the handshake. Exactly one of the two callbacks
    // runs, on the connection's I/O thread.
    void open(const std::string& host, int port, std::function<void()> onOpen,
              std::function<void(const ConnectionError&)> onError);
    // Closes an open connection; pending requests fail with ErrConnectionLost.
    void close();

    struct Impl;

private:
    std::shared_ptr<Impl> d;
    friend class Client;
};

struct ClientCallbacks
{
    std::function<void()> objectDataChanged;
    std::function<void(const Event& event)> eventReceived;
    std::function<void(const Event& event)> eventUpdated;
    std::function<void(ObjectId id, ValuePtr value)> sensorValueChanged;
    std::function<void(ObjectId id, ValuePtr value)> actuatorValueChanged;
};

// A handle to a request in flight. Dropping it does not cancel the request.
class PendingRequest
{
public:
    PendingRequest() = default;
    std::uint64_t id() const;
    bool isFinished() const;

    struct State;
    explicit PendingRequest(std::shared_ptr<State> s) : d(std::move(s)) {}

private:
    std::shared_ptr<State> d;
};

using ErrorCallback = std::function<void(const HandlerError& error)>;

class Client
{
public:
    Client(); // a null client; every request fails with ErrNotConnected
    Client(ClientCallbacks callbacks, const Connection& connection);

    bool isNull() const { return !d; }

    PendingRequest signIn(const std::string& user, const std::string& password,
                          std::function<void(ObjectId userId)> onSuccess, ErrorCallback onError);
    PendingRequest getObjects(std::function<void(const std::vector<Object>& objects, ObjectId rootId)> onSuccess,
                              ErrorCallback onError);
    // An empty name asks for every attribute of the object.
    PendingRequest getDynamicAttribute(ObjectId objectId, const std::string& name,
                                       std::function<void(const NameValueMap& attributes)> onSuccess,
                                       ErrorCallback onError);
    PendingRequest createDynamicAttribute(ObjectId objectId, const std::string& name, const Value& value,
                                          std::function<void()> onSuccess, ErrorCallback onError);
    PendingRequest setDynamicAttribute(ObjectId objectId, const std::string& name, const Value& value,
                                       std::function<void()> onSuccess, ErrorCallback onError);
    PendingRequest removeDynamicAttribute(ObjectId objectId, const std::string& name, std::function<void()> onSuccess,
                                          ErrorCallback onError);
    PendingRequest getActuatorValue(ObjectId actuatorId, std::function<void(ValuePtr value)> onSuccess,
                                    ErrorCallback onError);
    PendingRequest setActuatorValue(ObjectId actuatorId, const Value& value, std::function<void()> onSuccess,
                                    ErrorCallback onError);
    PendingRequest bindStream(ObjectId streamId, const std::vector<BindingPair>& bindings,
                              std::function<void()> onSuccess, ErrorCallback onError);
    PendingRequest unbindStream(ObjectId streamId, ObjectId deviceId, std::function<void()> onSuccess,
                                ErrorCallback onError);
    PendingRequest getStreamInfo(ObjectId deviceId, ObjectId streamId,
                                 std::function<void(const StreamInfo& info)> onSuccess, ErrorCallback onError);
    PendingRequest searchChunks(ObjectId streamId, int searchBy, std::int64_t start, std::int64_t end,
                                std::function<void(const std::vector<StreamChunk>& chunks)> onSuccess,
                                ErrorCallback onError);
    PendingRequest sendEvent(const Event& event, std::function<void(ObjectId eventId)> onSuccess,
                             ErrorCallback onError);

    struct Impl;

private:
    std::shared_ptr<Impl> d;
};

} // namespace pelmar::vantor
