// SPDX-License-Identifier: MIT
// The events vantor-sim raises by itself: doors that open, close, are forced or held open, access
// attempts and camera alarms on a site's schedules, and event floods; seen by a libvantor client and
// in the control channel's event list.
#include <condition_variable>
#include <functional>
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

// Every event a signed-in client was pushed, in arrival order.
class EventLog
{
public:
    ClientCallbacks callbacks()
    {
        ClientCallbacks cb;
        cb.eventReceived = [this](const Event& e) { add(m_received, e); };
        cb.eventUpdated = [this](const Event& e) { add(m_updated, e); };
        return cb;
    }
    std::size_t receivedCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received.size();
    }
    // The first event received after `from` (an index) that matches; nothing after a timeout.
    std::optional<Event> waitReceived(std::size_t from, const std::function<bool(const Event&)>& match,
                                      int timeoutMs = 5000)
    {
        return waitIn(m_received, from, match, timeoutMs);
    }
    std::optional<Event> waitUpdate(ObjectId eventId, int timeoutMs = 5000)
    {
        return waitIn(
            m_updated, 0, [eventId](const Event& e) { return e.eventId == eventId; }, timeoutMs);
    }
    std::vector<Event> receivedSince(std::size_t from)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::vector<Event>(m_received.begin() + static_cast<std::ptrdiff_t>(from), m_received.end());
    }

private:
    void add(std::vector<Event>& list, const Event& e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        list.push_back(e);
        m_changed.notify_all();
    }
    std::optional<Event> waitIn(const std::vector<Event>& list, std::size_t from,
                                const std::function<bool(const Event&)>& match, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::optional<Event> found;
        m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (std::size_t i = from; i < list.size() && !found; ++i)
                if (match(list[i]))
                    found = list[i];
            return found.has_value();
        });
        return found;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_received;
    std::vector<Event> m_updated;
};

std::function<bool(const Event&)> isEvent(const std::string& className, ObjectId source)
{
    return [className, source](const Event& e) { return e.className == className && e.sourceId == source; };
}

std::string textField(const Event& e, const char* name)
{
    return e.fields.contains(name) ? e.fields.value(name).toString() : std::string("<missing>");
}

// The control channel's event list, and a field of one of its events.
QJsonArray listedEvents(SimProcess& sim)
{
    const QString answer = sim.command("events");
    return answer.startsWith("ok ") ? QJsonDocument::fromJson(answer.mid(3).toUtf8()).array() : QJsonArray();
}

QJsonValue listedField(const QJsonObject& event, const QString& name)
{
    for (const QJsonValue& f : event.value("fields").toArray())
        if (f.toObject().value("name").toString() == name)
            return f.toObject().value("value").toObject().value("v");
    return QJsonValue::Undefined;
}

// The listed events of one class: starts (without "endedAt") or ends.
QList<QJsonObject> listed(const QJsonArray& events, const QString& className, bool ends)
{
    QList<QJsonObject> found;
    for (const QJsonValue& v : events) {
        const QJsonObject e = v.toObject();
        if (e.value("className").toString() == className && listedField(e, "endedAt").isUndefined() != ends)
            found << e;
    }
    return found;
}

} // namespace

class TestSimEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandedDoorRaisesNoAlarm();
    void doorOpenedByHandIsForced_data();
    void doorOpenedByHandIsForced();
    void grantedDoorHeldOpen();
    void badEventCommands_data();
    void badEventCommands();
    void floodSendsEveryEventPaced();
    void accessScheduleFollowsTheSeed();
    void cameraMotionAndTamperEnd();

private:
    SimProcess m_doors;
    SimProcess m_schedules;
    EventLog m_log;
    Context m_context;
    Connection m_connection;
    Client m_client;
};

