// SPDX-License-Identifier: MIT
#include "eventjournal.h"

#include <algorithm>
#include <atomic>

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "eventclasses.h"
#include "eventlistmodel.h"
#include "eventslog.h"

namespace {

const char* const driverName = "QSQLITE";

const char* const createTableSql =
    "CREATE TABLE IF NOT EXISTS `events`(`localId` INTEGER PRIMARY KEY, `eventId` INTEGER, `className` TEXT, "
    "`sourceId` INTEGER, `destinationId` INTEGER, `timestamp` INTEGER, `serverTimestamp` INTEGER, "
    "`priority` INTEGER, `sourceName` TEXT, `fieldsText` TEXT, `fields` TEXT, `cameraId` INTEGER, "
    "`endedAt` INTEGER, `acknowledged` INTEGER, `ackBy` TEXT, `ackTime` INTEGER)";
const char* const createIndexSql = "CREATE INDEX IF NOT EXISTS `events_timestamp` ON `events`(`timestamp`)";
const char* const writeSql =
    "INSERT OR REPLACE INTO `events`(`localId`, `eventId`, `className`, `sourceId`, `destinationId`, `timestamp`, "
    "`serverTimestamp`, `priority`, `sourceName`, `fieldsText`, `fields`, `cameraId`, `endedAt`, `acknowledged`, "
    "`ackBy`, `ackTime`) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
const char* const loadSql =
    "SELECT `localId`, `eventId`, `className`, `sourceId`, `destinationId`, `timestamp`, `serverTimestamp`, "
    "`priority`, `sourceName`, `fieldsText`, `cameraId`, `endedAt`, `acknowledged`, `ackBy`, `ackTime` "
    "FROM `events` WHERE `timestamp` >= :cutoff ORDER BY `localId` DESC LIMIT :keep";
const char* const highestSql = "SELECT MAX(`localId`) FROM `events`";
const char* const pruneAgeSql = "DELETE FROM `events` WHERE `timestamp` < :cutoff";
const char* const pruneCountSql = "DELETE FROM `events` WHERE `localId` <= (SELECT `localId` FROM `events` ORDER BY "
                                  "`localId` DESC LIMIT 1 OFFSET :keep)";

std::atomic<int> s_connections{0};

// Texts that most entries share (class and source names) are kept once.
QString shared(QHash<QString, QString>& pool, const QString& text)
{
    const auto found = pool.constFind(text);
    if (found != pool.cend())
        return found.value();
    pool.insert(text, text);
    return text;
}

} // namespace

EventJournal::EventJournal(const QString& databasePath, int keepCount, int keepDays, QObject* parent)
    : QObject(parent),
      m_databasePath(databasePath),
      m_connectionName(QStringLiteral("station.events.%1").arg(++s_connections)),
      m_keepCount(std::max(1, keepCount)),
      m_keepDays(std::max(1, keepDays))
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(defaultFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &EventJournal::flush);
    m_pruneTimer.setInterval(pruneIntervalMs);
    connect(&m_pruneTimer, &QTimer::timeout, this, &EventJournal::prune);

    if (m_databasePath.isEmpty()) {
        qCInfo(lcEvents) << "The event journal is kept in memory only";
        return;
    }
    m_persistent = open();
    if (m_persistent)
        m_pruneTimer.start();
}

EventJournal::~EventJournal()
{
    flush();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool EventJournal::open()
{
    if (!QSqlDatabase::isDriverAvailable(QLatin1String(driverName))) {
        fail(QStringLiteral("open"), QStringLiteral("the SQLite driver is missing"));
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(driverName), m_connectionName);
        db.setDatabaseName(m_databasePath);
        // The local store shares the file: wait a little for its writes rather than fail at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=250"));
        if (!db.open()) {
            fail(QStringLiteral("open"), db.lastError().text());
            return false;
        }
        QSqlQuery query(db);
        for (const char* sql : {createTableSql, createIndexSql}) {
            if (!query.exec(QString::fromLatin1(sql))) {
                fail(QStringLiteral("open"), query.lastError().text());
                return false;
            }
        }
        if (query.exec(QString::fromLatin1(highestSql)) && query.next())
            m_highestLocalId = query.value(0).toLongLong();
    }
    return true;
}

void EventJournal::fail(const QString& doing, const QString& error)
{
    m_queue.clear();
    m_flushTimer.stop();
    m_pruneTimer.stop();
    qCWarning(lcEvents).noquote() << QStringLiteral("The event journal cannot %1 \"%2\" (%3): events are kept in "
                                                    "memory only until the station restarts")
                                         .arg(doing, m_databasePath, error);
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    const bool wasPersistent = m_persistent;
    m_persistent = false;
    if (wasPersistent)
        emit persistentChanged();
}

