// SPDX-License-Identifier: MIT
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "vantor/vantor.h"

namespace pelmar::vantor {

// ---------------------------------------------------------------------------------------------
// Errors

Error::Error(std::string message, int code) : m_message(std::move(message)), m_code(code) {}

std::string Error::toString() const
{
    std::string text = m_message;
    if (!text.empty())
        text += '\n';
    text += "Code: " + std::to_string(m_code);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Helpers

namespace {

bool parseInt64(const std::string& text, std::int64_t& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0')
        return false;
    out = v;
    return true;
}

bool parseDouble(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0')
        return false;
    out = v;
    return true;
}

std::int32_t saturateToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (v <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v); // truncates toward zero
}

std::int64_t saturateToInt64(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 9.2233720368547758e18)
        return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2233720368547758e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(v);
}

} // namespace

std::string idToString(ObjectId id)
{
    return std::to_string(id);
}

bool fromString(const std::string& text, bool& ok)
{
    std::string lower;
    lower.reserve(text.size());
    for (char c : text)
        lower += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    ok = true;
    if (lower == "true" || lower == "1" || lower == "yes" || lower == "on")
        return true;
    if (lower == "false" || lower == "0" || lower == "no" || lower == "off")
        return false;
    ok = false;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Value defaults: kinds without a typed payload read as false / 0.

bool Value::toBool() const
{
    return false;
}
std::int32_t Value::toInt() const
{
    return 0;
}
std::int64_t Value::toInt64() const
{
    return 0;
}
double Value::toDouble() const
{
    return 0.0;
}

std::string NoneValue::toString() const
{
    return std::string();
}
std::unique_ptr<Value> NoneValue::clone() const
{
    return std::make_unique<NoneValue>(*this);
}

bool BoolValue::toBool() const
{
    return m_value;
}
std::int32_t BoolValue::toInt() const
{
    return m_value ? 1 : 0;
}
std::int64_t BoolValue::toInt64() const
{
    return m_value ? 1 : 0;
}
double BoolValue::toDouble() const
{
    return m_value ? 1.0 : 0.0;
}
std::string BoolValue::toString() const
{
    return m_value ? "true" : "false";
}
std::unique_ptr<Value> BoolValue::clone() const
{
    return std::make_unique<BoolValue>(*this);
}

bool IntValue::toBool() const
{
    return m_value != 0;
}
std::int32_t IntValue::toInt() const
{
    // Low 32 bits, as a two's complement reinterpretation.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(m_value)));
}
std::int64_t IntValue::toInt64() const
{
    return m_value;
}
double IntValue::toDouble() const
{
    return static_cast<double>(m_value);
}
std::string IntValue::toString() const
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(m_value));
    return buf;
}
std::unique_ptr<Value> IntValue::clone() const
{
    return std::make_unique<IntValue>(*this);
}

bool FloatValue::toBool() const
{
    return m_value != 0.0;
} // NaN != 0.0 holds
std::int32_t FloatValue::toInt() const
{
    return saturateToInt32(m_value);
}
std::int64_t FloatValue::toInt64() const
{
    return saturateToInt64(m_value);
}
double FloatValue::toDouble() const
{
    return m_value;
}
std::string FloatValue::toString() const
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", m_value);
    // Prefer the shortest text that reads back to the same value.
    for (int precision = 1; precision < 17; ++precision) {
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, m_value);
        if (std::strtod(shorter, nullptr) == m_value)
            return shorter;
    }
    return buf;
}
std::unique_ptr<Value> FloatValue::clone() const
{
    return std::make_unique<FloatValue>(*this);
}

bool StringValue::toBool() const
{
    bool ok = false;
    bool v = fromString(m_value, ok);
    if (ok)
        return v;
    std::int64_t i = 0;
    return parseInt64(m_value, i) && i != 0;
}
std::int32_t StringValue::toInt() const
{
    std::int64_t i = 0;
    if (parseInt64(m_value, i))
        return IntValue(i).toInt();
    double d = 0;
    return parseDouble(m_value, d) ? saturateToInt32(d) : 0;
}
std::int64_t StringValue::toInt64() const
{
    std::int64_t i = 0;
    if (parseInt64(m_value, i))
        return i;
    double d = 0;
    return parseDouble(m_value, d) ? saturateToInt64(d) : 0;
}
double StringValue::toDouble() const
{
    double d = 0;
    return parseDouble(m_value, d) ? d : 0.0;
}
std::string StringValue::toString() const
{
    return m_value;
}
std::unique_ptr<Value> StringValue::clone() const
{
    return std::make_unique<StringValue>(*this);
}

