// SPDX-License-Identifier: MIT
// The alarm center on its own: how it takes the server's bad events, where an event's video is,
// and what it reads from config.ini.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "alarmcenter.h"
#include "eventfixtures.h"
#include "eventlistmodel.h"
#include "logcapture.h"
#include "utils.h"

namespace {

EventsSettings inMemory()
{
    EventsSettings settings;
    settings.databasePath.clear();
    settings.sound = false;
    return settings;
}

void setFields(pelmar::vantor::Event& event, const QVariantMap& fields)
{
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        event.fields.setValue(it.key().toStdString(), Utils::vantorValueFromQVariant(it.value()).value());
}

} // namespace

class tst_AlarmCenter : public QObject
{
    Q_OBJECT

private slots:
    void mendsBadEvents_data();
    void mendsBadEvents();
    void acknowledgementFromTheServerMarksTheEvent();
    void findsTheVideoOfAnEvent();
    void readsItsSettings_data();
    void readsItsSettings();
};

void tst_AlarmCenter::mendsBadEvents_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<qint64>("sourceId");
    QTest::addColumn<qint64>("timestamp"); // -1: now
    QTest::addColumn<QVariantMap>("fields");
    QTest::addColumn<QString>("arrival"); // how the event arrives
    QTest::addColumn<int>("kept");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<bool>("receiptTime");

    const QVariantMap door{{"door", "Front door"}};
    const qint64 now = -1;
    QTest::newRow("unknown class") << "x.custom" << qint64(6) << now << QVariantMap{{"n", 5}} << "once" << 1
                                   << "Event class \"x.custom\" is not known"
                                   << "x.custom (n: 5)"
                                   << "Front door" << false;
    QTest::newRow("mistyped field") << "door.heldOpen" << qint64(6) << now
                                    << QVariantMap{{"door", "Front door"}, {"heldOpenSeconds", "ten"}} << "once" << 1
                                    << "heldOpenSeconds is text, not int"
                                    << "Door held open"
                                    << "Front door" << false;
    QTest::newRow("missing field") << "door.accessDenied" << qint64(6) << now << door << "once" << 1 << "no cardHolder"
                                   << "Access denied"
                                   << "Front door" << false;
    QTest::newRow("unknown source") << "door.opened" << qint64(999) << now << door << "once" << 1
                                    << "Events of source 999, an object the station does not know"
                                    << "Door opened"
                                    << "#999" << false;
    QTest::newRow("time 0") << "door.opened" << qint64(6) << qint64(0) << door << "once" << 1 << "has time 0"
                            << "Door opened"
                            << "Front door" << true;
    QTest::newRow("years ahead") << "door.opened" << qint64(6) << qint64(4102444800000) << door << "once" << 1
                                 << "has time 4102444800000"
                                 << "Door opened"
                                 << "Front door" << true;
    QTest::newRow("before 2000") << "door.opened" << qint64(6) << qint64(915148800000) << door << "once" << 1
                                 << "has time 915148800000"
                                 << "Door opened"
                                 << "Front door" << true;
    QTest::newRow("1 MB of fields") << "door.opened" << qint64(6) << now
                                    << QVariantMap{{"door", QString(1024 * 1024, QLatin1Char('x'))}} << "once" << 1
                                    << "was cut"
                                    << "Door opened"
                                    << "Front door" << false;
    QTest::newRow("same id twice") << "door.opened" << qint64(6) << now << door << "twice" << 1
                                   << "received again: merged"
                                   << "Door opened"
                                   << "Front door" << false;
    QTest::newRow("same id, other class")
        << "door.opened" << qint64(6) << now << door << "twice, other class" << 2 << "the server numbers anew"
        << "Door closed"
        << "Front door" << false;
    QTest::newRow("update of an unknown event")
        << "door.forcedOpen" << qint64(6) << now << door << "update" << 1 << "Update of an unknown event"
        << "Door forced open"
        << "Front door" << false;
    QTest::newRow("ack of an unknown id")
        << "station.ack" << qint64(1) << now << QVariantMap{{"eventId", 777}, {"user", "guard"}, {"time", 5}} << "once"
        << 1 << "of an unknown event 777"
        << "Alarm acknowledged"
        << "Site" << false;
}

