// SPDX-License-Identifier: MIT
// Two stations on one simulator: an event reaches both, and an acknowledgement on one shows on the
// other, with who acknowledged it.
#include <memory>

#include <QSignalSpy>
#include <QtTest>

#include "alarmcenter.h"
#include "eventlistmodel.h"
#include "simprocess.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace {

constexpr int Timeout = 10000;

struct Station
{
    VantorObjectsRepository repository;
    VantorClient client;
    std::unique_ptr<AlarmCenter> alarms;
};

} // namespace

class tst_AlarmSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void acknowledgementReachesTheOtherStation();

private:
    bool signIn(Station& station, const QString& user, const QString& password);

    SimProcess m_sim;
};

void tst_AlarmSync::initTestCase()
{
    QVERIFY2(m_sim.start(QStringLiteral(EVENTS_SITE)), qPrintable(m_sim.output()));
}

bool tst_AlarmSync::signIn(Station& station, const QString& user, const QString& password)
{
    EventsSettings settings;
    settings.databasePath.clear();
    settings.sound = false;
    station.client.setRepository(&station.repository);
    station.alarms = std::make_unique<AlarmCenter>(&station.client, &station.repository, settings);
    QSignalSpy loggedIn(&station.client, &VantorClient::loggedIn);
    QSignalSpy rebuilt(&station.repository, &VantorObjectsRepository::dataChanged);
    QObject::connect(&station.client, &VantorClient::connected, &station.client,
                     [&station] { station.client.login(); });
    QObject::connect(&station.client, &VantorClient::loggedIn, &station.client,
                     [&station] { station.client.fetchObjects(); });
    station.client.setHost(QStringLiteral("127.0.0.1"));
    station.client.setPort(m_sim.serverPort());
    station.client.setUsername(user);
    station.client.setPassword(password);
    station.client.connectToVantor();
    return QTest::qWaitFor([&] { return rebuilt.count() > 0; }, Timeout) && loggedIn.count() == 1;
}

void tst_AlarmSync::acknowledgementReachesTheOtherStation()
{
    Station first;
    Station second;
    QVERIFY2(signIn(first, QStringLiteral("operator"), QStringLiteral("s3cret")), "the first station signs in");
    QVERIFY2(signIn(second, QStringLiteral("guard"), QStringLiteral("g4ard")), "the second station signs in");

    QSignalSpy raisedOnSecond(second.alarms.get(), &AlarmCenter::alarmRaised);
    const QString answer = m_sim.command(QStringLiteral(
        R"(push-event {"className":"door.forcedOpen","sourceId":6,"priority":90,"fields":{"door":"Front door"}})"));
    QVERIFY2(answer.startsWith(QLatin1String("ok ")), qPrintable(answer));
    const qint64 eventId = answer.mid(3).trimmed().toLongLong();

    QTRY_VERIFY_WITH_TIMEOUT(first.alarms->model()->findByEventId(eventId), Timeout);
    QTRY_VERIFY_WITH_TIMEOUT(second.alarms->model()->findByEventId(eventId), Timeout);
    QCOMPARE(raisedOnSecond.count(), 1);
    QCOMPARE(second.alarms->unacknowledgedCount(), 1);
    const StationEvent* onSecond = second.alarms->model()->findByEventId(eventId);
    QCOMPARE(onSecond->sourceName, QStringLiteral("Front door"));
    QCOMPARE(second.alarms->videoFor(onSecond->localId).value("streamId").toString(), QStringLiteral("3"));

    QSignalSpy openAlarmsOnSecond(second.alarms.get(), &AlarmCenter::openAlarmsChanged);
    first.alarms->acknowledge(first.alarms->model()->findByEventId(eventId)->localId);
    QCOMPARE(first.alarms->unacknowledgedCount(), 0); // at once, before the echo

    QTRY_COMPARE_WITH_TIMEOUT(second.alarms->unacknowledgedCount(), 0, Timeout);
    onSecond = second.alarms->model()->findByEventId(eventId);
    QVERIFY(onSecond->acknowledged);
    QCOMPARE(onSecond->ackBy, QStringLiteral("operator"));
    QVERIFY(openAlarmsOnSecond.count() >= 1);
    // The echo reaches the first station too and merges: still acknowledged by its own user.
    QTRY_COMPARE_WITH_TIMEOUT(first.alarms->model()->storedFromNewest(0).className, QStringLiteral("station.ack"),
                              Timeout);
    QCOMPARE(first.alarms->model()->findByEventId(eventId)->ackBy, QStringLiteral("operator"));
    QCOMPARE(first.alarms->model()->findByEventId(eventId)->ackTime, onSecond->ackTime);

    // The end of the event reaches both.
    const QString update = m_sim.command(
        QStringLiteral(R"(update-event {"eventId":%1,"className":"door.forcedOpen","sourceId":6,"priority":90,)"
                       R"("fields":{"door":"Front door","endedAt":1700000000000}})")
            .arg(eventId));
    QVERIFY2(update.startsWith(QLatin1String("ok")), qPrintable(update));
    QTRY_COMPARE_WITH_TIMEOUT(second.alarms->model()->findByEventId(eventId)->endedAt, 1700000000000, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(first.alarms->model()->findByEventId(eventId)->endedAt, 1700000000000, Timeout);
}

QTEST_GUILESS_MAIN(tst_AlarmSync)

#include "tst_alarmsync.moc"
