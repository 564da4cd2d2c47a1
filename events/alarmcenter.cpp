// SPDX-License-Identifier: MIT
#include "alarmcenter.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include "alarmsound.h"
#include "eventdecoder.h"
#include "eventjournal.h"
#include "eventlistmodel.h"
#include "eventslog.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

namespace {

const QString ackClass = QStringLiteral("station.ack");
const QString doorCommandClass = QStringLiteral("station.doorCommand");
const QString mutedKey = QStringLiteral("Events/muted");

qint64 toId(const QString& id)
{
    return id.toLongLong(nullptr, 10);
}

// A field that should be a whole number; a text of digits counts.
qint64 wholeNumberField(const QVariantMap& fields, const QString& name, bool* ok)
{
    const QVariant value = fields.value(name);
    *ok = false;
    if (value.type() == QVariant::Bool || !value.isValid())
        return 0;
    return value.toLongLong(ok);
}

} // namespace

AlarmCenter::AlarmCenter(VantorClient* client, VantorObjectsRepository* repository, const QString& configPath,
                         QObject* parent)
    : AlarmCenter(client, repository, EventsSettings::fromConfig(configPath), parent)
{
}

AlarmCenter::AlarmCenter(VantorClient* client, VantorObjectsRepository* repository, const EventsSettings& settings,
                         QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_client(client),
      m_repository(repository),
      m_model(std::make_unique<EventListModel>(settings.alarmPriority, settings.keepCount)),
      m_journal(std::make_unique<EventJournal>(settings.databasePath, settings.keepCount, settings.keepDays))
{
    m_decoder = std::make_unique<EventDecoder>([this](qint64 sourceId) {
        EventDecoder::Source source;
        if (!m_repository)
            return source;
        const VantorObjectPtr object = m_repository->findById(QString::number(sourceId));
        if (!object)
            return source;
        source.known = true;
        source.name = object->name();
        source.cameraId = cameraOf(sourceId);
        return source;
    });
    if (m_settings.sound)
        m_sound = std::make_unique<AlarmSound>();
    m_muted = QSettings().value(mutedKey, false).toBool();

    m_model->reset(m_journal->load());
    m_nextLocalId = m_journal->highestLocalId() + 1;
    m_lastUnacknowledged = m_model->unacknowledgedAlarms();

    connect(m_model.get(), &EventListModel::openAlarmsChanged, this, &AlarmCenter::onOpenAlarmsChanged);
    connect(m_journal.get(), &EventJournal::persistentChanged, this, &AlarmCenter::journalPersistentChanged);
    if (m_client) {
        connect(m_client, &VantorClient::serverEventReceived, this,
                [this](const pelmar::vantor::Event& event) { handleServerEvent(event, false); });
        connect(m_client, &VantorClient::serverEventUpdated, this,
                [this](const pelmar::vantor::Event& event) { handleServerEvent(event, true); });
        connect(m_client, &VantorClient::actuatorCommandSent, this, &AlarmCenter::recordDoorCommand);
    }
    if (m_repository)
        connect(m_repository, &VantorObjectsRepository::dataChanged, this, &AlarmCenter::onRepositoryChanged);
}

AlarmCenter::~AlarmCenter()
{
    // The journal writes what waits for its batch as it goes.
    m_journal.reset();
}

int AlarmCenter::unacknowledgedCount() const
{
    return m_model->unacknowledgedAlarms();
}

void AlarmCenter::setMuted(bool muted)
{
    if (m_muted == muted)
        return;
    m_muted = muted;
    QSettings().setValue(mutedKey, muted);
    emit mutedChanged();
}

bool AlarmCenter::journalPersistent() const
{
    return m_journal->persistent();
}

// ---------------------------------------------------------------------------------------------
// Arrivals

void AlarmCenter::handleServerEvent(const pelmar::vantor::Event& event, bool updated)
{
    const qint64 receivedAt = QDateTime::currentMSecsSinceEpoch();
    EventDecoder::Decoded decoded = m_decoder->decode(event, receivedAt);
    StationEvent& entry = decoded.entry;

    if (updated) {
        StationEvent* known = entry.eventId != 0 ? m_model->findByEventId(entry.eventId) : nullptr;
        bool hasEnd = false;
        qint64 endedAt = wholeNumberField(decoded.fields, QStringLiteral("endedAt"), &hasEnd);
        if (!hasEnd || endedAt <= 0)
            endedAt = receivedAt;
        if (known && known->className == entry.className) {
            if (m_model->markEnded(known->localId, endedAt))
                m_journal->write(*known);
            return;
        }
        qCWarning(lcEvents).noquote() << QStringLiteral(
                                             "Update of an unknown event %1 (%2): kept as an event of its own")
                                             .arg(entry.eventId)
                                             .arg(entry.className);
        entry.endedAt = endedAt;
        addEntry(std::move(entry));
        return;
    }

    if (entry.eventId != 0) {
        if (const StationEvent* known = m_model->findByEventId(entry.eventId)) {
            if (known->className == entry.className && known->serverTimestamp == entry.serverTimestamp) {
                qCInfo(lcEvents).noquote()
                    << QStringLiteral("Event %1 (%2) received again: merged").arg(entry.eventId).arg(entry.className);
                return;
            }
            // The same number for another event: the server has started its numbering anew.
            qCInfo(lcEvents).noquote() << QStringLiteral("Event %1 (%2) reuses the number of an earlier event: the "
                                                         "server numbers anew, kept as a new event")
                                              .arg(entry.eventId)
                                              .arg(entry.className);
        }
    }

    if (entry.className == ackClass)
        applyAcknowledgement(decoded.fields, receivedAt);
    addEntry(std::move(entry));
}

void AlarmCenter::applyAcknowledgement(const QVariantMap& fields, qint64 receivedAt)
{
    bool ok = false;
    const qint64 eventId = wholeNumberField(fields, QStringLiteral("eventId"), &ok);
    const QString user = fields.value(QStringLiteral("user")).toString();
    if (!ok) {
        qCWarning(lcEvents).noquote() << QStringLiteral("Acknowledgement by \"%1\" names no event: ignored").arg(user);
        return;
    }
    bool hasTime = false;
    qint64 time = wholeNumberField(fields, QStringLiteral("time"), &hasTime);
    if (!hasTime || time <= 0)
        time = receivedAt;
    const StationEvent* acknowledged = m_model->findByEventId(eventId);
    if (!acknowledged) {
        qCWarning(lcEvents).noquote()
            << QStringLiteral("Acknowledgement by \"%1\" of an unknown event %2: ignored").arg(user).arg(eventId);
        return;
    }
    const qint64 localId = acknowledged->localId;
    if (m_model->acknowledge(localId, user, time))
        m_journal->write(*m_model->findByLocalId(localId));
}

void AlarmCenter::addEntry(StationEvent entry)
{
    entry.localId = m_nextLocalId++;
    entry.searchText = EventListModel::searchTextOf(entry);
    const bool alarm = m_model->isOpenAlarm(entry);
    const qint64 localId = entry.localId;
    m_journal->write(entry);
    m_model->append(std::move(entry));
    if (!alarm)
        return;
    emit alarmRaised(localId);
    if (m_sound && !m_muted)
        m_sound->play();
}

void AlarmCenter::recordDoorCommand(const QString& actuatorId, bool value)
{
    StationEvent entry;
    entry.className = doorCommandClass;
    entry.sourceId = toId(actuatorId);
    entry.timestamp = QDateTime::currentMSecsSinceEpoch();
    entry.serverTimestamp = entry.timestamp;
    entry.priority = 0;
    const QString user = m_client ? m_client->username() : QString();
    const QString valueText = value ? QStringLiteral("true") : QStringLiteral("false");
    entry.fieldsText = QStringLiteral("actuatorId: %1, value: %2, user: %3").arg(actuatorId, valueText, user);
    entry.fieldsJson = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("actuatorId"), actuatorId},
                                                                   {QStringLiteral("value"), value},
                                                                   {QStringLiteral("user"), user}})
                                             .toJson(QJsonDocument::Compact));
    const VantorObjectPtr object = m_repository ? m_repository->findById(actuatorId) : VantorObjectPtr();
    entry.sourceName = object ? object->name() : QStringLiteral("#") + actuatorId;
    addEntry(std::move(entry));
}