void TestSimEvents::initTestCase()
{
    QVERIFY2(m_doors.startFile(PLATFORM_SITES_DIR "/doors.json"), qPrintable(m_doors.errorText()));
    QVERIFY2(m_schedules.startFile(PLATFORM_SITES_DIR "/schedules.json"), qPrintable(m_schedules.errorText()));
    m_context = Context(Logger());
    m_connection = Connection(ConnectionCallbacks(), m_context);
    m_client = Client(m_log.callbacks(), m_connection);
    auto signedIn = std::make_shared<Box<bool>>();
    Client client = m_client;
    m_connection.open(
        "127.0.0.1", m_doors.serverPort(),
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

void TestSimEvents::commandedDoorRaisesNoAlarm()
{
    const std::size_t from = m_log.receivedCount();
    m_client.setActuatorValue(
        32, BoolValue(false), [] {}, [](const HandlerError&) {});
    const auto opened = m_log.waitReceived(from, isEvent("door.opened", 31));
    QVERIFY2(opened, "no door.opened after the open command");
    QCOMPARE(opened->priority, 10);
    QCOMPARE(textField(*opened, "door"), std::string("Front door"));
    m_client.setActuatorValue(
        32, BoolValue(true), [] {}, [](const HandlerError&) {});
    QVERIFY2(m_log.waitReceived(from, isEvent("door.closed", 31)), "no door.closed after the close command");
    for (const Event& e : m_log.receivedSince(from))
        QVERIFY2(e.className == "door.opened" || e.className == "door.closed", e.className.c_str());
    // Raised events take the push path: the control channel lists them too.
    QVERIFY(m_doors.command("events").contains(QStringLiteral("\"eventId\":%1").arg(opened->eventId)));
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
    const std::size_t from = m_log.receivedCount();
    const QString answer = m_doors.command(open);
    QVERIFY2(answer.startsWith("ok"), qPrintable(answer));
    const auto forced = m_log.waitReceived(from, isEvent("door.forcedOpen", 31));
    QVERIFY2(forced, "no door.forcedOpen");
    if (open.startsWith("open-door"))
        QCOMPARE(answer, QStringLiteral("ok %1").arg(forced->eventId));
    QCOMPARE(forced->priority, 90);
    QCOMPARE(textField(*forced, "door"), std::string("Front door"));
    QVERIFY(m_log.waitReceived(from, isEvent("door.opened", 31)));
    if (!close.isEmpty())
        QCOMPARE(m_doors.command(close), QStringLiteral("ok"));

    // The alarm ends when the door closes: the same event with "endedAt".
    const auto ended = m_log.waitUpdate(forced->eventId);
    QVERIFY2(ended, "the forced opening did not end");
    QCOMPARE(ended->className, forced->className);
    QCOMPARE(ended->sourceId, forced->sourceId);
    QCOMPARE(ended->timestamp, forced->timestamp);
    QCOMPARE(ended->priority, forced->priority);
    QCOMPARE(textField(*ended, "door"), std::string("Front door"));
    QCOMPARE(ended->fields.value("endedAt").tag(), int(Value::IntTag));
    QVERIFY(ended->fields.value("endedAt").toInt64() >= forced->timestamp);
    QVERIFY(m_log.waitReceived(from, isEvent("door.closed", 31)));
    QVERIFY(!m_log.waitReceived(from, isEvent("door.heldOpen", 31), 0)); // its "heldOpenSeconds" is 0
}

void TestSimEvents::grantedDoorHeldOpen()
{
    const std::size_t from = m_log.receivedCount();
    const QString answer = m_doors.command("access 33 granted Luis Ortega");
    const auto granted = m_log.waitReceived(from, isEvent("door.accessGranted", 33));
    QVERIFY2(granted, qPrintable(answer));
    QCOMPARE(answer, QStringLiteral("ok %1").arg(granted->eventId));
    QCOMPARE(granted->priority, 20);
    QCOMPARE(textField(*granted, "cardHolder"), std::string("Luis Ortega"));
    QCOMPARE(textField(*granted, "card"), std::string("0043")); // the second holder's card
    QVERIFY(m_log.waitReceived(from, isEvent("door.opened", 33)));

    // Open for 3 s, longer than the door's "heldOpenSeconds" of 1: held open, until it closes.
    const auto held = m_log.waitReceived(from, isEvent("door.heldOpen", 33));
    QVERIFY2(held, "no door.heldOpen");
    QCOMPARE(held->priority, 70);
    QCOMPARE(held->fields.value("heldOpenSeconds").toInt64(), std::int64_t(1));
    const auto ended = m_log.waitUpdate(held->eventId);
    QVERIFY2(ended, "the held-open alarm did not end");
    QVERIFY(ended->fields.value("endedAt").toInt64() >= held->timestamp);
    QVERIFY(m_log.waitReceived(from, isEvent("door.closed", 33)));
    QVERIFY2(!m_log.waitReceived(from, isEvent("door.forcedOpen", 33), 0), "a granted opening counted as forced");

    // A denied card opens nothing.
    const std::size_t beforeDenied = m_log.receivedCount();
    QVERIFY(m_doors.command("access 33 denied Someone Else").startsWith("ok "));
    const auto denied = m_log.waitReceived(beforeDenied, isEvent("door.accessDenied", 33));
    QVERIFY2(denied, "no door.accessDenied");
    QCOMPARE(denied->priority, 60);
    QCOMPARE(textField(*denied, "reason"), std::string("unknown card"));
    QVERIFY(!m_log.waitReceived(beforeDenied, isEvent("door.opened", 33), 300));
}

void TestSimEvents::badEventCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("flood too fast") << "flood-events 20001 1"
                                    << "perSecond must lie between 1 and 20000";
    QTest::newRow("flood too long") << "flood-events 10 601"
                                    << "seconds must lie between 1 and 600";
    QTest::newRow("flood of nothing") << "flood-events 0 1"
                                      << "perSecond";
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
    QTest::newRow("access a camera") << "access 21 granted"
                                     << "no door sensor 21";
}

void TestSimEvents::badEventCommands()
{
    QFETCH(QString, command);
    QFETCH(QString, message);
    const QString answer = m_doors.command(command);
    QVERIFY2(answer.startsWith("error ") && answer.contains(message), qPrintable(answer));
}

void TestSimEvents::floodSendsEveryEventPaced()
{
    const std::size_t from = m_log.receivedCount();
    QCOMPARE(m_doors.command("flood-events 2000 1 5"), QStringLiteral("ok"));
    // Floods that run together keep to the bound together.
    const QString second = m_doors.command("flood-events 19000 1");
    QVERIFY2(second.startsWith("error ") && second.contains("together at most 20000"), qPrintable(second));
    const auto last = m_log.waitReceived(
        from, [](const Event& e) { return e.className == "test.flood" && e.fields.value("n").toInt64() == 1999; },
        15000);
    QVERIFY2(last, "the flood's last event did not arrive");
    std::vector<Event> flood;
    for (const Event& e : m_log.receivedSince(from))
        if (e.className == "test.flood")
            flood.push_back(e);
    QCOMPARE(flood.size(), std::size_t(2000));
    for (std::size_t i = 0; i < flood.size(); ++i) {
        QCOMPARE(flood[i].fields.value("n").toInt64(), std::int64_t(i));
        QCOMPARE(flood[i].priority, 5);
    }
    // Spread over its second, not sent in one burst.
    const auto spread = flood.back().timestamp - flood.front().timestamp;
    QVERIFY2(spread >= 900, qPrintable(QString::number(spread)));
}

void TestSimEvents::accessScheduleFollowsTheSeed()
{
    const vantorsim::Site site = vantorsim::loadSite(PLATFORM_SITES_DIR "/schedules.json");
    const vantorsim::AccessPlan& plan = site.events.access.at(0);
    QList<QJsonObject> attempts;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            attempts.clear();
            for (const QJsonValue& v : listedEvents(m_schedules)) {
                const QString cls = v.toObject().value("className").toString();
                if (cls == "door.accessGranted" || cls == "door.accessDenied")
                    attempts << v.toObject();
            }
            return attempts.size() >= 4;
        }(),
        10000);
    for (int k = 0; k < 4; ++k) {
        const vantorsim::AccessAttempt expected = vantorsim::accessAttempt(5, plan, std::uint64_t(k));
        const QJsonObject& e = attempts[k];
        // Every second attempt is denied ("deniedEvery": 2).
        QCOMPARE(e.value("className").toString(), QString(k % 2 ? "door.accessDenied" : "door.accessGranted"));
        QCOMPARE(expected.granted, k % 2 == 0);
        QCOMPARE(e.value("sourceId").toInt(), 41);
        QCOMPARE(e.value("priority").toInt(), k % 2 ? 60 : 20);
        QCOMPARE(listedField(e, "door").toString(), QStringLiteral("Gate"));
        QCOMPARE(listedField(e, "cardHolder").toString().toStdString(), expected.cardHolder);
        QCOMPARE(listedField(e, "card").toString().toStdString(), expected.card);
        if (expected.granted)
            QVERIFY(QStringList({"Anna Berg", "Luis Ortega", "Mei Chen"})
                        .contains(listedField(e, "cardHolder").toString()));
        else
            QCOMPARE(listedField(e, "reason").toString().toStdString(), expected.reason);
    }
}

