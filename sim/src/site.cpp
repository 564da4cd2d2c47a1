// SPDX-License-Identifier: MIT
#include "site.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "posgen.h"
#include "wire.h"

namespace vantorsim {

namespace {

// Builds error messages that say where in the file the problem is.
class Where
{
public:
    Where(std::string label, std::string place) : m_label(std::move(label)), m_place(std::move(place)) {}
    Where at(const std::string& more) const { return Where(m_label, m_place.empty() ? more : m_place + more); }
    [[noreturn]] void fail(const std::string& what) const
    {
        throw SiteError(m_label + ": " + (m_place.empty() ? "" : m_place + ": ") + what);
    }
    std::string text() const { return m_label + (m_place.empty() ? "" : ": " + m_place); }

private:
    std::string m_label;
    std::string m_place;
};

std::int64_t intOf(const OrderedJson& j, const Where& w, const char* key)
{
    if (!j.is_number_integer())
        w.fail(std::string("\"") + key + "\" must be an integer");
    if (j.is_number_unsigned() && j.get<std::uint64_t>() > std::uint64_t(INT64_MAX))
        w.fail(std::string("\"") + key + "\" is out of range");
    return j.get<std::int64_t>();
}

// An integer of the file that must fit an int (types, ports, delays).
int intOfRange(std::int64_t value, const Where& w, const char* key)
{
    if (value < INT32_MIN || value > INT32_MAX)
        w.fail(std::string("\"") + key + "\" is out of range");
    return static_cast<int>(value);
}

// Sums and products of times and sizes of the file, refused rather than wrapped around.
std::int64_t checkedAdd(std::int64_t a, std::int64_t b, const Where& w, const char* what)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        w.fail(std::string(what) + " is out of range");
    return sum;
}

std::int64_t checkedSub(std::int64_t a, std::int64_t b, const Where& w, const char* what)
{
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference))
        w.fail(std::string(what) + " is out of range");
    return difference;
}

std::int64_t checkedMul(std::int64_t a, std::int64_t b, const Where& w, const char* what)
{
    std::int64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product))
        w.fail(std::string(what) + " is out of range");
    return product;
}

// Bounds that keep a site file from asking for more memory and time than a test site needs.
constexpr std::size_t maxChunksPerStream = 100000;
constexpr std::uint64_t maxGeneratedPosPerStream = 100000;

std::int64_t requireInt(const OrderedJson& obj, const char* key, const Where& w)
{
    if (!obj.contains(key))
        w.fail(std::string("\"") + key + "\" is missing");
    return intOf(obj.at(key), w, key);
}

std::int64_t optionalInt(const OrderedJson& obj, const char* key, std::int64_t fallback, const Where& w)
{
    return obj.contains(key) ? intOf(obj.at(key), w, key) : fallback;
}

std::string optionalString(const OrderedJson& obj, const char* key, const Where& w, const std::string& fallback = {})
{
    if (!obj.contains(key))
        return fallback;
    if (!obj.at(key).is_string())
        w.fail(std::string("\"") + key + "\" must be a string");
    return obj.at(key).get<std::string>();
}

double optionalNumber(const OrderedJson& obj, const char* key, double fallback, const Where& w)
{
    if (!obj.contains(key))
        return fallback;
    if (!obj.at(key).is_number())
        w.fail(std::string("\"") + key + "\" must be a number");
    return obj.at(key).get<double>();
}

const OrderedJson& optionalObject(const OrderedJson& obj, const char* key, const Where& w)
{
    static const OrderedJson empty = OrderedJson::object();
    if (!obj.contains(key))
        return empty;
    if (!obj.at(key).is_object())
        w.fail(std::string("\"") + key + "\" must be an object");
    return obj.at(key);
}

vt::NameValueMap mapOf(const OrderedJson& obj, const Where& w)
{
    vt::NameValueMap map;
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        try {
            map.setValue(it.key(), valueFromPlainJson(it.value()));
        } catch (const vt::wire::WireError& e) {
            w.at("\"" + it.key() + "\"").fail(e.what());
        }
    }
    return map;
}

