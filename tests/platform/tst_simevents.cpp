// SPDX-License-Identifier: MIT
// The events vantor-sim raises by itself: doors that open, close, are forced or held open, access
// attempts and camera alarms on a site's schedules, and event floods; seen in the control channel's
// event list and by a libvantor client.
#include <mutex>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "box.h"
#include "eventschedule.h"
#include "simprocess.h"
#include "site.h"
#include "vantor/vantor.h"

using namespace pelmar::vantor;

namespace {

QJsonValue field(const QJsonObject& event, const QString& name)
{
    for (const QJsonValue& f : event.value("fields").toArray())
        if (f.toObject().value("name").toString() == name)
            return f.toObject().value("value").toObject().value("v");
    return QJsonValue::Undefined;
}

qint64 number(const QJsonValue& value)
{
    return value.toVariant().toLongLong();
}

// The flood's events as a client receives them.
struct FloodLog
{
    std::mutex mutex;
    qint64 count = 0;
    qint64 outOfOrder = 0; // events whose "n" is not their place, or with another priority
    qint64 first = 0;
    qint64 last = 0;
};

} // namespace

class TestSimEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void accessScheduleFollowsTheSeed();
    void cameraMotionAndTamperEnd();
    void commandedDoorRaisesNoAlarm();
    void doorOpenedByHandIsForced_data();
    void doorOpenedByHandIsForced();
    void grantedDoorHeldOpen();
    void badEventCommands_data();
    void badEventCommands();
    void floodSendsEveryEventPaced();

private:
    // Listed events raised after event `mark`, of one class and source: their starts, or their ends.
    QList<QJsonObject> listed(qint64 mark, const QString& className, int source, bool ends = false);
    qint64 lastEventId();

    SimProcess m_sim;
    FloodLog m_flood;
    Context m_context;
    Connection m_connection;
    Client m_client;
};

QList<QJsonObject> TestSimEvents::listed(qint64 mark, const QString& className, int source, bool ends)
{
    QList<QJsonObject> found;
    const QString answer = m_sim.command("events");
    for (const QJsonValue& v : QJsonDocument::fromJson(answer.mid(3).toUtf8()).array()) {
        const QJsonObject e = v.toObject();
        if (number(e.value("eventId")) > mark && e.value("className").toString() == className &&
            e.value("sourceId").toInt() == source && field(e, "endedAt").isUndefined() != ends)
            found << e;
    }
    return found;
}

qint64 TestSimEvents::lastEventId()
{
    const QJsonArray events = QJsonDocument::fromJson(m_sim.command("events").mid(3).toUtf8()).array();
    qint64 last = 0;
    for (const QJsonValue& v : events)
        last = std::max(last, number(v.toObject().value("eventId")));
    return last;
}

void TestSimEvents::initTestCase()
{
    QVERIFY2(m_sim.startFile(PLATFORM_SITES_DIR "/events.json"), qPrintable(m_sim.errorText()));
    ClientCallbacks callbacks;
    callbacks.eventReceived = [this](const Event& e) {
        if (e.className != "test.flood")
            return;
        std::lock_guard<std::mutex> lock(m_flood.mutex);
        m_flood.outOfOrder += e.fields.value("n").toInt64() != m_flood.count || e.priority != 5;
        m_flood.first = m_flood.count++ == 0 ? e.timestamp : m_flood.first;
        m_flood.last = e.timestamp;
    };
    m_context = Context(Logger());
    m_connection = Connection(ConnectionCallbacks(), m_context);
    m_client = Client(callbacks, m_connection);
    auto signedIn = std::make_shared<Box<bool>>();
    Client client = m_client;
    m_connection.open(
        "127.0.0.1", m_sim.serverPort(),
        [client, signedIn]() mutable {
            client.signIn(
                "alice", "secret", [signedIn](ObjectId) { signedIn->set(true); },
                [signedIn](const HandlerError&) { signedIn->set(false); });
        },
        [signedIn](const ConnectionError&) { signedIn->set(false); });
    QVERIFY(signedIn->wait(10000) && signedIn->get());
}

void TestSimEvents::cleanupTestCase()
{
    m_client = Client();
    m_connection = Connection();
}