void AlarmCenter::onOpenAlarmsChanged()
{
    const int now = m_model->unacknowledgedAlarms();
    if (now != m_lastUnacknowledged) {
        m_lastUnacknowledged = now;
        emit unacknowledgedCountChanged();
    }
    emit openAlarmsChanged();
}

void AlarmCenter::onRepositoryChanged()
{
    // Events that came before their source was known get its name now.
    m_decoder->forgetUnknownSources();
    if (!m_repository)
        return;
    QSet<qint64> unnamed;
    for (int i = 0; i < m_model->storedCount(); ++i) {
        const StationEvent& entry = m_model->storedFromNewest(i);
        if (entry.sourceName.startsWith(QLatin1Char('#')))
            unnamed.insert(entry.sourceId);
    }
    for (const qint64 sourceId : qAsConst(unnamed)) {
        if (const VantorObjectPtr object = m_repository->findById(QString::number(sourceId)))
            m_model->renameSource(sourceId, object->name());
    }
}

// ---------------------------------------------------------------------------------------------
// Operator actions

void AlarmCenter::acknowledge(qlonglong localId)
{
    const StationEvent* entry = m_model->findByLocalId(localId);
    if (!entry) {
        qCWarning(lcEvents).noquote() << QStringLiteral("Acknowledging event %1: no such event").arg(localId);
        return;
    }
    if (entry->acknowledged)
        return;
    const QString user = m_client ? m_client->username() : QString();
    const qint64 time = QDateTime::currentMSecsSinceEpoch();
    const qint64 eventId = entry->eventId;
    const QString source = QString::number(entry->sourceId);
    // Shown at once; the server's echo then merges.
    if (m_model->acknowledge(localId, user, time))
        m_journal->write(*m_model->findByLocalId(localId));
    if (eventId == 0 || !m_client)
        return; // the station's own entry: no other station knows it
    qCInfo(lcEvents).noquote() << QStringLiteral("Acknowledging event %1 as \"%2\"").arg(eventId).arg(user);
    m_client->sendCtrlEvent(source, ackClass,
                            QVariantMap{{QStringLiteral("eventId"), qlonglong(eventId)},
                                        {QStringLiteral("user"), user},
                                        {QStringLiteral("time"), qlonglong(time)}});
}