void parseObject(Site& site, const OrderedJson& j, const Where& w)
{
    if (!j.is_object())
        w.fail("must be an object");
    SiteObject o;
    o.data.valid = true;
    o.data.id = requireInt(j, "id", w);
    const Where here = w.at(" (id " + std::to_string(o.data.id) + ")");
    if (o.data.id <= 0)
        here.fail("\"id\" must be positive");
    if (site.index.count(o.data.id))
        here.fail("the id is used twice");
    if (!j.contains("name") || !j.at("name").is_string())
        here.fail("\"name\" is missing or not a string");
    o.data.name = j.at("name").get<std::string>();
    o.data.type = intOfRange(requireInt(j, "type", here), here, "type");
    o.data.className = optionalString(j, "className", here);
    o.data.parent = optionalInt(j, "parent", 0, here);
    o.data.serialNumber = optionalString(j, "serial", here);
    o.data.settings = mapOf(optionalObject(j, "settings", here), here.at(": settings"));
    o.attributes = mapOf(optionalObject(j, "attributes", here), here.at(": attributes"));
    if (j.contains("children")) {
        if (!j.at("children").is_array())
            here.fail("\"children\" must be an array of ids");
        for (const auto& c : j.at("children"))
            o.data.children.push_back(intOf(c, here, "children"));
    }
    if (j.contains("password")) {
        if (o.data.type != UserType)
            here.fail("only users (type 1) have a \"password\"");
        o.password = optionalString(j, "password", here);
    }
    if (o.data.type == SensorType || o.data.type == ActuatorType) {
        try {
            o.value = j.contains("value") ? valueFromPlainJson(j.at("value")) : makeValue<vt::BoolValue>(false);
        } catch (const vt::wire::WireError& e) {
            here.fail(std::string("\"value\": ") + e.what());
        }
    } else if (j.contains("value")) {
        here.fail("only sensors (type 8) and actuators (type 9) have a \"value\"");
    }
    o.device = optionalInt(j, "device", o.data.type == StreamType ? o.data.parent : 0, here);
    if (j.contains("gateway")) {
        const auto& g = optionalObject(j, "gateway", here);
        Gateway gw;
        gw.id = o.data.id;
        const auto httpPort = optionalInt(g, "httpPort", 9554, here.at(": gateway"));
        if (httpPort <= 0 || httpPort > 65535)
            here.at(": gateway").fail("\"httpPort\" must be a port number");
        gw.httpPort = static_cast<int>(httpPort);
        // Address and POS port come from the settings the clients read; the defaults follow the
        // usual layout of one loopback address per gateway.
        const auto& settings = o.data.settings;
        gw.address = settings.contains("address") ? settings.value("address").toString()
                                                  : "127.0.0." + std::to_string(site.gateways.size() + 1);
        // The whole number is checked: its low 32 bits alone may look like a port.
        const std::int64_t posPort = settings.contains("posPort") ? settings.value("posPort").toInt64() : 5556;
        if (posPort <= 0 || posPort > 65535)
            here.fail("setting \"posPort\" must be a port number");
        gw.posPort = static_cast<int>(posPort);
        site.gateways.push_back(gw);
    }
    site.index[o.data.id] = site.objects.size();
    site.objects.push_back(std::move(o));
}

// A run's "start": milliseconds since the epoch, or "today" for the local midnight of the day the
// site is loaded, so that a demo always has recordings of the current day.
std::int64_t runStart(const OrderedJson& j, const Where& w)
{
    if (j.contains("start") && j.at("start").is_string()) {
        if (j.at("start").get<std::string>() != "today")
            w.fail("\"start\" must be a time in milliseconds or \"today\"");
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        local.tm_hour = 0;
        local.tm_min = 0;
        local.tm_sec = 0;
        local.tm_isdst = -1;
        return static_cast<std::int64_t>(std::mktime(&local)) * 1000;
    }
    return requireInt(j, "start", w);
}

