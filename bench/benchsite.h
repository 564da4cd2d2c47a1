#pragma once

#include <vector>

#include <cstddef>
#include <vantor/vantor.h>

// A synthetic site as the server would list it: root location, locations, one stream gateway
// holding up to 5,000 streams, and cameras and door controllers for the rest.
struct BenchSite
{
    std::vector<pelmar::vantor::Object> objects;
    pelmar::vantor::ObjectId rootId = 0;
    pelmar::vantor::ObjectId gatewayId = 0;
    std::size_t gatewayStreams = 0;
    std::size_t locations = 0;
    // Ids of door sensors and their paired door actuators, for layouts that place doors.
    std::vector<pelmar::vantor::ObjectId> doorSensors;
    std::vector<pelmar::vantor::ObjectId> streams;
};

// Exactly `total` objects (at least 8).
BenchSite makeBenchSite(std::size_t total);

// The stored form of a camera URL: two built-in variables and an optional section.
const char* typicalUrlTemplate();
