// SPDX-License-Identifier: MIT
// The site a simulator plays: objects, users, gateways and recordings, read from a site file
// (format: sim/SITE-FORMAT.md).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "vantor/vantor.h"

namespace vantorsim {

namespace vt = pelmar::vantor;
using vt::ObjectId;
using OrderedJson = nlohmann::ordered_json;

// A site file that cannot be played; the message names the file and the place.
class SiteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum ObjectType : int {
    UserType = 1,
    DeviceType = 2,
    SensorType = 8,
    ActuatorType = 9,
    StreamType = 10,
};

struct SiteObject
{
    vt::ObjectData data;                 // what clients see
    vt::NameValueMap attributes;         // dynamic attributes
    vt::ValuePtr value;                  // current value of sensors and actuators
    ObjectId device = 0;                 // streams: the gateway that serves them
    std::optional<std::string> password; // users that may sign in
};

struct Gateway
{
    ObjectId id = 0;
    std::string address;
    int httpPort = 9554;
    int posPort = 5556;
    std::vector<ObjectId> streams; // the streams it serves, in site order
};

struct PosEntry
{
    std::int64_t time = 0; // milliseconds since the epoch
    std::string text;
};

struct Recording
{
    std::vector<vt::StreamChunk> chunks; // sorted by start
    std::vector<PosEntry> pos;           // sorted by time: the listed entries and the generated ones
    std::vector<PosEntry> listedPos;
    std::int64_t posEveryMs = 0; // a generated receipt every so often within each chunk
};

// The site's own events (see sim/SITE-FORMAT.md, "events"). Times are whole seconds; 0 turns a
// schedule off.
struct AccessPlan
{
    ObjectId door = 0; // the door's sensor
    int everySeconds = 0;
    int firstAfterSeconds = -1; // -1: one period (drawn like the others)
    int deniedEvery = 0;        // every n-th attempt is denied; 0: none
    int openSeconds = 4;        // how long a granted door stays open
    std::vector<std::string> holders;
};

struct CameraPlan
{
    ObjectId stream = 0;
    int motionEverySeconds = 0;
    int motionSeconds = 5;
    int motionFirstAfterSeconds = -1;
    int tamperEverySeconds = 0;
    int tamperSeconds = 10;
    int tamperFirstAfterSeconds = -1;
};

struct ForcedPlan
{
    ObjectId door = 0;
    int everySeconds = 0;
    int firstAfterSeconds = -1;
    int openSeconds = 5;
};

struct EventPlan
{
    std::uint64_t seed = 1;
    std::vector<AccessPlan> access;
    std::vector<CameraPlan> cameras;
    std::vector<ForcedPlan> forced;
};

// What a gateway answers for recorded chunks (see sim/SITE-FORMAT.md, "chunkMedia").
struct ChunkMedia
{
    // A numbered test stream (bench/framecode.py) that chunks are cut from; empty: every chunk is
    // the same test video. An absolute path once the site is loaded from a file.
    std::string numbered;
};

struct Site
{
    std::string path;
    std::string name;
    ObjectId rootId = 1;
    int doorDelayMs = 1500;
    std::uint64_t posSeed = 1;
    double posRate = 1.0;
    std::vector<SiteObject> objects; // site order
    std::map<ObjectId, std::size_t> index;
    std::vector<Gateway> gateways; // site order
    std::map<ObjectId, Recording> recordings;
    EventPlan events;
    ChunkMedia chunkMedia;
    std::vector<std::string> warnings;

    SiteObject* find(ObjectId id);
    const SiteObject* find(ObjectId id) const;
    const Gateway* gateway(ObjectId id) const;
};

// A door sensor: a sensor of class "sensor.DOOR", or one that a door actuator is paired with.
bool isDoorSensor(const Site& site, const SiteObject& object);
// The door actuator paired with a sensor through their "layout" settings; null when none is.
const SiteObject* pairedActuator(const Site& site, const SiteObject& sensor);

// Overrides from the command line, applied after loading.
struct SiteOverrides
{
    std::optional<std::string> gatewayAddress; // every gateway on this address
    std::optional<int> gatewayPort;            // gateway i (site order) serves HTTP on port + i
    std::optional<int> posPort;                // gateway i publishes POS on port + i
    std::optional<double> posRate;
    std::optional<std::uint64_t> posSeed;
    std::optional<int> doorDelayMs;
};

Site loadSite(const std::string& path);
// The site in a site file's text; `label` stands for the file in error messages.
Site parseSiteText(const std::string& text, const std::string& label);
Site parseSite(const OrderedJson& document, const std::string& label);
// Applies the overrides and writes each gateway's address and POS port into its settings, so that
// clients see where it really is.
void applyOverrides(Site& site, const SiteOverrides& overrides);

// A value handle of a new value of kind T.
template <typename T, typename... Args>
vt::ValuePtr makeValue(Args&&... args)
{
    return vt::ValuePtr(std::unique_ptr<vt::Value>(new T(std::forward<Args>(args)...)));
}

// Plain JSON to a library value: booleans, integers, floats and strings map to their kinds; an
// object {"tag": N, "v": ...} is a value in its wire form; null is a NoneValue; any other object or
// array becomes a StringValue holding its JSON text.
vt::ValuePtr valueFromPlainJson(const OrderedJson& json);

} // namespace vantorsim