std::vector<vt::StreamChunk> parseChunks(const OrderedJson& j, ObjectId stream, std::int64_t& nextChunkId,
                                         const Where& w)
{
    std::vector<vt::StreamChunk> chunks;
    auto add = [&](std::int64_t id, std::int64_t start, std::int64_t end, std::int64_t size, const Where& at) {
        if (size < 0)
            at.fail("\"size\" must not be negative");
        if (id == INT64_MAX)
            at.fail("\"chunkId\" is out of range");
        chunks.push_back({id, stream, start, end, size});
        nextChunkId = std::max(nextChunkId, id + 1);
    };
    if (j.is_array()) {
        if (j.size() > maxChunksPerStream)
            w.fail("a stream has at most " + std::to_string(maxChunksPerStream) + " chunks");
        for (std::size_t i = 0; i < j.size(); ++i) {
            const Where at = w.at("[" + std::to_string(i) + "]");
            const auto& c = j.at(i);
            if (!c.is_object())
                at.fail("must be an object");
            const auto start = requireInt(c, "start", at);
            const auto end = requireInt(c, "end", at);
            if (end < start)
                at.fail("\"end\" lies before \"start\"");
            const auto id = optionalInt(c, "chunkId", nextChunkId, at);
            const auto size = c.contains("size") ? requireInt(c, "size", at)
                                                 : checkedMul(checkedSub(end, start, at, "the chunk's length"), 60, at,
                                                              "the chunk's default size");
            add(id, start, end, size, at);
        }
    } else if (j.is_object()) {
        // A run of equal chunks: {"start", "count" or "spanMs", "durationMs", "gapMs", "pauseEvery",
        // "pauseMs", "size"}.
        const auto start = runStart(j, w);
        const auto duration = requireInt(j, "durationMs", w);
        const auto gap = optionalInt(j, "gapMs", 0, w);
        const auto pauseEvery = optionalInt(j, "pauseEvery", 0, w);
        const auto pause = optionalInt(j, "pauseMs", 0, w);
        if (duration <= 0 || gap < 0)
            w.fail("\"durationMs\" must be positive and \"gapMs\" not negative");
        if (pauseEvery < 0 || pause < 0)
            w.fail("\"pauseEvery\" and \"pauseMs\" must not be negative");
        if (j.contains("count") == j.contains("spanMs"))
            w.fail("a chunk run has either \"count\" or \"spanMs\"");
        const auto size =
            j.contains("size") ? requireInt(j, "size", w) : checkedMul(duration, 60, w, "the chunks' default size");
        const auto period = checkedAdd(duration, gap, w, "the run's period");
        // The start of the k-th chunk: k periods, and a pause after every pauseEvery chunks.
        auto startOf = [&](std::int64_t k) {
            const auto pauses = pauseEvery > 0 ? k / pauseEvery : 0;
            return checkedAdd(checkedAdd(start, checkedMul(k, period, w, "the run's length"), w, "the run's end"),
                              checkedMul(pauses, pause, w, "the run's pauses"), w, "the run's end");
        };
        std::int64_t count = 0;
        if (j.contains("count")) {
            count = requireInt(j, "count", w);
            if (count < 0 || count > std::int64_t(maxChunksPerStream))
                w.fail("\"count\" must lie between 0 and " + std::to_string(maxChunksPerStream));
        } else {
            const auto span = requireInt(j, "spanMs", w);
            if (span < 0)
                w.fail("\"spanMs\" must not be negative");
            const auto until = checkedAdd(start, span, w, "the run's end");
            while (startOf(count) < until) {
                if (++count > std::int64_t(maxChunksPerStream))
                    w.fail("\"spanMs\" gives more than " + std::to_string(maxChunksPerStream) + " chunks");
            }
        }
        // The end of the last chunk bounds every time of the run.
        if (count > 0)
            checkedAdd(startOf(count - 1), duration, w, "the run's end");
        if (count > 0 && nextChunkId > INT64_MAX - count)
            w.fail("the chunk ids are out of range");
        for (std::int64_t i = 0; i < count; ++i) {
            const auto s = startOf(i);
            add(nextChunkId, s, s + duration, size, w);
        }
    } else {
        w.fail("must be an array of chunks or a chunk run object");
    }
    return chunks;
}

// How many receipts posEveryMs adds to the chunks, counted without overflow (and capped just past
// the bound).
std::uint64_t generatedPosCount(const Recording& rec)
{
    if (rec.posEveryMs <= 0)
        return 0;
    const auto step = static_cast<std::uint64_t>(rec.posEveryMs);
    std::uint64_t total = 0;
    for (const auto& c : rec.chunks) {
        const std::uint64_t length = static_cast<std::uint64_t>(c.end) - static_cast<std::uint64_t>(c.start);
        total += length / step + (length % step != 0);
        if (total > maxGeneratedPosPerStream)
            return total;
    }
    return total;
}