void tst_AlarmCenter::mendsBadEvents()
{
    QFETCH(QString, className);
    QFETCH(qint64, sourceId);
    QFETCH(qint64, timestamp);
    QFETCH(QVariantMap, fields);
    QFETCH(QString, arrival);
    QFETCH(int, kept);
    QFETCH(QString, logged);
    QFETCH(QString, title);
    QFETCH(QString, sourceName);
    QFETCH(bool, receiptTime);

    auto repository = eventfixtures::smallSite();
    AlarmCenter center(nullptr, repository.get(), inMemory());
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    pelmar::vantor::Event event = eventfixtures::serverEvent(12, className.toUtf8().constData(), sourceId, 90,
                                                             timestamp < 0 ? before : timestamp);
    setFields(event, fields);

    LogCapture log;
    center.handleServerEvent(event, arrival == QLatin1String("update"));
    if (arrival.startsWith(QLatin1String("twice"))) {
        if (arrival.endsWith(QLatin1String("other class")))
            event.className = "door.closed";
        center.handleServerEvent(event, false);
    }

    EventListModel* model = center.model();
    QCOMPARE(model->totalCount(), kept);
    QVERIFY2(!log.lines().filter(logged).isEmpty(), qPrintable(log.lines().join('\n')));
    const QVariantMap newest = center.recentEvents(QString(), 1).value(0).toMap();
    QCOMPARE(newest.value("title").toString(), title);
    QCOMPARE(newest.value("sourceName").toString(), sourceName);
    QVERIFY(newest.value("fieldsText").toString().size() <= 64 * 1024 + 64);
    if (receiptTime) {
        QVERIFY(newest.value("timestamp").toLongLong() >= before);
        QVERIFY(newest.value("fieldsText").toString().contains(QStringLiteral("serverTime: %1").arg(timestamp)));
    } else if (timestamp < 0) {
        QCOMPARE(newest.value("timestamp").toLongLong(), before);
    }
    if (arrival == QLatin1String("update"))
        QCOMPARE(newest.value("state").toString(), QStringLiteral("ended"));
}

void tst_AlarmCenter::acknowledgementFromTheServerMarksTheEvent()
{
    auto repository = eventfixtures::smallSite();
    AlarmCenter center(nullptr, repository.get(), inMemory());
    QSignalSpy raised(&center, &AlarmCenter::alarmRaised);
    QSignalSpy openAlarms(&center, &AlarmCenter::openAlarmsChanged);
    QSignalSpy unacknowledged(&center, &AlarmCenter::unacknowledgedCountChanged);
    center.handleServerEvent(eventfixtures::serverEvent(30, "door.forcedOpen", 6, 90), false);
    QCOMPARE(raised.count(), 1);
    QCOMPARE(center.unacknowledgedCount(), 1);
    QVERIFY(center.hasOpenAlarm(QStringLiteral("6")));
    QCOMPARE(center.newestOpenAlarm(QString()).value("eventId").toLongLong(), 30);
    QVERIFY(center.newestOpenAlarm(QStringLiteral("7")).isEmpty());

    pelmar::vantor::Event ack = eventfixtures::serverEvent(31, "station.ack", 9, 0);
    setFields(ack, {{"eventId", 30}, {"user", "guard"}, {"time", 123456}});
    center.handleServerEvent(ack, false);
    const StationEvent* acknowledged = center.model()->findByEventId(30);
    QVERIFY(acknowledged->acknowledged);
    QCOMPARE(acknowledged->ackBy, QStringLiteral("guard"));
    QCOMPARE(acknowledged->ackTime, 123456);
    QCOMPARE(center.unacknowledgedCount(), 0);
    QCOMPARE(unacknowledged.count(), 2);
    QVERIFY(openAlarms.count() >= 2);
    QVERIFY(!center.hasOpenAlarm(QStringLiteral("6")));
    QVERIFY(center.newestOpenAlarm(QString()).isEmpty());

    // The end of an acknowledged alarm keeps it acknowledged.
    pelmar::vantor::Event end = eventfixtures::serverEvent(30, "door.forcedOpen", 6, 90);
    setFields(end, {{"endedAt", 200000}});
    center.handleServerEvent(end, true);
    QCOMPARE(acknowledged->endedAt, 200000);
    QCOMPARE(center.model()->toMap(*acknowledged).value("state").toString(), QStringLiteral("acknowledged"));
    QCOMPARE(center.model()->totalCount(), 2);
}

