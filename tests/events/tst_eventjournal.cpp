// SPDX-License-Identifier: MIT
// The journal's lasting half: its bounds, a restart, and a database it cannot use.
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "alarmcenter.h"
#include "eventfixtures.h"
#include "eventjournal.h"
#include "eventlistmodel.h"
#include "logcapture.h"

namespace {

constexpr qint64 dayMs = 24 * 60 * 60 * 1000LL;

int rowsInFile(const QString& path)
{
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM `events`")) && query.next())
                rows = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return rows;
}

int journalFailures(const LogCapture& log)
{
    return log.lines().filter(QStringLiteral("The event journal cannot")).size();
}

} // namespace

class tst_EventJournal : public QObject
{
    Q_OBJECT

private slots:
    void keepsWithinBounds_data();
    void keepsWithinBounds();
    void secondJournalOnTheFileSeesTheEvents();
    void unusableDatabaseFallsBackToMemory_data();
    void unusableDatabaseFallsBackToMemory();
};

void tst_EventJournal::keepsWithinBounds_data()
{
    QTest::addColumn<int>("keepCount");
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<QList<int>>("ageDays"); // of each event written, oldest first
    QTest::addColumn<QList<qint64>>("keptIds");

    const QList<int> tenRecent{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("by count") << 4 << 90 << tenRecent << QList<qint64>{7, 8, 9, 10};
    QTest::newRow("by age") << 100 << 7 << QList<int>{30, 20, 8, 6, 1, 0} << QList<qint64>{4, 5, 6};
    QTest::newRow("by both") << 2 << 7 << QList<int>{30, 8, 6, 1, 0} << QList<qint64>{4, 5};
    QTest::newRow("within both") << 10 << 90 << QList<int>{60, 1, 0} << QList<qint64>{1, 2, 3};
}

void tst_EventJournal::keepsWithinBounds()
{
    QFETCH(int, keepCount);
    QFETCH(int, keepDays);
    QFETCH(QList<int>, ageDays);
    QFETCH(QList<qint64>, keptIds);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.sqlite"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    {
        EventJournal writer(path, 1000, 3650);
        QVERIFY2(writer.persistent(), "a fresh file can be written");
        for (int i = 0; i < ageDays.size(); ++i) {
            StationEvent event = eventfixtures::entry(i + 1, QStringLiteral("door.opened"), 10);
            event.timestamp = now - ageDays[i] * dayMs - 1000;
            writer.write(event);
        }
    }
    QCOMPARE(rowsInFile(path), ageDays.size());

    EventJournal reader(path, keepCount, keepDays);
    const std::vector<StationEvent> loaded = reader.load();
    QList<qint64> ids;
    for (const StationEvent& event : loaded)
        ids << event.localId;
    QCOMPARE(ids, keptIds);
    QCOMPARE(rowsInFile(path), keptIds.size());
    // New entries number on from the highest ever written.
    QCOMPARE(reader.highestLocalId(), qint64(ageDays.size()));
}

void tst_EventJournal::secondJournalOnTheFileSeesTheEvents()
{
    QTemporaryDir dir;
    EventsSettings settings;
    settings.databasePath = dir.filePath(QStringLiteral("data.sqlite"));
    settings.sound = false;
    auto repository = eventfixtures::smallSite();
    qint64 acknowledgedId = 0;
    {
        AlarmCenter first(nullptr, repository.get(), settings);
        first.handleServerEvent(eventfixtures::serverEvent(41, "door.forcedOpen", 6, 90), false);
        first.handleServerEvent(eventfixtures::serverEvent(42, "door.opened", 6, 10), false);
        first.recordDoorCommand(QStringLiteral("7"), true);
        acknowledgedId = first.model()->findByEventId(41)->localId;
        first.acknowledge(acknowledgedId);
        QCOMPARE(first.unacknowledgedCount(), 0);
    }
    AlarmCenter second(nullptr, repository.get(), settings);
    QVERIFY(second.journalPersistent());
    EventListModel* model = second.model();
    QCOMPARE(model->totalCount(), 3);
    QCOMPARE(model->storedFromNewest(0).className, QStringLiteral("station.doorCommand"));
    const StationEvent* forced = model->findByLocalId(acknowledgedId);
    QVERIFY(forced);
    QVERIFY2(forced->acknowledged, "the acknowledgement was kept with the event");
    QCOMPARE(forced->sourceName, QStringLiteral("Front door"));
    // The next event numbers on after the loaded ones.
    second.handleServerEvent(eventfixtures::serverEvent(43, "door.closed", 6, 10), false);
    QCOMPARE(model->storedFromNewest(0).localId, model->storedFromNewest(1).localId + 1);
}

void tst_EventJournal::unusableDatabaseFallsBackToMemory_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("corrupt file") << "corrupt";
    QTest::newRow("a folder in its place") << "folder";
    QTest::newRow("locked by another") << "locked";
    QTest::newRow("read-only file") << "readonly";
}

void tst_EventJournal::unusableDatabaseFallsBackToMemory()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.sqlite"));
    const QString lockName = QStringLiteral("lock");
    if (kind == QLatin1String("corrupt")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data.sqlite")));
    } else {
        {
            EventJournal creator(path, 10, 10);
            QVERIFY(creator.persistent());
        }
        if (kind == QLatin1String("readonly")) {
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
            QFile probe(path);
            if (probe.open(QIODevice::ReadWrite))
                QSKIP("this user writes read-only files (root)");
        }
    }
    if (kind == QLatin1String("locked")) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lockName);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }

    LogCapture log;
    {
        EventsSettings settings;
        settings.databasePath = path;
        settings.sound = false;
        auto repository = eventfixtures::smallSite();
        AlarmCenter center(nullptr, repository.get(), settings);
        for (int i = 1; i <= 5; ++i)
            center.handleServerEvent(eventfixtures::serverEvent(i, "door.forcedOpen", 6, 90), false);
        center.journal()->flush();
        center.handleServerEvent(eventfixtures::serverEvent(6, "door.forcedOpen", 6, 90), false);
        center.journal()->flush();

        QVERIFY2(!center.journalPersistent(), "the journal says it keeps nothing");
        QCOMPARE(journalFailures(log), 1);
        QCOMPARE(center.model()->totalCount(), 6);
        QCOMPARE(center.unacknowledgedCount(), 6);
    }
    if (kind == QLatin1String("locked"))
        QSqlDatabase::removeDatabase(lockName);
}

QTEST_GUILESS_MAIN(tst_EventJournal)

#include "tst_eventjournal.moc"
