// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QObject>
#include <QString>
#include <QTimer>

#include "stationevent.h"

// The journal's lasting half: the entries in the table "events" of the station's database file,
// through a connection of its own. Writes wait for the next batch (one transaction each), so that a
// flood of events costs a few transactions a second. A database that cannot be opened or written
// turns the journal to memory only, with one log line: the entries are still in the model.
class EventJournal : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultFlushIntervalMs = 200;
    static constexpr int pruneIntervalMs = 10 * 60 * 1000;

    // An empty path keeps nothing.
    EventJournal(const QString& databasePath, int keepCount, int keepDays, QObject* parent = nullptr);
    ~EventJournal() override;

    bool persistent() const { return m_persistent; }
    QString databasePath() const { return m_databasePath; }

    // The newest keepCount entries within keepDays, oldest first (after pruning the rest).
    std::vector<StationEvent> load();
    // The highest localId ever written; new entries number on from it.
    qint64 highestLocalId() const { return m_highestLocalId; }

    // Writes a new entry or the new state of one (by its localId) with the next batch.
    void write(const StationEvent& entry);
    void flush();
    // Removes the entries beyond keepCount and those older than keepDays.
    void prune();
    int pendingWrites() const { return int(m_queue.size()); }

signals:
    void persistentChanged();

private:
    bool open();
    void fail(const QString& doing, const QString& error);
    qint64 cutoff() const;

    QString m_databasePath;
    QString m_connectionName;
    int m_keepCount;
    int m_keepDays;
    bool m_persistent = false;
    qint64 m_highestLocalId = 0;
    std::vector<StationEvent> m_queue;
    QTimer m_flushTimer;
    QTimer m_pruneTimer;
};