void TestSimEvents::accessScheduleFollowsTheSeed()
{
    const vantorsim::AccessPlan plan = vantorsim::loadSite(PLATFORM_SITES_DIR "/events.json").events.access.at(1);
    QList<QJsonObject> attempts;
    QTRY_VERIFY_WITH_TIMEOUT(
        (attempts = listed(0, "door.accessGranted", 41) + listed(0, "door.accessDenied", 41), attempts.size() >= 4),
        10000);
    std::sort(attempts.begin(), attempts.end(),
              [](const QJsonObject& a, const QJsonObject& b) { return number(a["eventId"]) < number(b["eventId"]); });
    for (int k = 0; k < 4; ++k) {
        const vantorsim::AccessAttempt expected = vantorsim::accessAttempt(5, plan, std::uint64_t(k));
        const QJsonObject& e = attempts[k];
        // Every second attempt is denied ("deniedEvery": 2).
        QCOMPARE(e.value("className").toString(), QString(k % 2 ? "door.accessDenied" : "door.accessGranted"));
        QCOMPARE(e.value("priority").toInt(), k % 2 ? 60 : 20);
        QCOMPARE(field(e, "door").toString(), QStringLiteral("Gate"));
        QCOMPARE(field(e, "cardHolder").toString().toStdString(), expected.cardHolder);
        QCOMPARE(field(e, "card").toString().toStdString(), expected.card);
        QCOMPARE(field(e, "reason").toString().toStdString(), expected.reason);
        if (k % 2 == 0)
            QVERIFY(QStringList({"Anna Berg", "Luis Ortega", "Mei Chen"}).contains(field(e, "cardHolder").toString()));
    }
}

void TestSimEvents::cameraMotionAndTamperEnd()
{
    for (const auto& [className, priority] :
         {std::make_pair("camera.motion", 40), std::make_pair("camera.tamper", 80)}) {
        QTRY_VERIFY_WITH_TIMEOUT(listed(0, className, 21, true).size() >= 2 && listed(0, className, 21).size() >= 3,
                                 10000);
        const QList<QJsonObject> starts = listed(0, className, 21);
        const QList<QJsonObject> ends = listed(0, className, 21, true);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(ends[i].value("eventId"), starts[i].value("eventId"));
            QCOMPARE(ends[i].value("timestamp"), starts[i].value("timestamp"));
            QCOMPARE(ends[i].value("priority").toInt(), priority);
            QCOMPARE(field(starts[i], "camera").toString(), QStringLiteral("Yard"));
            // It lasts its second, and the next one starts after it has ended.
            const qint64 endedAt = number(field(ends[i], "endedAt"));
            QVERIFY2(endedAt - number(starts[i].value("timestamp")) >= 990, className);
            QVERIFY2(number(starts[i + 1].value("timestamp")) >= endedAt, className);
        }
    }
}

void TestSimEvents::commandedDoorRaisesNoAlarm()
{
    const qint64 mark = lastEventId();
    for (const bool closed : {false, true}) {
        m_client.setActuatorValue(
            32, BoolValue(closed), [] {}, [](const HandlerError&) {});
        QTRY_COMPARE_WITH_TIMEOUT(listed(mark, closed ? "door.closed" : "door.opened", 31).size(), 1, 5000);
    }
    QCOMPARE(listed(mark, "door.opened", 31).at(0).value("priority").toInt(), 10);
    QCOMPARE(field(listed(mark, "door.closed", 31).at(0), "door").toString(), QStringLiteral("Front door"));
    QVERIFY(listed(mark, "door.forcedOpen", 31).isEmpty());
}

void TestSimEvents::doorOpenedByHandIsForced_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("close");
    QTest::newRow("open-door") << "open-door 31 1" << QString();
    QTest::newRow("set-sensor") << "set-sensor 31 false"
                                << "set-sensor 31 true";
}

void TestSimEvents::doorOpenedByHandIsForced()
{
    QFETCH(QString, open);
    QFETCH(QString, close);
    const qint64 mark = lastEventId();
    const QString answer = m_sim.command(open);
    QTRY_COMPARE_WITH_TIMEOUT(listed(mark, "door.forcedOpen", 31).size(), 1, 5000);
    const QJsonObject forced = listed(mark, "door.forcedOpen", 31).at(0);
    QCOMPARE(answer, open.startsWith("open-door") ? QStringLiteral("ok %1").arg(number(forced["eventId"]))
                                                  : QStringLiteral("ok"));
    QCOMPARE(forced.value("priority").toInt(), 90);
    QCOMPARE(field(forced, "door").toString(), QStringLiteral("Front door"));
    QCOMPARE(listed(mark, "door.opened", 31).size(), 1);
    if (!close.isEmpty())
        QCOMPARE(m_sim.command(close), QStringLiteral("ok"));

    // The alarm ends when the door closes: the same event with "endedAt".
    QTRY_COMPARE_WITH_TIMEOUT(listed(mark, "door.forcedOpen", 31, true).size(), 1, 5000);
    const QJsonObject ended = listed(mark, "door.forcedOpen", 31, true).at(0);
    for (const char* key : {"eventId", "timestamp", "priority"})
        QCOMPARE(ended.value(key), forced.value(key));
    QCOMPARE(field(ended, "door"), field(forced, "door"));
    QVERIFY(number(field(ended, "endedAt")) >= number(forced["timestamp"]));
    QCOMPARE(listed(mark, "door.closed", 31).size(), 1);
    QVERIFY(listed(mark, "door.heldOpen", 31).isEmpty()); // its "heldOpenSeconds" is 0
}