std::string IdValue::toString() const
{
    return idToString(m_value);
}
std::unique_ptr<Value> IdValue::clone() const
{
    return std::make_unique<IdValue>(*this);
}

std::string DataValue::toString() const
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(m_value.size() * 2);
    for (std::uint8_t b : m_value) {
        text += digits[b >> 4];
        text += digits[b & 0x0f];
    }
    return text;
}
std::unique_ptr<Value> DataValue::clone() const
{
    return std::make_unique<DataValue>(*this);
}

std::string DateValue::toString() const
{
    return m_value;
}
std::unique_ptr<Value> DateValue::clone() const
{
    return std::make_unique<DateValue>(*this);
}
std::string TimeValue::toString() const
{
    return m_value;
}
std::unique_ptr<Value> TimeValue::clone() const
{
    return std::make_unique<TimeValue>(*this);
}
std::string DateTimeValue::toString() const
{
    return m_value;
}
std::unique_ptr<Value> DateTimeValue::clone() const
{
    return std::make_unique<DateTimeValue>(*this);
}
std::string TimestampValue::toString() const
{
    return std::to_string(m_value);
}
std::unique_ptr<Value> TimestampValue::clone() const
{
    return std::make_unique<TimestampValue>(*this);
}

// ---------------------------------------------------------------------------------------------
// ValuePtr and NameValueMap

namespace {
const NoneValue& noneValue()
{
    static const NoneValue none;
    return none;
}
} // namespace

const Value& ValuePtr::value() const
{
    return m_value ? *m_value : noneValue();
}

std::vector<std::string> NameValueMap::names() const
{
    std::vector<std::string> result;
    result.reserve(m_entries.size());
    for (const auto& e : m_entries)
        result.push_back(e.first);
    return result;
}

const Value& NameValueMap::value(const std::string& name) const
{
    for (const auto& e : m_entries)
        if (e.first == name)
            return e.second.value();
    return noneValue();
}

ValuePtr NameValueMap::valuePtr(const std::string& name) const
{
    for (const auto& e : m_entries)
        if (e.first == name)
            return e.second;
    return ValuePtr();
}

bool NameValueMap::contains(const std::string& name) const
{
    for (const auto& e : m_entries)
        if (e.first == name)
            return true;
    return false;
}

void NameValueMap::setValue(const std::string& name, const Value& value)
{
    setValue(name, ValuePtr(value.clone()));
}

void NameValueMap::setValue(const std::string& name, ValuePtr value)
{
    for (auto& e : m_entries) {
        if (e.first == name) {
            e.second = std::move(value);
            return;
        }
    }
    m_entries.emplace_back(name, std::move(value));
}

bool NameValueMap::remove(const std::string& name)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->first == name) {
            m_entries.erase(it);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Objects

namespace {
const std::shared_ptr<const ObjectData>& invalidObjectData()
{
    static const std::shared_ptr<const ObjectData> data = std::make_shared<ObjectData>();
    return data;
}
} // namespace

bool ObjectView::isValid() const
{
    return d && d->valid && d->type == m_expectedType;
}

std::string ObjectView::serialNumber() const
{
    return isValid() ? d->serialNumber : std::string();
}

Object::Object() : d(invalidObjectData()) {}
Object::Object(ObjectData data) : d(std::make_shared<const ObjectData>(std::move(data))) {}

ObjectId Object::id() const
{
    return d->id;
}
const std::string& Object::name() const
{
    return d->name;
}
int Object::type() const
{
    return d->type;
}
const std::string& Object::className() const
{
    return d->className;
}
ObjectId Object::parent() const
{
    return d->parent;
}
const std::vector<ObjectId>& Object::children() const
{
    return d->children;
}
const NameValueMap& Object::settings() const
{
    return d->settings;
}
bool Object::isValid() const
{
    return d->valid;
}
Device Object::toDevice() const
{
    return Device(d);
}
Sensor Object::toSensor() const
{
    return Sensor(d);
}
Actuator Object::toActuator() const
{
    return Actuator(d);
}
Stream Object::toStream() const
{
    return Stream(d);
}

} // namespace pelmar::vantor
