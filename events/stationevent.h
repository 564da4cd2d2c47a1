// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

// One entry of the station's journal: an event of the server as the station understood it, or a
// door command of the station itself.
struct StationEvent
{
    qint64 localId = 0; // the station's own number, unique in the journal, rising with arrival
    qint64 eventId = 0; // the server's number; 0 for the station's own entries
    QString className;
    qint64 sourceId = 0;
    qint64 destinationId = 0;
    qint64 timestamp = 0; // ms since the epoch, the receipt time when the server's was unusable
    // The time as the server sent it: a repeat of an event is recognised by it.
    qint64 serverTimestamp = 0;
    int priority = 0;
    QString sourceName;
    QString fieldsText;  // "name: value" pairs joined by ", "
    QString fieldsJson;  // the fields as a JSON object, for the journal
    qint64 cameraId = 0; // the stream that shows the source, 0 for none
    qint64 endedAt = 0;  // 0 while it lasts or when it has no duration
    bool acknowledged = false;
    QString ackBy;
    qint64 ackTime = 0;
    // Lower-case title, source name, class and fields: what the text filter looks in.
    QString searchText;

    bool ended() const { return endedAt != 0; }
};
