// SPDX-License-Identifier: MIT
#include "wire.h"

#include <cmath>
#include <limits>

namespace pelmar::vantor::wire {

namespace {

const Json& member(const Json& object, const char* key)
{
    if (!object.is_object())
        throw WireError(std::string("expected an object holding \"") + key + "\"");
    auto it = object.find(key);
    if (it == object.end())
        throw WireError(std::string("missing key \"") + key + "\"");
    return *it;
}

std::int64_t asInt(const Json& v, const char* what)
{
    if (v.is_number_integer()) {
        if (v.is_number_unsigned() && v.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
            throw WireError(std::string("\"") + what + "\" is out of range");
        return v.get<std::int64_t>();
    }
    throw WireError(std::string("\"") + what + "\" is not an integer");
}

// Tags, types, priorities and flags are 32-bit; a larger number is not taken for its low bits.
std::int32_t asInt32(const Json& v, const char* what)
{
    const std::int64_t value = asInt(v, what);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        throw WireError(std::string("\"") + what + "\" is out of range");
    return static_cast<std::int32_t>(value);
}

Json floatToJson(double v)
{
    // JSON has no NaN or infinities; they travel as text.
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    return v;
}

double floatFromJson(const Json& v)
{
    if (v.is_number())
        return v.get<double>();
    if (v.is_string()) {
        const auto& s = v.get_ref<const std::string&>();
        if (s == "nan")
            return std::numeric_limits<double>::quiet_NaN();
        if (s == "inf")
            return std::numeric_limits<double>::infinity();
        if (s == "-inf")
            return -std::numeric_limits<double>::infinity();
    }
    throw WireError("float value is neither a number nor nan/inf/-inf");
}

std::string textOf(const Json& v, const char* what)
{
    if (!v.is_string())
        throw WireError(std::string("\"") + what + "\" is not a string");
    return v.get<std::string>();
}

} // namespace

std::int64_t getInt(const Json& object, const char* key)
{
    return asInt(member(object, key), key);
}

std::int64_t getInt(const Json& object, const char* key, std::int64_t fallback)
{
    if (!object.is_object() || !object.contains(key))
        return fallback;
    return asInt(object.at(key), key);
}

namespace {

std::int32_t getInt32(const Json& object, const char* key)
{
    return asInt32(member(object, key), key);
}

std::int32_t getInt32(const Json& object, const char* key, std::int32_t fallback)
{
    if (!object.is_object() || !object.contains(key))
        return fallback;
    return asInt32(object.at(key), key);
}

} // namespace

std::string getString(const Json& object, const char* key)
{
    return textOf(member(object, key), key);
}

std::string getString(const Json& object, const char* key, const std::string& fallback)
{
    if (!object.is_object() || !object.contains(key))
        return fallback;
    return textOf(object.at(key), key);
}

const Json& getArray(const Json& object, const char* key)
{
    const Json& v = member(object, key);
    if (!v.is_array())
        throw WireError(std::string("\"") + key + "\" is not an array");
    return v;
}

const Json& getObject(const Json& object, const char* key)
{
    const Json& v = member(object, key);
    if (!v.is_object())
        throw WireError(std::string("\"") + key + "\" is not an object");
    return v;
}

std::string toHex(const std::vector<std::uint8_t>& bytes)
{
    return DataValue(bytes).toString();
}

std::vector<std::uint8_t> fromHex(const std::string& text)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (text.size() % 2 != 0)
        throw WireError("hex text has an odd length");
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = nibble(text[i]);
        int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            throw WireError("hex text holds a character that is not a hex digit");
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return out;
}

Json valueToJson(const Value& value)
{
    Json j = {{"tag", value.tag()}};
    switch (value.tag()) {
    case Value::NoneTag:
        break;
    case Value::IdTag:
        j["v"] = static_cast<const IdValue&>(value).value();
        break;
    case Value::BoolTag:
        j["v"] = static_cast<const BoolValue&>(value).value();
        break;
    case Value::IntTag:
        j["v"] = static_cast<const IntValue&>(value).value();
        break;
    case Value::FloatTag:
        j["v"] = floatToJson(static_cast<const FloatValue&>(value).value());
        break;
    case Value::TimestampTag:
        j["v"] = static_cast<const TimestampValue&>(value).value();
        break;
    default:
        // String, data (hex), date, time and date-time all travel as their text form.
        j["v"] = value.toString();
        break;
    }
    return j;
}

std::unique_ptr<Value> valueFromJson(const Json& json)
{
    const int tag = getInt32(json, "tag");
    if (tag == Value::NoneTag)
        return std::make_unique<NoneValue>();
    const Json& v = member(json, "v");
    switch (tag) {
    case Value::IdTag:
        return std::make_unique<IdValue>(asInt(v, "v"));
    case Value::BoolTag:
        if (!v.is_boolean())
            throw WireError("bool value is not a JSON boolean");
        return std::make_unique<BoolValue>(v.get<bool>());
    case Value::IntTag:
        return std::make_unique<IntValue>(asInt(v, "v"));
    case Value::FloatTag:
        return std::make_unique<FloatValue>(floatFromJson(v));
    case Value::StringTag:
        return std::make_unique<StringValue>(textOf(v, "v"));
    case Value::DataTag:
        return std::make_unique<DataValue>(fromHex(textOf(v, "v")));
    case Value::DateTag:
        return std::make_unique<DateValue>(textOf(v, "v"));
    case Value::TimeTag:
        return std::make_unique<TimeValue>(textOf(v, "v"));
    case Value::DateTimeTag:
        return std::make_unique<DateTimeValue>(textOf(v, "v"));
    case Value::TimestampTag:
        return std::make_unique<TimestampValue>(asInt(v, "v"));
    default:
        throw WireError("unknown value tag " + std::to_string(tag));
    }
}

Json mapToJson(const NameValueMap& map)
{
    Json arr = Json::array();
    for (const auto& name : map.names())
        arr.push_back({{"name", name}, {"value", valueToJson(map.value(name))}});
    return arr;
}

NameValueMap mapFromJson(const Json& json)
{
    if (!json.is_array())
        throw WireError("name/value map is not an array");
    NameValueMap map;
    for (const auto& entry : json)
        map.setValue(getString(entry, "name"), ValuePtr(valueFromJson(member(entry, "value"))));
    return map;
}

Json objectToJson(const ObjectData& object)
{
    Json j = {{"id", object.id},
              {"name", object.name},
              {"type", object.type},
              {"className", object.className},
              {"parent", object.parent},
              {"children", object.children},
              {"settings", mapToJson(object.settings)}};
    if (!object.serialNumber.empty())
        j["serial"] = object.serialNumber;
    return j;
}

ObjectData objectFromJson(const Json& json)
{
    ObjectData o;
    o.id = getInt(json, "id");
    o.name = getString(json, "name");
    o.type = getInt32(json, "type");
    o.className = getString(json, "className", std::string());
    o.parent = getInt(json, "parent", 0);
    if (json.contains("children")) {
        for (const auto& c : getArray(json, "children"))
            o.children.push_back(asInt(c, "children"));
    }
    if (json.contains("settings"))
        o.settings = mapFromJson(json.at("settings"));
    o.serialNumber = getString(json, "serial", std::string());
    o.valid = true;
    return o;
}

Json eventToJson(const Event& event)
{
    return {{"fields", mapToJson(event.fields)},
            {"className", event.className},
            {"eventId", event.eventId},
            {"sourceId", event.sourceId},
            {"destinationId", event.destinationId},
            {"timestamp", event.timestamp},
            {"priority", event.priority},
            {"flags", event.flags}};
}

Event eventFromJson(const Json& json)
{
    Event e;
    if (json.contains("fields"))
        e.fields = mapFromJson(json.at("fields"));
    e.className = getString(json, "className", std::string());
    e.eventId = getInt(json, "eventId", 0);
    e.sourceId = getInt(json, "sourceId", 0);
    e.destinationId = getInt(json, "destinationId", 0);
    e.timestamp = getInt(json, "timestamp", 0);
    e.priority = getInt32(json, "priority", 0);
    e.flags = getInt32(json, "flags", 0);
    return e;
}

Json chunkToJson(const StreamChunk& chunk)
{
    return {{"chunkId", chunk.chunkId},
            {"streamId", chunk.streamId},
            {"start", chunk.start},
            {"end", chunk.end},
            {"size", chunk.size}};
}

StreamChunk chunkFromJson(const Json& json)
{
    StreamChunk c;
    c.chunkId = getInt(json, "chunkId");
    c.streamId = getInt(json, "streamId");
    c.start = getInt(json, "start");
    c.end = getInt(json, "end");
    c.size = getInt(json, "size", 0);
    return c;
}

Json streamInfoToJson(const StreamInfo& info)
{
    return {{"deviceId", info.deviceId}, {"streamId", info.streamId}, {"token", info.token}, {"address", info.address}};
}

StreamInfo streamInfoFromJson(const Json& json)
{
    StreamInfo i;
    i.deviceId = getInt(json, "deviceId");
    i.streamId = getInt(json, "streamId");
    i.token = getString(json, "token", std::string());
    i.address = getString(json, "address", std::string());
    return i;
}

Json bindingToJson(const BindingPair& binding)
{
    return {{"objectId", binding.objectId}, {"bindingType", binding.bindingType}};
}

BindingPair bindingFromJson(const Json& json)
{
    BindingPair b;
    b.objectId = getInt(json, "objectId");
    b.bindingType = getInt32(json, "bindingType");
    return b;
}

} // namespace pelmar::vantor::wire
