// SPDX-License-Identifier: MIT
// JSON form of the library's records, shared by the client library and the site simulator.
// The message layout is described in libvantor/PROTOCOL.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "vantor/vantor.h"

namespace pelmar::vantor::wire {

using Json = nlohmann::json;

constexpr int ProtocolVersion = 1;

// Thrown by the decoders when a message does not have the documented form.
class WireError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

Json valueToJson(const Value& value);
std::unique_ptr<Value> valueFromJson(const Json& json);

Json mapToJson(const NameValueMap& map);
NameValueMap mapFromJson(const Json& json);

Json objectToJson(const ObjectData& object);
ObjectData objectFromJson(const Json& json);

Json eventToJson(const Event& event);
Event eventFromJson(const Json& json);

Json chunkToJson(const StreamChunk& chunk);
StreamChunk chunkFromJson(const Json& json);

Json streamInfoToJson(const StreamInfo& info);
StreamInfo streamInfoFromJson(const Json& json);

Json bindingToJson(const BindingPair& binding);
BindingPair bindingFromJson(const Json& json);

// Checked field access: each throws WireError naming the missing or mistyped key.
std::int64_t getInt(const Json& object, const char* key);
std::int64_t getInt(const Json& object, const char* key, std::int64_t fallback);
std::string getString(const Json& object, const char* key);
std::string getString(const Json& object, const char* key, const std::string& fallback);
const Json& getArray(const Json& object, const char* key);
const Json& getObject(const Json& object, const char* key);

// Lower-case hex text and back; fromHex throws WireError on bad input.
std::string toHex(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> fromHex(const std::string& text);

} // namespace pelmar::vantor::wire