void TestSimEvents::grantedDoorHeldOpen()
{
    const qint64 mark = lastEventId();
    const QString answer = m_sim.command("access 33 granted Luis Ortega");
    const QList<QJsonObject> granted = listed(mark, "door.accessGranted", 33);
    QCOMPARE(granted.size(), 1);
    QCOMPARE(answer, QStringLiteral("ok %1").arg(number(granted[0]["eventId"])));
    QCOMPARE(field(granted[0], "cardHolder").toString(), QStringLiteral("Luis Ortega"));
    QCOMPARE(field(granted[0], "card").toString(), QStringLiteral("0043")); // the second holder's card

    // Open for 3 s, longer than the door's "heldOpenSeconds" of 1: held open until it closes.
    QTRY_COMPARE_WITH_TIMEOUT(listed(mark, "door.heldOpen", 33, true).size(), 1, 6000);
    const QJsonObject held = listed(mark, "door.heldOpen", 33).at(0);
    QCOMPARE(held.value("priority").toInt(), 70);
    QCOMPARE(number(field(held, "heldOpenSeconds")), 1);
    QCOMPARE(listed(mark, "door.closed", 33).size(), 1);
    QVERIFY2(listed(mark, "door.forcedOpen", 33).isEmpty(), "a granted opening counted as forced");

    // A denied card opens nothing.
    const qint64 beforeDenied = lastEventId();
    QVERIFY(m_sim.command("access 33 denied Someone Else").startsWith("ok "));
    const QList<QJsonObject> denied = listed(beforeDenied, "door.accessDenied", 33);
    QCOMPARE(denied.size(), 1);
    QCOMPARE(denied[0].value("priority").toInt(), 60);
    QCOMPARE(field(denied[0], "reason").toString(), QStringLiteral("unknown card"));
    QVERIFY(listed(beforeDenied, "door.opened", 33).isEmpty());
}

void TestSimEvents::badEventCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("flood too fast") << "flood-events 20001 1"
                                    << "perSecond must lie between 1 and 20000";
    QTest::newRow("flood too long") << "flood-events 10 601"
                                    << "seconds must lie between 1 and 600";
    QTest::newRow("flood priority") << "flood-events 10 1 101"
                                    << "priority must lie between 0 and 100";
    QTest::newRow("flood words") << "flood-events many 1"
                                 << "usage: flood-events";
    QTest::newRow("open an actuator") << "open-door 32"
                                      << "no door sensor 32";
    QTest::newRow("open for no time") << "open-door 31 0"
                                      << "usage: open-door";
    QTest::newRow("access maybe") << "access 31 maybe"
                                  << "usage: access";
}

void TestSimEvents::badEventCommands()
{
    QFETCH(QString, command);
    QFETCH(QString, message);
    const QString answer = m_sim.command(command);
    QVERIFY2(answer.startsWith("error ") && answer.contains(message), qPrintable(answer));
}

void TestSimEvents::floodSendsEveryEventPaced()
{
    QCOMPARE(m_sim.command("flood-events 2000 1 5"), QStringLiteral("ok"));
    // Floods that run together keep to the bound together.
    const QString second = m_sim.command("flood-events 19000 1");
    QVERIFY2(second.contains("together at most 20000"), qPrintable(second));
    const auto count = [this] {
        std::lock_guard<std::mutex> lock(m_flood.mutex);
        return m_flood.count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(count(), qint64(2000), 15000);
    std::lock_guard<std::mutex> lock(m_flood.mutex);
    QCOMPARE(m_flood.outOfOrder, qint64(0));
    // Spread over its second, not sent in one burst.
    QVERIFY2(m_flood.last - m_flood.first >= 900, qPrintable(QString::number(m_flood.last - m_flood.first)));
}

QTEST_GUILESS_MAIN(TestSimEvents)
#include "tst_simevents.moc"
