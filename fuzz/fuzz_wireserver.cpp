// SPDX-License-Identifier: MIT
// The server end of the wire format: the simulator's handling of client frames, without sockets.
// Each input line is one frame of a client that has said hello and signed in. Every well-formed
// request (an integer "id" and a text "op") gets exactly one reply with its id, or a bye when the
// frames before ended the session; everything sent is a JSON object with a "type".
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <cstddef>

#include "simserver.h"
#include "site.h"
#include "wire.h"

namespace {

using Json = pelmar::vantor::wire::Json;

const char siteText[] = R"({
  "name": "Fuzz site",
  "objects": [
    {"id": 1, "name": "Site", "type": 7},
    {"id": 3, "name": "operator", "type": 1, "parent": 1, "password": "operator"},
    {"id": 11, "name": "Gateway", "type": 2, "parent": 1, "settings": {"address": "127.0.0.1"},
     "gateway": {"httpPort": 9554}},
    {"id": 21, "name": "Cam", "type": 10, "parent": 11, "settings": {"url": "x"}},
    {"id": 31, "name": "Door", "type": 8, "parent": 1, "settings": {"layout": "D"}, "value": true},
    {"id": 32, "name": "Lock", "type": 9, "className": "actuator.DOOR", "parent": 1, "settings": {"layout": "D"},
     "value": true}
  ],
  "layouts": {"L": {"numRows": 1}},
  "recordings": [{"stream": 21, "chunks": {"start": 1000, "count": 5, "durationMs": 1000}, "posEveryMs": 400}]
})";

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const vantorsim::Site baseSite = vantorsim::parseSite(vantorsim::OrderedJson::parse(siteText), "fuzz");
    vantorsim::Site site = baseSite;
    vantorsim::SimOptions options;
    options.mediaDir = "/nonexistent";
    vantorsim::SimServer server(site, options);
    std::vector<Json> sent;
    server.setSender([&sent](const std::string& routingId, const std::string& text) {
        require(routingId == "peer");
        Json message = Json::parse(text, nullptr, false);
        require(message.is_object() && message.contains("type") && message.at("type").is_string());
        sent.push_back(std::move(message));
    });
    server.handleFrame("peer", R"({"type":"hello","version":1,"heartbeatMs":1000,"heartbeatMisses":3})");
    server.handleFrame("peer",
                       R"({"type":"request","id":1,"op":"signIn","args":{"user":"operator","password":"operator"}})");
    require(sent.size() == 2 && sent[1].value("ok", false));

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (int frames = 0; start <= input.size() && frames < 64; ++frames) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        const std::string frame = input.substr(start, end - start);
        start = end + 1;

        sent.clear();
        server.handleFrame("peer", frame);
        const Json message = Json::parse(frame, nullptr, false);
        const bool request =
            message.is_object() && message.value("type", Json()) == "request" && message.contains("id") &&
            message.at("id").is_number_integer() &&
            !(message.at("id").is_number_unsigned() && message.at("id").get<std::uint64_t>() > INT64_MAX) &&
            message.contains("op") && message.at("op").is_string();
        if (!request)
            continue;
        // The reply comes first; pushes the request caused may follow it.
        require(!sent.empty());
        if (sent.front().at("type") == "bye")
            continue;
        require(sent.front().at("type") == "reply" && sent.front().value("id", Json()) == message.at("id"));
        require(sent.front().contains("ok") && sent.front().at("ok").is_boolean());
        for (std::size_t i = 1; i < sent.size(); ++i)
            require(sent[i].at("type") == "push");
    }
    return 0;
}