qint64 EventJournal::cutoff() const
{
    return QDateTime::currentMSecsSinceEpoch() - qint64(m_keepDays) * 24 * 60 * 60 * 1000;
}

std::vector<StationEvent> EventJournal::load()
{
    std::vector<StationEvent> entries;
    if (!m_persistent)
        return entries;
    prune();
    if (!m_persistent)
        return entries;
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    query.setForwardOnly(true);
    query.prepare(QString::fromLatin1(loadSql));
    query.bindValue(QStringLiteral(":cutoff"), cutoff());
    query.bindValue(QStringLiteral(":keep"), m_keepCount);
    if (!query.exec()) {
        fail(QStringLiteral("read"), query.lastError().text());
        return entries;
    }
    entries.reserve(size_t(m_keepCount));
    QHash<QString, QString> pool;
    while (query.next()) {
        entries.emplace_back();
        StationEvent& entry = entries.back();
        entry.localId = query.value(0).toLongLong();
        entry.eventId = query.value(1).toLongLong();
        entry.className = shared(pool, query.value(2).toString());
        entry.sourceId = query.value(3).toLongLong();
        entry.destinationId = query.value(4).toLongLong();
        entry.timestamp = query.value(5).toLongLong();
        entry.serverTimestamp = query.value(6).toLongLong();
        entry.priority = query.value(7).toInt();
        entry.sourceName = shared(pool, query.value(8).toString());
        entry.fieldsText = query.value(9).toString();
        entry.cameraId = query.value(10).toLongLong();
        entry.endedAt = query.value(11).toLongLong();
        entry.acknowledged = query.value(12).toBool();
        entry.ackBy = shared(pool, query.value(13).toString());
        entry.ackTime = query.value(14).toLongLong();
        entry.searchText = EventListModel::searchTextOf(entry);
    }
    std::reverse(entries.begin(), entries.end());
    entries.shrink_to_fit();
    qCInfo(lcEvents).noquote()
        << QStringLiteral("The event journal holds %1 events from \"%2\"").arg(entries.size()).arg(m_databasePath);
    return entries;
}

void EventJournal::write(const StationEvent& entry)
{
    m_highestLocalId = std::max(m_highestLocalId, entry.localId);
    if (!m_persistent)
        return;
    m_queue.push_back(entry);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void EventJournal::flush()
{
    m_flushTimer.stop();
    if (!m_persistent || m_queue.empty())
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction()) {
        fail(QStringLiteral("write"), db.lastError().text());
        return;
    }
    QSqlQuery query(db);
    if (!query.prepare(QString::fromLatin1(writeSql))) {
        const QString error = query.lastError().text();
        db.rollback();
        fail(QStringLiteral("write"), error);
        return;
    }
    for (const StationEvent& entry : m_queue) {
        query.bindValue(0, entry.localId);
        query.bindValue(1, entry.eventId);
        query.bindValue(2, entry.className);
        query.bindValue(3, entry.sourceId);
        query.bindValue(4, entry.destinationId);
        query.bindValue(5, entry.timestamp);
        query.bindValue(6, entry.serverTimestamp);
        query.bindValue(7, entry.priority);
        query.bindValue(8, entry.sourceName);
        query.bindValue(9, entry.fieldsText);
        query.bindValue(10, entry.fieldsJson);
        query.bindValue(11, entry.cameraId);
        query.bindValue(12, entry.endedAt);
        query.bindValue(13, entry.acknowledged ? 1 : 0);
        query.bindValue(14, entry.ackBy);
        query.bindValue(15, entry.ackTime);
        if (!query.exec()) {
            const QString error = query.lastError().text();
            query.finish();
            db.rollback();
            fail(QStringLiteral("write"), error);
            return;
        }
    }
    query.finish();
    if (!db.commit()) {
        const QString error = db.lastError().text();
        db.rollback();
        fail(QStringLiteral("write"), error);
        return;
    }
    m_queue.clear();
}

void EventJournal::prune()
{
    if (!m_persistent)
        return;
    flush();
    if (!m_persistent)
        return;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QString::fromLatin1(pruneAgeSql));
    query.bindValue(QStringLiteral(":cutoff"), cutoff());
    bool ok = query.exec();
    if (ok) {
        query.prepare(QString::fromLatin1(pruneCountSql));
        query.bindValue(QStringLiteral(":keep"), m_keepCount);
        ok = query.exec();
    }
    if (!ok)
        fail(QStringLiteral("prune"), query.lastError().text());
}
