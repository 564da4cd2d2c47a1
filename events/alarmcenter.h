// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <vantor/vantor.h>

#include "eventssettings.h"

class AlarmSound;
class EventDecoder;
class EventJournal;
class EventListModel;
class VantorClient;
class VantorObjectsRepository;
struct StationEvent;

// The station's events: what the server reports and the doors the station commands, kept in the
// journal, shown in the model, acknowledged between stations, announced with a sound.
class AlarmCenter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(EventListModel* model READ model CONSTANT)
    Q_PROPERTY(int unacknowledgedCount READ unacknowledgedCount NOTIFY unacknowledgedCountChanged)
    Q_PROPERTY(int alarmPriority READ alarmPriority CONSTANT)
    Q_PROPERTY(int preRollSeconds READ preRollSeconds CONSTANT)
    Q_PROPERTY(bool muted READ muted WRITE setMuted NOTIFY mutedChanged)
    Q_PROPERTY(bool journalPersistent READ journalPersistent NOTIFY journalPersistentChanged)

public:
    // Reads its settings from the config.ini at configPath; the journal is "data.sqlite" in the
    // working directory.
    AlarmCenter(VantorClient* client, VantorObjectsRepository* repository, const QString& configPath,
                QObject* parent = nullptr);
    AlarmCenter(VantorClient* client, VantorObjectsRepository* repository, const EventsSettings& settings,
                QObject* parent = nullptr);
    ~AlarmCenter() override;

    EventListModel* model() const { return m_model.get(); }
    int unacknowledgedCount() const;
    int alarmPriority() const { return m_settings.alarmPriority; }
    int preRollSeconds() const { return m_settings.preRollSeconds; }
    bool muted() const { return m_muted; }
    void setMuted(bool muted);
    bool journalPersistent() const;
    EventJournal* journal() const { return m_journal.get(); }

    Q_INVOKABLE void acknowledge(qlonglong localId);
    Q_INVOKABLE int acknowledgeShown();
    Q_INVOKABLE QVariantMap newestOpenAlarm(const QString& objectId) const;
    Q_INVOKABLE QVariantList recentEvents(const QString& objectId, int count) const;
    Q_INVOKABLE QVariantMap videoFor(qlonglong localId) const;
    Q_INVOKABLE bool hasOpenAlarm(const QString& objectId) const;
    Q_INVOKABLE QString objectName(const QString& id) const;

    // What arrives from the server, as VantorClient passes it on; public for tests and fuzzing.
    void handleServerEvent(const pelmar::vantor::Event& event, bool updated);
    // Journals a door command the station sent.
    void recordDoorCommand(const QString& actuatorId, bool value);

signals:
    void unacknowledgedCountChanged();
    void mutedChanged();
    void journalPersistentChanged();
    void alarmRaised(qlonglong localId);
    void openAlarmsChanged();

private:
    void addEntry(StationEvent entry);
    void applyAcknowledgement(const QVariantMap& fields, qint64 receivedAt);
    void onOpenAlarmsChanged();
    void onRepositoryChanged();
    qint64 cameraOf(qint64 sourceId) const;

    EventsSettings m_settings;
    QPointer<VantorClient> m_client;
    QPointer<VantorObjectsRepository> m_repository;
    std::unique_ptr<EventListModel> m_model;
    std::unique_ptr<EventJournal> m_journal;
    std::unique_ptr<EventDecoder> m_decoder;
    std::unique_ptr<AlarmSound> m_sound;
    bool m_muted = false;
    int m_lastUnacknowledged = 0;
    qint64 m_nextLocalId = 1;
};