void parseRecording(Site& site, const OrderedJson& j, std::int64_t& nextChunkId, const Where& w)
{
    if (!j.is_object())
        w.fail("must be an object");
    const ObjectId stream = requireInt(j, "stream", w);
    const SiteObject* o = site.find(stream);
    if (!o || o->data.type != StreamType)
        w.fail("\"stream\" " + std::to_string(stream) + " is not a stream object (type 10) of the site");
    Recording& rec = site.recordings[stream];
    if (j.contains("chunks")) {
        auto chunks = parseChunks(j.at("chunks"), stream, nextChunkId, w.at(": chunks"));
        if (rec.chunks.size() + chunks.size() > maxChunksPerStream)
            w.fail("stream " + std::to_string(stream) + " has more than " + std::to_string(maxChunksPerStream) +
                   " chunks");
        rec.chunks.insert(rec.chunks.end(), chunks.begin(), chunks.end());
    }
    if (j.contains("pos")) {
        const auto& arr = j.at("pos");
        if (!arr.is_array())
            w.fail("\"pos\" must be an array");
        for (std::size_t i = 0; i < arr.size(); ++i) {
            const Where at = w.at(": pos[" + std::to_string(i) + "]");
            if (!arr.at(i).is_object() || !arr.at(i).contains("text") || !arr.at(i).at("text").is_string())
                at.fail("must be an object with \"time\" and a string \"text\"");
            rec.listedPos.push_back({requireInt(arr.at(i), "time", at), arr.at(i).at("text").get<std::string>()});
        }
    }
    rec.posEveryMs = optionalInt(j, "posEveryMs", 0, w);
    if (rec.posEveryMs < 0)
        w.fail("\"posEveryMs\" must not be negative");
    if (generatedPosCount(rec) > maxGeneratedPosPerStream)
        w.fail("\"posEveryMs\" " + std::to_string(rec.posEveryMs) + " gives stream " + std::to_string(stream) +
               " more than " + std::to_string(maxGeneratedPosPerStream) + " receipts");
    std::stable_sort(rec.chunks.begin(), rec.chunks.end(),
                     [](const auto& a, const auto& b) { return a.start < b.start; });
}

