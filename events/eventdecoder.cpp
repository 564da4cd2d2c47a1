// SPDX-License-Identifier: MIT
#include "eventdecoder.h"

#include <string>

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "eventclasses.h"
#include "eventslog.h"

namespace vantor = pelmar::vantor;

namespace {

// Names and class names are identifiers; a longer one is cut like a value.
constexpr int maxNameBytes = 256;
// Distinct unknown classes logged, so that a server inventing classes cannot grow the set.
constexpr int maxLoggedClasses = 1000;

QString cutText(const std::string& text, int maxBytes, bool* cut)
{
    if (text.size() <= size_t(maxBytes))
        return QString::fromStdString(text);
    *cut = true;
    return QString::fromUtf8(text.data(), maxBytes);
}

QString textOf(const QVariant& value)
{
    if (!value.isValid())
        return QString();
    if (value.type() == QVariant::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return value.toString();
}

QString kindOf(const QVariant& value)
{
    switch (value.type()) {
    case QVariant::Bool:
        return QStringLiteral("bool");
    case QVariant::Int:
    case QVariant::LongLong:
        return QStringLiteral("int");
    case QVariant::Double:
        return QStringLiteral("float");
    case QVariant::String:
        return QStringLiteral("text");
    case QVariant::Invalid:
        return QStringLiteral("none");
    default:
        return QString::fromLatin1(value.typeName());
    }
}

QSet<QString>& loggedClasses()
{
    static QSet<QString> classes;
    return classes;
}

} // namespace

EventDecoder::EventDecoder(SourceLookup lookup) : m_lookup(std::move(lookup)) {}

QVariant EventDecoder::valueOf(const vantor::Value& value)
{
    switch (value.tag()) {
    case vantor::Value::NoneTag:
        return QVariant();
    case vantor::Value::BoolTag:
        return value.toBool();
    case vantor::Value::IntTag:
        return qlonglong(value.toInt64());
    case vantor::Value::FloatTag:
        return value.toDouble();
    case vantor::Value::IdTag:
    case vantor::Value::TimestampTag: {
        bool ok = false;
        const qlonglong number = QString::fromStdString(value.toString()).toLongLong(&ok);
        return ok ? QVariant(number) : QVariant(QString::fromStdString(value.toString()));
    }
    default:
        // Strings, data, dates and times as their text; the caller caps it.
        return QVariant();
    }
}

EventDecoder::Decoded EventDecoder::decode(const vantor::Event& event, qint64 receivedAt)
{
    Decoded decoded;
    StationEvent& entry = decoded.entry;
    bool cut = false;
    entry.eventId = event.eventId;
    entry.className = cutText(event.className, maxNameBytes, &cut);
    entry.sourceId = event.sourceId;
    entry.destinationId = event.destinationId;
    entry.serverTimestamp = event.timestamp;

    entry.priority = qBound(0, int(event.priority), 100);
    if (entry.priority != event.priority) {
        qCWarning(lcEvents).noquote() << QStringLiteral("Event %1 (%2) has priority %3, outside 0 to 100: taken as %4")
                                             .arg(entry.eventId)
                                             .arg(entry.className)
                                             .arg(event.priority)
                                             .arg(entry.priority);
    }

    // The fields, each value and the whole capped: a server's 1 MB text must not reach every list
    // row, the search text and the journal.
    QStringList parts;
    int totalBytes = 0;
    int dropped = 0;
    for (const std::string& name : event.fields.names()) {
        const vantor::Value& value = event.fields.value(name);
        const QString key = cutText(name, maxNameBytes, &cut);
        QVariant shown = valueOf(value);
        if (!shown.isValid() && value.tag() != vantor::Value::NoneTag)
            shown = cutText(value.toString(), maxValueBytes, &cut);
        const QString text = textOf(shown);
        const int bytes = key.size() + text.size() + 2;
        if (totalBytes + bytes > maxFieldsBytes) {
            ++dropped;
            continue;
        }
        totalBytes += bytes;
        decoded.fields.insert(key, shown);
        parts << key + QStringLiteral(": ") + text;
    }
    if (cut || dropped > 0) {
        qCWarning(lcEvents).noquote() << QStringLiteral("Event %1 (%2) was cut: values to %3 bytes, fields to %4 "
                                                        "bytes, %5 fields left out")
                                             .arg(entry.eventId)
                                             .arg(entry.className)
                                             .arg(maxValueBytes)
                                             .arg(maxFieldsBytes)
                                             .arg(dropped);
    }

    // A clock that is off, or no time at all: the operator sees when the station got it.
    const qint64 serverTime = event.timestamp;
    if (serverTime < earliestTimestamp || serverTime > receivedAt + dayMs) {
        qCWarning(lcEvents).noquote()
            << QStringLiteral("Event %1 (%2) has time %3, not a time of this day: the receipt time is used")
                   .arg(entry.eventId)
                   .arg(entry.className)
                   .arg(serverTime);
        entry.timestamp = receivedAt;
        decoded.fields.insert(QStringLiteral("serverTime"), qlonglong(serverTime));
        parts << QStringLiteral("serverTime: ") + QString::number(serverTime);
    } else {
        entry.timestamp = serverTime;
    }
    entry.fieldsText = parts.join(QStringLiteral(", "));
    entry.fieldsJson =
        QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(decoded.fields)).toJson(QJsonDocument::Compact));

    if (!EventClasses::isKnown(entry.className)) {
        QSet<QString>& logged = loggedClasses();
        if (!logged.contains(entry.className) && logged.size() < maxLoggedClasses) {
            logged.insert(entry.className);
            qCInfo(lcEvents).noquote()
                << QStringLiteral("Event class \"%1\" is not known: shown with its fields").arg(entry.className);
        }
    } else {
        checkFields(entry, decoded.fields);
    }

    const Source source = m_lookup ? m_lookup(entry.sourceId) : Source();
    if (source.known) {
        entry.sourceName = source.name;
        entry.cameraId = source.cameraId;
    } else {
        entry.sourceName = QStringLiteral("#") + QString::number(entry.sourceId);
        if (!m_loggedUnknownSources.contains(entry.sourceId)) {
            m_loggedUnknownSources.insert(entry.sourceId);
            qCInfo(lcEvents).noquote()
                << QStringLiteral("Events of source %1, an object the station does not know, are kept as from \"%2\"")
                       .arg(entry.sourceId)
                       .arg(entry.sourceName);
        }
    }
    return decoded;
}

void EventDecoder::checkFields(const StationEvent& entry, const QVariantMap& fields) const
{
    QStringList problems;
    const QStringList expected = EventClasses::expectedFields(entry.className).split(QLatin1Char(' '));
    for (const QString& pair : expected) {
        const QString name = pair.section(QLatin1Char(':'), 0, 0);
        const QString kind = pair.section(QLatin1Char(':'), 1, 1);
        const auto found = fields.constFind(name);
        if (found == fields.cend()) {
            problems << QStringLiteral("no %1").arg(name);
            continue;
        }
        const QString given = kindOf(found.value());
        if (given != kind)
            problems << QStringLiteral("%1 is %2, not %3").arg(name, given, kind);
    }
    if (!problems.isEmpty()) {
        qCWarning(lcEvents).noquote() << QStringLiteral("Event %1 (%2) has unexpected fields, shown as given: %3")
                                             .arg(entry.eventId)
                                             .arg(entry.className)
                                             .arg(problems.join(QStringLiteral(", ")));
    }
}
