// SPDX-License-Identifier: MIT
// The client end of the wire format: one frame from the server, decoded the way the library does
// for its type (welcome, refused, bye, reply results of every request, pushes). Malformed input
// may only raise WireError, which the library logs and drops; whatever decodes must come back the
// same through encoding and decoding again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <cstddef>
#include <exception>

#include "wire.h"

namespace vantor = pelmar::vantor;
namespace wire = pelmar::vantor::wire;
using wire::Json;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

std::string text(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void checkValue(const vantor::Value& value)
{
    const auto back = wire::valueFromJson(Json::parse(text(wire::valueToJson(value))));
    require(back->tag() == value.tag() && back->toString() == value.toString());
}

void checkMap(const vantor::NameValueMap& map)
{
    const vantor::NameValueMap back = wire::mapFromJson(Json::parse(text(wire::mapToJson(map))));
    require(back.names() == map.names());
    for (const auto& name : map.names())
        checkValue(map.value(name));
}

void checkObject(const vantor::ObjectData& object)
{
    const vantor::ObjectData back = wire::objectFromJson(Json::parse(text(wire::objectToJson(object))));
    require(back.id == object.id && back.name == object.name && back.type == object.type &&
            back.className == object.className && back.parent == object.parent && back.children == object.children &&
            back.serialNumber == object.serialNumber && back.valid);
    checkMap(object.settings);
}

void checkEvent(const vantor::Event& event)
{
    const vantor::Event back = wire::eventFromJson(Json::parse(text(wire::eventToJson(event))));
    require(back.className == event.className && back.eventId == event.eventId && back.sourceId == event.sourceId &&
            back.destinationId == event.destinationId && back.timestamp == event.timestamp &&
            back.priority == event.priority && back.flags == event.flags);
    checkMap(event.fields);
}

// A successful reply's result, read as each request's reply handler reads it.
void decodeResults(const Json& result)
{
    auto attempt = [](auto&& decode) {
        try {
            decode();
        } catch (const wire::WireError&) {
        }
    };
    attempt([&] { wire::getInt(result, "userId"); });
    attempt([&] {
        for (const auto& o : wire::getArray(result, "objects"))
            checkObject(wire::objectFromJson(o));
        wire::getInt(result, "rootId");
    });
    attempt([&] { checkMap(wire::mapFromJson(wire::getArray(result, "attributes"))); });
    attempt([&] { checkValue(*wire::valueFromJson(wire::getObject(result, "value"))); });
    attempt([&] {
        const vantor::StreamInfo info = wire::streamInfoFromJson(result);
        const vantor::StreamInfo back = wire::streamInfoFromJson(Json::parse(text(wire::streamInfoToJson(info))));
        require(back.deviceId == info.deviceId && back.streamId == info.streamId && back.token == info.token &&
                back.address == info.address);
    });
    attempt([&] {
        for (const auto& c : wire::getArray(result, "chunks")) {
            const vantor::StreamChunk chunk = wire::chunkFromJson(c);
            const vantor::StreamChunk back = wire::chunkFromJson(Json::parse(text(wire::chunkToJson(chunk))));
            require(back.chunkId == chunk.chunkId && back.start == chunk.start && back.end == chunk.end &&
                    back.size == chunk.size && back.streamId == chunk.streamId);
        }
    });
    attempt([&] { wire::getInt(result, "eventId"); });
}

void handleMessage(const Json& message)
{
    const std::string type = wire::getString(message, "type");
    if (type == "welcome") {
        wire::getInt(message, "version");
    } else if (type == "refused") {
        wire::getString(message, "message", "refused");
        wire::getInt(message, "code", vantor::ErrVersionMismatch);
    } else if (type == "bye") {
        wire::getString(message, "reason", "no reason given");
    } else if (type == "reply") {
        wire::getInt(message, "id");
        auto ok = message.find("ok");
        if (ok == message.end() || !ok->is_boolean())
            return;
        if (!ok->get<bool>()) {
            auto error = message.find("error");
            if (error != message.end() && error->is_object()) {
                try {
                    wire::getInt(*error, "code", vantor::ErrServer);
                    wire::getString(*error, "message", "failed");
                } catch (const wire::WireError&) {
                }
            }
            return;
        }
        auto result = message.find("result");
        decodeResults(result != message.end() ? *result : Json::object());
    } else if (type == "push") {
        const std::string kind = wire::getString(message, "kind");
        if (kind == "eventReceived" || kind == "eventUpdated") {
            checkEvent(wire::eventFromJson(wire::getObject(message, "event")));
        } else if (kind == "sensorValue" || kind == "actuatorValue") {
            wire::getInt(message, "id");
            checkValue(*wire::valueFromJson(wire::getObject(message, "value")));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Json message = Json::parse(std::string(reinterpret_cast<const char*>(data), size), nullptr, false);
    if (message.is_discarded() || !message.is_object())
        return 0;
    try {
        handleMessage(message);
    } catch (const wire::WireError&) {
        // Logged and dropped by the library.
    } catch (const std::exception&) {
        // Anything else would escape the library's I/O loop and end the program.
        std::abort();
    }
    return 0;
}