// Generated receipts use the same numbering as the live publisher: the k-th receipt of a stream's
// recordings is posReceipt(seed, stream, k), counted over its chunks in time order.
void buildRecordedPos(Site& site)
{
    for (auto& [stream, rec] : site.recordings) {
        rec.pos = rec.listedPos;
        if (rec.posEveryMs > 0) {
            std::uint64_t k = 0;
            const auto step = static_cast<std::uint64_t>(rec.posEveryMs);
            for (const auto& c : rec.chunks) {
                // Offsets from the start, so that a chunk ending near the largest time does not wrap.
                const std::uint64_t length = static_cast<std::uint64_t>(c.end) - static_cast<std::uint64_t>(c.start);
                for (std::uint64_t offset = 0; offset < length; offset += step) {
                    const auto t = static_cast<std::int64_t>(static_cast<std::uint64_t>(c.start) + offset);
                    rec.pos.push_back({t, posReceipt(site.posSeed, stream, k++)});
                    if (length - offset <= step)
                        break;
                }
            }
        }
        std::stable_sort(rec.pos.begin(), rec.pos.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    }
}

// Paths in the site are relative to its file's folder; a file that cannot be read is the site's fault,
// found now rather than at the first request.
void resolveMediaFiles(Site& site)
{
    std::string& numbered = site.chunkMedia.numbered;
    if (numbered.empty())
        return;
    if (numbered[0] != '/') {
        const auto slash = site.path.find_last_of('/');
        numbered = (slash == std::string::npos ? std::string(".") : site.path.substr(0, slash)) + "/" + numbered;
    }
    const Where w(site.path, "chunkMedia");
    struct stat st
    {
    };
    if (::stat(numbered.c_str(), &st) != 0)
        w.fail("\"numbered\": cannot read " + numbered + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        w.fail("\"numbered\": " + numbered + " is not a file");
    if (::access(numbered.c_str(), R_OK) != 0)
        w.fail("\"numbered\": cannot read " + numbered + ": " + std::strerror(errno));
}

} // namespace

SiteObject* Site::find(ObjectId id)
{
    auto it = index.find(id);
    return it == index.end() ? nullptr : &objects[it->second];
}

const SiteObject* Site::find(ObjectId id) const
{
    auto it = index.find(id);
    return it == index.end() ? nullptr : &objects[it->second];
}

const Gateway* Site::gateway(ObjectId id) const
{
    for (const auto& g : gateways)
        if (g.id == id)
            return &g;
    return nullptr;
}

vt::ValuePtr valueFromPlainJson(const OrderedJson& json)
{
    if (json.is_boolean())
        return makeValue<vt::BoolValue>(json.get<bool>());
    if (json.is_number_integer()) {
        if (json.is_number_unsigned() && json.get<std::uint64_t>() > std::uint64_t(INT64_MAX))
            throw vt::wire::WireError("integer out of range");
        return makeValue<vt::IntValue>(json.get<std::int64_t>());
    }
    if (json.is_number_float())
        return makeValue<vt::FloatValue>(json.get<double>());
    if (json.is_string())
        return makeValue<vt::StringValue>(json.get<std::string>());
    if (json.is_null())
        return makeValue<vt::NoneValue>();
    if (json.is_object() && json.contains("tag") && json.size() <= 2 && (json.size() == 1 || json.contains("v")))
        return vt::ValuePtr(vt::wire::valueFromJson(vt::wire::Json::parse(json.dump())));
    return makeValue<vt::StringValue>(json.dump());
}

Site loadSite(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SiteError(path + ": cannot open the site file");
    std::stringstream buffer;
    buffer << in.rdbuf();
    Site site = parseSiteText(buffer.str(), path);
    site.path = path;
    resolveMediaFiles(site);
    return site;
}

Site parseSiteText(const std::string& text, const std::string& label)
{
    OrderedJson document;
    try {
        document = OrderedJson::parse(text);
    } catch (const nlohmann::json::exception& e) {
        // Syntax errors, and numbers too large for a double (out_of_range), alike.
        throw SiteError(label + ": not valid JSON: " + e.what());
    }
    return parseSite(document, label);
}

namespace {

// The site-wide settings: name, door delay and the POS publishers' seed and rate.
void readSiteSettings(Site& site, const OrderedJson& document, const Where& top)
{
    site.name = optionalString(document, "name", top, "site");
    const auto doorDelayMs = optionalInt(document, "doorDelayMs", 1500, top);
    if (doorDelayMs < 0)
        top.fail("\"doorDelayMs\" must not be negative");
    site.doorDelayMs = intOfRange(doorDelayMs, top, "doorDelayMs");
    const auto& pos = optionalObject(document, "pos", top);
    const auto seed = optionalInt(pos, "seed", 1, top.at("pos"));
    if (seed < 0)
        top.fail("pos: \"seed\" must not be negative");
    site.posSeed = static_cast<std::uint64_t>(seed);
    site.posRate = optionalNumber(pos, "rate", 1.0, top.at("pos"));
    if (site.posRate < 0 || site.posRate > 1000)
        top.fail("pos: \"rate\" must lie between 0 and 1000 messages per second");
}

void readObjects(Site& site, const OrderedJson& document, const Where& top)
{
    if (!document.contains("objects") || !document.at("objects").is_array() || document.at("objects").empty())
        top.fail("\"objects\" is missing or not a non-empty array");
    const auto& objects = document.at("objects");
    for (std::size_t i = 0; i < objects.size(); ++i)
        parseObject(site, objects.at(i), top.at("objects[" + std::to_string(i) + "]"));
}

// Children in site order unless an object lists its own; parents and children that are not in the
// site are warned about.
void linkChildren(Site& site, const OrderedJson& objects, const Where& top)
{
    for (auto& o : site.objects) {
        const Where w = top.at("object " + std::to_string(o.data.id));
        if (o.data.parent != 0 && !site.find(o.data.parent))
            site.warnings.push_back(w.text() + ": parent " + std::to_string(o.data.parent) + " is not in the site");
        for (auto c : o.data.children)
            if (!site.find(c))
                site.warnings.push_back(w.text() + ": child " + std::to_string(c) + " is not in the site");
    }
    std::set<ObjectId> explicitParents;
    for (const auto& o : objects)
        if (o.contains("children"))
            explicitParents.insert(o.at("id").get<ObjectId>());
    for (const auto& o : site.objects) {
        if (o.data.parent == 0 || explicitParents.count(o.data.parent))
            continue;
        if (SiteObject* parent = site.find(o.data.parent))
            parent->data.children.push_back(o.data.id);
    }
}

// "rootId" when given; else object 1; else the first object without a parent; else the first.
void chooseRoot(Site& site, const OrderedJson& document, const Where& top)
{
    if (document.contains("rootId")) {
        site.rootId = intOf(document.at("rootId"), top, "rootId");
        if (!site.find(site.rootId))
            top.fail("\"rootId\" " + std::to_string(site.rootId) + " is not an object of the site");
    } else if (site.find(1)) {
        site.rootId = 1;
    } else {
        auto it =
            std::find_if(site.objects.begin(), site.objects.end(), [](const auto& o) { return o.data.parent == 0; });
        site.rootId = it != site.objects.end() ? it->data.id : site.objects.front().data.id;
    }
}

// Streams belong to the gateway named by "device" (their parent by default); user names are unique.
void assignStreamsAndCheckUsers(Site& site, const Where& top)
{
    std::set<std::string> userNames;
    for (const auto& o : site.objects) {
        if (o.data.type == StreamType) {
            bool served = false;
            for (auto& g : site.gateways) {
                if (g.id == o.device) {
                    g.streams.push_back(o.data.id);
                    served = true;
                }
            }
            if (!served)
                site.warnings.push_back(top.text() + ": stream " + std::to_string(o.data.id) +
                                        " has no gateway (its device " + std::to_string(o.device) +
                                        " is not a gateway): no POS and no recorded media for it");
        }
        if (o.password && !userNames.insert(o.data.name).second)
            top.fail("two users are named \"" + o.data.name + "\"");
    }
}

// The layouts become dynamic attributes of object 1, each a layout's JSON text.
void storeLayouts(Site& site, const OrderedJson& document, const Where& top)
{
    const auto& layouts = optionalObject(document, "layouts", top);
    if (layouts.empty())
        return;
    SiteObject* holder = site.find(1);
    if (!holder)
        top.fail("\"layouts\" are stored on object 1, which the site does not have");
    for (auto it = layouts.begin(); it != layouts.end(); ++it) {
        const std::string text = it.value().is_string() ? it.value().get<std::string>() : it.value().dump();
        holder->attributes.setValue(it.key(), vt::StringValue(text));
    }
}

void readRecordings(Site& site, const OrderedJson& document, const Where& top)
{
    std::int64_t nextChunkId = 1;
    if (document.contains("recordings")) {
        const auto& recs = document.at("recordings");
        if (!recs.is_array())
            top.fail("\"recordings\" must be an array");
        for (std::size_t i = 0; i < recs.size(); ++i)
            parseRecording(site, recs.at(i), nextChunkId, top.at("recordings[" + std::to_string(i) + "]"));
    }
    buildRecordedPos(site);
}

// Seconds of an event schedule: whole seconds within [minimum, a week].
int secondsOf(const OrderedJson& obj, const char* key, int fallback, int minimum, const Where& w)
{
    constexpr std::int64_t week = 7 * 24 * 3600;
    const auto value = optionalInt(obj, key, fallback, w);
    if (obj.contains(key) && (value < minimum || value > week))
        w.fail("\"" + std::string(key) + "\" must lie between " + std::to_string(minimum) + " and " +
               std::to_string(week) + " seconds");
    return static_cast<int>(value);
}

// A typo in an event key would silently turn a schedule off: unknown keys are refused.
void checkKeys(const OrderedJson& obj, std::initializer_list<const char*> known, const Where& w)
{
    if (!obj.is_object())
        w.fail("must be an object");
    for (auto it = obj.begin(); it != obj.end(); ++it)
        if (std::none_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; }))
            w.fail("unknown key \"" + it.key() + "\"");
}

