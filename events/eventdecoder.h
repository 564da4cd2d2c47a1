// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QSet>
#include <QString>
#include <QVariantMap>

#include <vantor/vantor.h>

#include "stationevent.h"

// Turns an event as the server sent it into a journal entry, mending what it can and refusing
// nothing: a server's bad event is still an event the operator should see. Each mend is one log
// line.
class EventDecoder
{
public:
    // What the decoder needs to know of an object: its name and the stream that shows it.
    struct Source
    {
        bool known = false;
        QString name;
        qint64 cameraId = 0;
    };
    using SourceLookup = std::function<Source(qint64 sourceId)>;

    static constexpr int maxValueBytes = 4 * 1024;
    static constexpr int maxFieldsBytes = 64 * 1024;
    static constexpr qint64 dayMs = 24 * 60 * 60 * 1000LL;
    // 2000-01-01T00:00:00Z.
    static constexpr qint64 earliestTimestamp = 946684800000LL;

    explicit EventDecoder(SourceLookup lookup);

    struct Decoded
    {
        StationEvent entry;
        // The fields as values, capped as in the entry: what acknowledgements and ends read.
        QVariantMap fields;
    };
    Decoded decode(const pelmar::vantor::Event& event, qint64 receivedAt);

    // A source became known: it is logged again if it goes missing later.
    void forgetUnknownSources() { m_loggedUnknownSources.clear(); }

    static QVariant valueOf(const pelmar::vantor::Value& value);

private:
    void checkFields(const StationEvent& entry, const QVariantMap& fields) const;

    SourceLookup m_lookup;
    QSet<qint64> m_loggedUnknownSources;
};