void TestSimEvents::cameraMotionAndTamperEnd()
{
    struct Alarm
    {
        const char* className;
        int priority;
    };
    for (const Alarm alarm : {Alarm{"camera.motion", 40}, Alarm{"camera.tamper", 80}}) {
        QJsonArray events;
        QTRY_VERIFY_WITH_TIMEOUT(
            (events = listedEvents(m_schedules), listed(events, alarm.className, true).size() >= 2), 10000);
        const QList<QJsonObject> starts = listed(events, alarm.className, false);
        const QList<QJsonObject> ends = listed(events, alarm.className, true);
        for (int i = 0; i < 2; ++i) {
            const QJsonObject& start = starts[i];
            const QJsonObject& end = ends[i];
            QCOMPARE(end.value("eventId"), start.value("eventId"));
            QCOMPARE(end.value("timestamp"), start.value("timestamp"));
            QCOMPARE(start.value("sourceId").toInt(), 21);
            QCOMPARE(start.value("priority").toInt(), alarm.priority);
            QCOMPARE(end.value("priority").toInt(), alarm.priority);
            QCOMPARE(listedField(start, "camera").toString(), QStringLiteral("Yard"));
            // It lasts its second, and the next one starts after it has ended.
            const qint64 endedAt = qint64(listedField(end, "endedAt").toDouble());
            QVERIFY2(endedAt - qint64(start.value("timestamp").toDouble()) >= 990, alarm.className);
            if (i + 1 < starts.size())
                QVERIFY2(qint64(starts[i + 1].value("timestamp").toDouble()) >= endedAt, alarm.className);
        }
    }
}

QTEST_GUILESS_MAIN(TestSimEvents)
#include "tst_simevents.moc"