const OrderedJson& optionalArray(const OrderedJson& obj, const char* key, const Where& w)
{
    static const OrderedJson empty = OrderedJson::array();
    if (!obj.contains(key))
        return empty;
    if (!obj.at(key).is_array())
        w.fail("\"" + std::string(key) + "\" must be an array");
    return obj.at(key);
}

ObjectId objectOfKind(const Site& site, const OrderedJson& obj, const char* key, bool door, const Where& w)
{
    const ObjectId id = requireInt(obj, key, w);
    const SiteObject* o = site.find(id);
    if (door && (!o || !isDoorSensor(site, *o)))
        w.fail("\"" + std::string(key) + "\" " + std::to_string(id) +
               " is not a door sensor of the site (a sensor of class \"sensor.DOOR\" or paired with a door)");
    if (!door && (!o || o->data.type != StreamType))
        w.fail("\"" + std::string(key) + "\" " + std::to_string(id) + " is not a stream object (type 10) of the site");
    return id;
}

AccessPlan parseAccess(const Site& site, const OrderedJson& j, const Where& w)
{
    checkKeys(j, {"door", "everySeconds", "firstAfterSeconds", "deniedEvery", "openSeconds", "holders"}, w);
    AccessPlan plan;
    plan.door = objectOfKind(site, j, "door", true, w);
    plan.everySeconds = secondsOf(j, "everySeconds", 0, 0, w);
    plan.firstAfterSeconds = secondsOf(j, "firstAfterSeconds", -1, 0, w);
    plan.openSeconds = secondsOf(j, "openSeconds", 4, 1, w);
    const auto deniedEvery = optionalInt(j, "deniedEvery", 0, w);
    if (deniedEvery < 0 || deniedEvery > 1000000)
        w.fail("\"deniedEvery\" must lie between 0 (never) and 1000000");
    plan.deniedEvery = static_cast<int>(deniedEvery);
    const auto& holders = optionalArray(j, "holders", w);
    if (holders.empty() || holders.size() > 1000)
        w.fail("\"holders\" must list 1 to 1000 card holders' names");
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (!holders.at(i).is_string() || holders.at(i).get<std::string>().empty())
            w.at(": holders[" + std::to_string(i) + "]").fail("must be a name (a non-empty string)");
        plan.holders.push_back(holders.at(i).get<std::string>());
    }
    return plan;
}