int AlarmCenter::acknowledgeShown()
{
    int acknowledged = 0;
    const QVector<qint64> shown = m_model->shownLocalIds();
    for (const qint64 localId : shown) {
        const StationEvent* entry = m_model->findByLocalId(localId);
        if (!entry || !m_model->isOpenAlarm(*entry))
            continue;
        acknowledge(localId);
        ++acknowledged;
    }
    return acknowledged;
}

// ---------------------------------------------------------------------------------------------
// Questions of the user interface

QVariantMap AlarmCenter::newestOpenAlarm(const QString& objectId) const
{
    const bool anyObject = objectId.isEmpty();
    const qint64 sourceId = toId(objectId);
    if (anyObject ? m_model->unacknowledgedAlarms() == 0 : !m_model->hasOpenAlarm(sourceId))
        return {};
    for (int i = 0; i < m_model->storedCount(); ++i) {
        const StationEvent& entry = m_model->storedFromNewest(i);
        if ((anyObject || entry.sourceId == sourceId) && m_model->isOpenAlarm(entry))
            return m_model->toMap(entry);
    }
    return {};
}

QVariantList AlarmCenter::recentEvents(const QString& objectId, int count) const
{
    QVariantList events;
    const qint64 sourceId = toId(objectId);
    for (int i = 0; i < m_model->storedCount() && events.size() < count; ++i) {
        const StationEvent& entry = m_model->storedFromNewest(i);
        if (objectId.isEmpty() || entry.sourceId == sourceId)
            events.append(m_model->toMap(entry));
    }
    return events;
}

qint64 AlarmCenter::cameraOf(qint64 sourceId) const
{
    if (!m_repository)
        return 0;
    const VantorObjectPtr source = m_repository->findById(QString::number(sourceId));
    if (!source)
        return 0;
    if (source->type() == VantorObject::Stream)
        return sourceId;
    const VantorSetting* settings = source->settings();
    if (!settings || !settings->contains(QStringLiteral("cameras")))
        return 0;
    // The first camera of the list is the one that shows the object.
    const QString first = settings->prop(QStringLiteral("cameras")).section(QLatin1Char(','), 0, 0).trimmed();
    bool ok = false;
    const qint64 camera = first.toLongLong(&ok, 10);
    return ok && camera > 0 ? camera : 0;
}

QVariantMap AlarmCenter::videoFor(qlonglong localId) const
{
    const StationEvent* entry = m_model->findByLocalId(localId);
    if (!entry) {
        qCInfo(lcEvents).noquote() << QStringLiteral("Video of event %1: no such event").arg(localId);
        return {};
    }
    qint64 camera = cameraOf(entry->sourceId);
    if (camera == 0)
        camera = entry->cameraId;
    if (camera == 0) {
        qCInfo(lcEvents).noquote()
            << QStringLiteral("Video of event %1: its source %2 has no camera").arg(localId).arg(entry->sourceId);
        return {};
    }
    // The recorded page asks the stream's gateway, the device the stream belongs to.
    QString deviceId;
    if (m_repository) {
        if (const VantorObjectPtr stream = m_repository->findById(QString::number(camera)))
            deviceId = stream->parentId();
    }
    const qint64 moment = entry->timestamp;
    return QVariantMap{
        {QStringLiteral("streamId"), QString::number(camera)},
        {QStringLiteral("deviceId"), deviceId},
        {QStringLiteral("from"), moment - qint64(m_settings.preRollSeconds) * 1000},
        {QStringLiteral("moment"), moment},
    };
}

bool AlarmCenter::hasOpenAlarm(const QString& objectId) const
{
    return m_model->hasOpenAlarm(toId(objectId));
}

QString AlarmCenter::objectName(const QString& id) const
{
    if (m_repository) {
        if (const VantorObjectPtr object = m_repository->findById(id))
            return object->name();
    }
    return QStringLiteral("#") + id;
}
