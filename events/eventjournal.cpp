// SPDX-License-Identifier: MIT
#include "eventjournal.h"

#include <algorithm>
#include <atomic>

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

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
    "FROM `events` WHERE +`timestamp` >= ? ORDER BY `localId` DESC LIMIT ?";
const char* const highestSql = "SELECT MAX(`localId`) FROM `events`";
const char* const pruneAgeSql = "DELETE FROM `events` WHERE `timestamp` < :cutoff";
const char* const pruneCountSql = "DELETE FROM `events` WHERE `localId` <= (SELECT `localId` FROM `events` ORDER BY "
                                  "`localId` DESC LIMIT 1 OFFSET :keep)";

std::atomic<int> s_connections{0};

// Texts that most entries share (class, source and user names) are kept once. The lookup takes the
// column's bytes as they are, so that a repeated text costs no allocation.
class TextPool
{
public:
    QString text(sqlite3_stmt* statement, int column)
    {
        const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        if (!bytes || size == 0)
            return QString();
        const QByteArray key = QByteArray::fromRawData(bytes, size);
        const auto found = m_texts.constFind(key);
        if (found != m_texts.cend())
            return found.value();
        const QString text = QString::fromUtf8(bytes, size);
        m_texts.insert(QByteArray(bytes, size), text);
        return text;
    }

private:
    QHash<QByteArray, QString> m_texts;
};

QString textColumn(sqlite3_stmt* statement, int column)
{
    const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column)) : QString();
}

sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
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
    // Straight from SQLite: through QSqlQuery every value of 200,000 rows would pass through a
    // QVariant of its own, which costs most of the start-up.
    sqlite3* db = handleOf(QSqlDatabase::database(m_connectionName));
    sqlite3_stmt* statement = nullptr;
    if (!db || sqlite3_prepare_v2(db, loadSql, -1, &statement, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("read"), db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no SQLite handle"));
        return entries;
    }
    sqlite3_bind_int64(statement, 1, cutoff());
    sqlite3_bind_int64(statement, 2, m_keepCount);
    entries.reserve(size_t(m_keepCount));
    TextPool pool;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        entries.emplace_back();
        StationEvent& entry = entries.back();
        entry.localId = sqlite3_column_int64(statement, 0);
        entry.eventId = sqlite3_column_int64(statement, 1);
        entry.className = pool.text(statement, 2);
        entry.sourceId = sqlite3_column_int64(statement, 3);
        entry.destinationId = sqlite3_column_int64(statement, 4);
        entry.timestamp = sqlite3_column_int64(statement, 5);
        entry.serverTimestamp = sqlite3_column_int64(statement, 6);
        entry.priority = sqlite3_column_int(statement, 7);
        entry.sourceName = pool.text(statement, 8);
        entry.fieldsText = textColumn(statement, 9);
        entry.cameraId = sqlite3_column_int64(statement, 10);
        entry.endedAt = sqlite3_column_int64(statement, 11);
        entry.acknowledged = sqlite3_column_int(statement, 12) != 0;
        entry.ackBy = pool.text(statement, 13);
        entry.ackTime = sqlite3_column_int64(statement, 14);
        // The search text is made later, by the model, so that start-up does not wait for it.
    }
    const QString error = step == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    if (!error.isEmpty()) {
        entries.clear();
        fail(QStringLiteral("read"), error);
        return entries;
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