CameraPlan parseCamera(const Site& site, const OrderedJson& j, const Where& w)
{
    checkKeys(j,
              {"stream", "motionEverySeconds", "motionSeconds", "motionFirstAfterSeconds", "tamperEverySeconds",
               "tamperSeconds", "tamperFirstAfterSeconds"},
              w);
    CameraPlan plan;
    plan.stream = objectOfKind(site, j, "stream", false, w);
    plan.motionEverySeconds = secondsOf(j, "motionEverySeconds", 0, 0, w);
    plan.motionSeconds = secondsOf(j, "motionSeconds", 5, 1, w);
    plan.motionFirstAfterSeconds = secondsOf(j, "motionFirstAfterSeconds", -1, 0, w);
    plan.tamperEverySeconds = secondsOf(j, "tamperEverySeconds", 0, 0, w);
    plan.tamperSeconds = secondsOf(j, "tamperSeconds", 10, 1, w);
    plan.tamperFirstAfterSeconds = secondsOf(j, "tamperFirstAfterSeconds", -1, 0, w);
    return plan;
}

ForcedPlan parseForced(const Site& site, const OrderedJson& j, const Where& w)
{
    checkKeys(j, {"door", "everySeconds", "firstAfterSeconds", "openSeconds"}, w);
    ForcedPlan plan;
    plan.door = objectOfKind(site, j, "door", true, w);
    plan.everySeconds = secondsOf(j, "everySeconds", 0, 0, w);
    plan.firstAfterSeconds = secondsOf(j, "firstAfterSeconds", -1, 0, w);
    plan.openSeconds = secondsOf(j, "openSeconds", 5, 1, w);
    return plan;
}

// "heldOpenSeconds" of a door sensor steers the simulator: a value it cannot use is the file's
// fault, not something to find out when the door is first held open.
void checkDoorSettings(const Site& site, const Where& top)
{
    for (const auto& o : site.objects) {
        if (o.data.type != SensorType || !o.data.settings.contains("heldOpenSeconds"))
            continue;
        const auto& value = o.data.settings.value("heldOpenSeconds");
        if (value.tag() != vt::Value::IntTag || value.toInt64() < 0 || value.toInt64() > 7 * 24 * 3600)
            top.at("object " + std::to_string(o.data.id))
                .fail("setting \"heldOpenSeconds\" must be an integer between 0 (never) and 604800");
    }
}

