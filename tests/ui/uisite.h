// SPDX-License-Identifier: MIT
// The small site that the interface tests play: one gateway with two cameras, one door, one
// operator, and a layout that holds all of them.
#pragma once

#include <QByteArray>
#include <QString>

namespace uitest {

constexpr const char* user = "operator";
constexpr const char* password = "secret";
constexpr const char* layoutName = "Mixed";
constexpr const char* streamA = "11";
constexpr const char* streamB = "12";

inline QByteArray siteFile()
{
    return R"({
    "name": "ui",
    "pos": {"rate": 2, "seed": 7},
    "doorDelayMs": 300,
    "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 10, "name": "Gateway", "type": 2, "parent": 1, "className": "device.GATEWAY",
         "gateway": {}, "settings": {"address": "127.0.0.1"}},
        {"id": 11, "name": "Cam A", "type": 10, "parent": 10,
         "settings": {"url": "av://lavfi:testsrc2{EQU}size{EQU}320x240:rate{EQU}10"}},
        {"id": 12, "name": "Cam B", "type": 10, "parent": 10,
         "settings": {"url": "av://lavfi:testsrc2{EQU}size{EQU}320x240:rate{EQU}10"}},
        {"id": 20, "name": "Door sensor", "type": 8, "parent": 1, "className": "sensor.DOOR",
         "settings": {"layout": "D1"}, "value": false},
        {"id": 21, "name": "Door actuator", "type": 9, "parent": 1, "className": "actuator.DOOR",
         "settings": {"layout": "D1"}, "value": false}
    ],
    "layouts": {
        "Mixed": {"numRows": 2, "numCols": 2, "elements": [
            {"row": 0, "col": 0, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Cam A",
             "deviceId": "10", "objectId": "11"},
            {"row": 0, "col": 1, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Cam B",
             "deviceId": "10", "objectId": "12"},
            {"row": 1, "col": 0, "rowSpan": 1, "colSpan": 1, "type": "door", "label": "Front door",
             "objectId": "20"},
            {"row": 1, "col": 1, "rowSpan": 1, "colSpan": 1, "type": "alarm", "label": "Alarm"}
        ]},
        "Cameras": {"numRows": 1, "numCols": 2, "elements": [
            {"row": 0, "col": 0, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Cam A",
             "deviceId": "10", "objectId": "11"},
            {"row": 0, "col": 1, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Cam B",
             "deviceId": "10", "objectId": "12"}
        ]}
    }
})";
}

} // namespace uitest