void tst_AlarmCenter::findsTheVideoOfAnEvent()
{
    auto repository = eventfixtures::smallSite();
    EventsSettings settings = inMemory();
    settings.preRollSeconds = 15;
    AlarmCenter center(nullptr, repository.get(), settings);
    const qint64 moment = QDateTime::currentMSecsSinceEpoch() - 60000;
    center.handleServerEvent(eventfixtures::serverEvent(1, "door.forcedOpen", 6, 90, moment), false);
    center.handleServerEvent(eventfixtures::serverEvent(2, "camera.motion", 3, 40, moment), false);
    center.handleServerEvent(eventfixtures::serverEvent(3, "door.forcedOpen", 7, 90, moment), false);

    const qint64 door = center.model()->findByEventId(1)->localId;
    const QVariantMap expected{{"streamId", "3"}, {"deviceId", "2"}, {"from", moment - 15000}, {"moment", moment}};
    QCOMPARE(center.videoFor(door), expected);
    QCOMPARE(center.videoFor(center.model()->findByEventId(2)->localId), expected);
    QCOMPARE(center.model()->toMap(*center.model()->findByEventId(1)).value("hasVideo").toBool(), true);

    LogCapture log;
    QVERIFY(center.videoFor(center.model()->findByEventId(3)->localId).isEmpty());
    QVERIFY(center.videoFor(9999).isEmpty());
    QCOMPARE(log.lines().filter(QStringLiteral("Video of event")).size(), 2);
    QCOMPARE(center.objectName(QStringLiteral("7")), QStringLiteral("Back door"));
    QCOMPARE(center.objectName(QStringLiteral("70")), QStringLiteral("#70"));
}

void tst_AlarmCenter::readsItsSettings_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("keepCount");
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<bool>("warned");

    QTest::newRow("absent") << ""
                            << "" << 200000 << 90 << false;
    QTest::newRow("count given") << "Events/keepCount"
                                 << "5000" << 5000 << 90 << false;
    QTest::newRow("days given") << "Events/keepDays"
                                << " 30 " << 200000 << 30 << false;
    QTest::newRow("count not a number") << "Events/keepCount"
                                        << "many" << 200000 << 90 << true;
    QTest::newRow("count zero") << "Events/keepCount"
                                << "0" << 200000 << 90 << true;
    QTest::newRow("days negative") << "Events/keepDays"
                                   << "-3" << 200000 << 90 << true;
    QTest::newRow("days beyond ten years") << "Events/keepDays"
                                           << "5000" << 200000 << 90 << true;
}

void tst_AlarmCenter::readsItsSettings()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, keepCount);
    QFETCH(int, keepDays);
    QFETCH(bool, warned);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (!key.isEmpty()) {
        QSettings config(path, QSettings::IniFormat);
        config.setValue(key, value);
    }
    LogCapture log;
    const EventsSettings settings = EventsSettings::fromConfig(path);
    QCOMPARE(settings.keepCount, keepCount);
    QCOMPARE(settings.keepDays, keepDays);
    QCOMPARE(settings.alarmPriority, 50);
    QCOMPARE(settings.preRollSeconds, 10);
    QCOMPARE(log.lines(QtWarningMsg).filter(QStringLiteral("must be a whole number")).size(), warned ? 1 : 0);
}

QTEST_GUILESS_MAIN(tst_AlarmCenter)

#include "tst_alarmcenter.moc"