// "chunkMedia": {"numbered": PATH}. The file itself is checked when the site is loaded from a file,
// whose folder relative paths start from.
void readChunkMedia(Site& site, const OrderedJson& document, const Where& top)
{
    if (!document.contains("chunkMedia"))
        return;
    const Where w = top.at("chunkMedia");
    const auto& media = document.at("chunkMedia");
    checkKeys(media, {"numbered"}, w);
    if (media.contains("numbered")) {
        if (!media.at("numbered").is_string() || media.at("numbered").get<std::string>().empty())
            w.fail("\"numbered\" must be the path of an MP4 file (a non-empty string)");
        site.chunkMedia.numbered = media.at("numbered").get<std::string>();
    }
}

void readEvents(Site& site, const OrderedJson& document, const Where& top)
{
    checkDoorSettings(site, top);
    if (!document.contains("events"))
        return;
    const Where w = top.at("events");
    const auto& events = document.at("events");
    checkKeys(events, {"seed", "access", "cameras", "forced"}, w);
    const auto seed = optionalInt(events, "seed", 1, w);
    if (seed < 0)
        w.fail("\"seed\" must not be negative");
    site.events.seed = static_cast<std::uint64_t>(seed);
    const auto& access = optionalArray(events, "access", w);
    for (std::size_t i = 0; i < access.size(); ++i)
        site.events.access.push_back(parseAccess(site, access.at(i), w.at(": access[" + std::to_string(i) + "]")));
    const auto& cameras = optionalArray(events, "cameras", w);
    for (std::size_t i = 0; i < cameras.size(); ++i)
        site.events.cameras.push_back(parseCamera(site, cameras.at(i), w.at(": cameras[" + std::to_string(i) + "]")));
    const auto& forced = optionalArray(events, "forced", w);
    for (std::size_t i = 0; i < forced.size(); ++i)
        site.events.forced.push_back(parseForced(site, forced.at(i), w.at(": forced[" + std::to_string(i) + "]")));
}

} // namespace

bool isDoorSensor(const Site& site, const SiteObject& object)
{
    if (object.data.type != SensorType)
        return false;
    return object.data.className == "sensor.DOOR" || pairedActuator(site, object) != nullptr;
}

const SiteObject* pairedActuator(const Site& site, const SiteObject& sensor)
{
    const std::string layout = sensor.data.settings.value("layout").toString();
    if (sensor.data.type != SensorType || layout.empty())
        return nullptr;
    // An actuator pairs with the first sensor of its layout: this sensor only if no earlier one has it.
    for (const auto& o : site.objects) {
        if (o.data.type == SensorType && o.data.settings.value("layout").toString() == layout &&
            o.data.id != sensor.data.id)
            return nullptr;
        if (o.data.id == sensor.data.id)
            break;
    }
    for (const auto& o : site.objects)
        if (o.data.type == ActuatorType && o.data.className == "actuator.DOOR" &&
            o.data.settings.value("layout").toString() == layout)
            return &o;
    return nullptr;
}

Site parseSite(const OrderedJson& document, const std::string& label)
{
    const Where top(label, "");
    if (!document.is_object())
        top.fail("the top level must be a JSON object");
    Site site;
    readSiteSettings(site, document, top);
    readObjects(site, document, top);
    linkChildren(site, document.at("objects"), top);
    chooseRoot(site, document, top);
    assignStreamsAndCheckUsers(site, top);
    storeLayouts(site, document, top);
    readRecordings(site, document, top);
    readEvents(site, document, top);
    readChunkMedia(site, document, top);
    return site;
}

void applyOverrides(Site& site, const SiteOverrides& overrides)
{
    if (overrides.posRate)
        site.posRate = *overrides.posRate;
    if (overrides.posSeed) {
        site.posSeed = *overrides.posSeed;
        buildRecordedPos(site);
    }
    if (overrides.doorDelayMs)
        site.doorDelayMs = *overrides.doorDelayMs;
    for (std::size_t i = 0; i < site.gateways.size(); ++i) {
        Gateway& g = site.gateways[i];
        if (overrides.gatewayAddress)
            g.address = *overrides.gatewayAddress;
        if (overrides.gatewayPort)
            g.httpPort = *overrides.gatewayPort + static_cast<int>(i);
        if (overrides.posPort)
            g.posPort = *overrides.posPort + static_cast<int>(i);
        SiteObject* o = site.find(g.id);
        o->data.settings.setValue("address", vt::StringValue(g.address));
        o->data.settings.setValue("posPort", vt::IntValue(g.posPort));
    }
}

} // namespace vantorsim
