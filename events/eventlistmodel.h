// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <vector>

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include "stationevent.h"

// The journal as the user interface sees it, newest first. Every entry kept is stored here; the
// rows are the entries that pass the filters. New entries are stored at once (so that they can be
// found, acknowledged and ended) and shown in batches, so that a flood of events costs one insert
// per batch.
class EventListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(bool alarmsOnly READ alarmsOnly WRITE setAlarmsOnly NOTIFY alarmsOnlyChanged)
    Q_PROPERTY(QString textFilter READ textFilter WRITE setTextFilter NOTIFY textFilterChanged)
    Q_PROPERTY(QString classFilter READ classFilter WRITE setClassFilter NOTIFY classFilterChanged)
    Q_PROPERTY(int minPriority READ minPriority WRITE setMinPriority NOTIFY minPriorityChanged)
    Q_PROPERTY(QString stateFilter READ stateFilter WRITE setStateFilter NOTIFY stateFilterChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(int totalCount READ totalCount NOTIFY totalCountChanged)

public:
    enum Roles {
        LocalIdRole = Qt::UserRole + 1,
        EventIdRole,
        ClassNameRole,
        TitleRole,
        SourceIdRole,
        SourceNameRole,
        TimestampRole,
        TimeTextRole,
        PriorityRole,
        PriorityColorRole,
        FieldsTextRole,
        StateRole,
        AckByRole,
        AckTimeRole,
        EndedRole,
        IsAlarmRole,
        HasVideoRole,
    };
    Q_ENUM(Roles)

    static constexpr int defaultAlarmPriority = 50;
    static constexpr int defaultKeepCount = 200000;
    static constexpr int defaultBatchIntervalMs = 75;
    // Search texts made per turn of the event loop after a journal is loaded.
    static constexpr int searchTextChunk = 20000;

    explicit EventListModel(int alarmPriority = defaultAlarmPriority, int keepCount = defaultKeepCount,
                            QObject* parent = nullptr);
    ~EventListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    Q_INVOKABLE QVariantMap get(int row) const;

    bool alarmsOnly() const { return m_alarmsOnly; }
    QString textFilter() const { return m_textFilter; }
    QString classFilter() const { return m_classFilter; }
    int minPriority() const { return m_minPriority; }
    QString stateFilter() const { return m_stateFilter; }
    int count() const { return int(m_shown.size()); }
    int totalCount() const { return int(m_entries.size()); }

    void setAlarmsOnly(bool alarmsOnly);
    void setTextFilter(const QString& textFilter);
    void setClassFilter(const QString& classFilter);
    void setMinPriority(int minPriority);
    void setStateFilter(const QString& stateFilter);

    int alarmPriority() const { return m_alarmPriority; }
    int keepCount() const { return m_keepCount; }
    bool isAlarm(const StationEvent& event) const { return event.priority >= m_alarmPriority; }
    bool isOpenAlarm(const StationEvent& event) const { return isAlarm(event) && !event.acknowledged; }

    // Replaces every entry with these, oldest first (a journal just loaded).
    void reset(std::vector<StationEvent> entries);
    // Stores an entry (its localId above every other) and shows it with the next batch.
    void append(StationEvent entry);
    // Shows the stored entries that wait for their batch, now.
    void publishPending();
    void setBatchIntervalMs(int intervalMs);

    StationEvent* findByLocalId(qint64 localId);
    const StationEvent* findByLocalId(qint64 localId) const;
    // The newest entry the server numbered so; null when none.
    StationEvent* findByEventId(qint64 eventId);

    // Both give false when nothing changed.
    bool acknowledge(qint64 localId, const QString& user, qint64 time);
    bool markEnded(qint64 localId, qint64 endedAt);
    // A new source name for every entry of the source (its object became known).
    void renameSource(qint64 sourceId, const QString& sourceName);

    int unacknowledgedAlarms() const { return m_openAlarms; }
    bool hasOpenAlarm(qint64 sourceId) const { return m_openAlarmsBySource.value(sourceId) > 0; }
    // Stored entries, newest first: 0 is the newest. Includes those waiting for their batch.
    int storedCount() const { return int(m_entries.size()); }
    const StationEvent& storedFromNewest(int index) const { return m_entries[m_entries.size() - 1 - size_t(index)]; }
    // The localIds of the rows shown, from the top.
    QVector<qint64> shownLocalIds() const;

    QVariantMap toMap(const StationEvent& event) const;

    static QString priorityColor(int priority);
    static QString stateOf(const StationEvent& event);
    static QString timeText(qint64 timestamp);
    // The lower-case text the text filter looks in.
    static QString searchTextOf(const StationEvent& event);
    // The same with the title already known: a journal of one class costs one translation.
    static QString searchTextOf(const StationEvent& event, const QString& title);

signals:
    void alarmsOnlyChanged();
    void textFilterChanged();
    void classFilterChanged();
    void minPriorityChanged();
    void stateFilterChanged();
    void countChanged();
    void totalCountChanged();
    // Any entry's alarm state changed, or alarms were added or dropped.
    void openAlarmsChanged();

private:
    bool passes(const StationEvent& event) const;
    void refilter();
    void trimToKeepCount();
    // The position of a stored entry by localId, or -1.
    qint64 positionOf(qint64 localId) const;
    // The row an entry of this sequence number is shown at, or -1.
    int rowOfSequence(qint64 sequence) const;
    void countIn(const StationEvent& event, int sign);
    void entryChanged(qint64 sequence);
    // Search texts of loaded entries are made after start-up, a chunk per turn of the event loop;
    // a text filter makes the rest at once.
    void prepareSearchTexts(qint64 count);

    int m_alarmPriority;
    int m_keepCount;
    bool m_alarmsOnly = true;
    QString m_textFilter;
    QString m_textFilterLower;
    QString m_classFilter;
    int m_minPriority = 0;
    QString m_stateFilter;

    // Oldest first. An entry's sequence number is its position plus m_dropped, so that dropping
    // the oldest keeps the numbers of the others.
    std::deque<StationEvent> m_entries;
    qint64 m_dropped = 0;
    // Sequence numbers of the shown entries, oldest first; row 0 is the last one.
    std::vector<qint64> m_shown;
    // Entries stored from this sequence number on wait for their batch.
    qint64 m_firstPending = 0;
    QHash<qint64, qint64> m_sequenceByEventId;
    int m_openAlarms = 0;
    QHash<qint64, int> m_openAlarmsBySource;
    QTimer m_batchTimer;
    // Entries from this sequence number on have their search text.
    qint64 m_searchTextsFrom = 0;
    QTimer m_searchTextTimer;
};
