// SPDX-License-Identifier: MIT
// Every request of libvantor against a running vantor-sim, and the pushes that come with them.
#include <algorithm>
#include <condition_variable>
#include <functional>
#include <thread>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include "box.h"
#include "simprocess.h"
#include "vantor/vantor.h"

using namespace pelmar::vantor;

namespace {

struct ValueChange
{
    ObjectId id = 0;
    ValuePtr value;
    qint64 atMs = 0;
};

// What the simulator pushed to the client.
struct PushState
{
    int dataChanged = 0;
    std::vector<Event> events;
    std::vector<Event> updates;
    std::vector<ValueChange> sensors;
    std::vector<ValueChange> actuators;
    std::thread::id lastThread;
};

class Pushes
{
public:
    ClientCallbacks callbacks()
    {
        ClientCallbacks cb;
        cb.objectDataChanged = [this] { add([](PushState& s) { ++s.dataChanged; }); };
        cb.eventReceived = [this](const Event& e) { add([e](PushState& s) { s.events.push_back(e); }); };
        cb.eventUpdated = [this](const Event& e) { add([e](PushState& s) { s.updates.push_back(e); }); };
        cb.sensorValueChanged = [this](ObjectId id, ValuePtr v) {
            add([this, id, v](PushState& s) { s.sensors.push_back({id, v, m_clock.elapsed()}); });
        };
        cb.actuatorValueChanged = [this](ObjectId id, ValuePtr v) {
            add([this, id, v](PushState& s) { s.actuators.push_back({id, v, m_clock.elapsed()}); });
        };
        m_clock.start();
        return cb;
    }

    // Waits until `ready` holds for what has arrived; gives a copy of it then (or on timeout).
    PushState waitFor(const std::function<bool(const PushState&)>& ready, int timeoutMs = 5000, bool* ok = nullptr)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool done =
            m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ready(m_state); });
        if (ok)
            *ok = done;
        else if (!done)
            qWarning("the awaited pushes did not arrive");
        return m_state;
    }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    PushState now()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_state;
    }

private:
    void add(const std::function<void(PushState&)>& change)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        change(m_state);
        m_state.lastThread = std::this_thread::get_id();
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    PushState m_state;
    QElapsedTimer m_clock;
};

#define WAIT_PUSHES(var, predicate)                                                                                    \
    bool var##Ok = false;                                                                                              \
    const PushState var = m_pushes.waitFor([&](const PushState& s) { return predicate; }, 5000, &var##Ok);             \
    QVERIFY2(var##Ok, "the awaited pushes did not arrive: " #predicate)

// Runs one request and waits for its outcome: (0, result) or (error code, default value).
template <typename T>
std::pair<int, T> await(const std::function<void(std::function<void(T)>, ErrorCallback)>& start)
{
    auto box = std::make_shared<Box<std::pair<int, T>>>();
    start([box](T v) { box->set({0, std::move(v)}); }, [box](const HandlerError& e) { box->set({e.code(), T{}}); });
    if (!box->wait(8000))
        return {-1, T{}};
    return box->get();
}

int awaitVoid(const std::function<void(std::function<void()>, ErrorCallback)>& start)
{
    return await<bool>([&](std::function<void(bool)> ok, ErrorCallback fail) { start([ok] { ok(true); }, fail); })
        .first;
}

struct ObjectList
{
    std::vector<Object> objects;
    ObjectId root = 0;
    const Object* find(ObjectId id) const
    {
        for (const auto& o : objects)
            if (o.id() == id)
                return &o;
        return nullptr;
    }
};

std::vector<std::int64_t> chunkIds(const std::vector<StreamChunk>& chunks)
{
    std::vector<std::int64_t> ids;
    for (const auto& c : chunks)
        ids.push_back(c.chunkId);
    return ids;
}

} // namespace

class TestVantorRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signIn();
    void objectList();
    void dynamicAttributes();
    void actuatorsAndDoors();
    void streamBinding();
    void streamInfo();
    void chunkSearch_data();
    void chunkSearch();
    void sentAndPushedEvents();
    void objectDataChanges();

private:
    ObjectList objects();

    SimProcess m_sim;
    Pushes m_pushes;
    Context m_context;
    Connection m_connection;
    Client m_client;
};

void TestVantorRequests::initTestCase()
{
    QVERIFY2(m_sim.startFile(PLATFORM_SITES_DIR "/small.json"), qPrintable(m_sim.errorText()));
    m_context = Context(Logger());
    m_connection = Connection(ConnectionCallbacks(), m_context);
    m_client = Client(m_pushes.callbacks(), m_connection);
    auto opened = std::make_shared<Box<int>>();
    m_connection.open(
        "127.0.0.1", m_sim.serverPort(), [opened] { opened->set(0); },
        [opened](const ConnectionError& e) { opened->set(e.code()); });
    QVERIFY(opened->wait());
    QCOMPARE(opened->get(), 0);
}

void TestVantorRequests::cleanupTestCase()
{
    m_client = Client();
    m_connection = Connection();
    m_context = Context();
}

ObjectList TestVantorRequests::objects()
{
    return await<ObjectList>([this](std::function<void(ObjectList)> ok, ErrorCallback fail) {
               m_client.getObjects([ok](const std::vector<Object>& o, ObjectId root) { ok({o, root}); }, fail);
           })
        .second;
}

void TestVantorRequests::signIn()
{
    auto signIn = [this](const char* user, const char* password) {
        return await<ObjectId>(
            [&](std::function<void(ObjectId)> ok, ErrorCallback fail) { m_client.signIn(user, password, ok, fail); });
    };
    // Nothing but signing in works before signing in.
    const int early = await<ObjectList>([this](std::function<void(ObjectList)> ok, ErrorCallback fail) {
                          m_client.getObjects([ok](const std::vector<Object>& o, ObjectId r) { ok({o, r}); }, fail);
                      }).first;
    QCOMPARE(early, int(ErrAccessDenied));

    QCOMPARE(signIn("alice", "wrong").first, int(ErrAccessDenied));
    QCOMPARE(signIn("nobody", "secret").first, int(ErrAccessDenied));
    QCOMPARE(signIn("bob", "").first, int(ErrAccessDenied)); // a user without password cannot sign in
    const auto accepted = signIn("alice", "secret");
    QCOMPARE(accepted.first, 0);
    QCOMPARE(accepted.second, ObjectId(3));
}

void TestVantorRequests::objectList()
{
    const ObjectList list = objects();
    QCOMPARE(list.root, ObjectId(1));
    QCOMPARE(list.objects.size(), std::size_t(12));
    const Object* root = list.find(1);
    QVERIFY(root && root->isValid());
    QCOMPARE(root->children(), (std::vector<ObjectId>{3, 4, 11, 12, 13}));

    const Object* camera = list.find(21);
    QVERIFY(camera);
    QCOMPARE(camera->type(), 10);
    QCOMPARE(camera->className(), std::string("stream.CAMERA"));
    QCOMPARE(camera->name(), std::string("Camera A"));
    QCOMPARE(camera->parent(), ObjectId(11));
    QCOMPARE(camera->settings().names(), (std::vector<std::string>{"url", "fps", "ratio", "ptz"}));
    QCOMPARE(camera->settings().value("url").toString(), std::string("av://lavfi:testsrc2{EQU}size{EQU}320x240"));
    QCOMPARE(camera->settings().value("fps").tag(), int(Value::IntTag));
    QCOMPARE(camera->settings().value("ratio").toDouble(), 1.5);
    QCOMPARE(camera->settings().value("ptz").tag(), int(Value::BoolTag));
    QCOMPARE(camera->toStream().serialNumber(), std::string("CAM-21"));
    QVERIFY(!camera->toDevice().isValid());

    QCOMPARE(list.find(11)->toDevice().serialNumber(), std::string("GW-11"));
    QCOMPARE(list.find(31)->toSensor().serialNumber(), std::string("DS-31"));
    QCOMPARE(list.find(32)->toActuator().serialNumber(), std::string("DA-32"));
    QCOMPARE(list.find(32)->className(), std::string("actuator.DOOR"));
    // Gateways tell where they really publish.
    const auto& gw = list.find(12)->settings();
    QCOMPARE(gw.value("address").toString(), std::string("127.0.0.1"));
    QCOMPARE(gw.value("posPort").toInt(), m_sim.gateway(12).pos);

    // The current value of every sensor and actuator follows the objects, in their order: the
    // only way a client learns a sensor's value before it changes.
    WAIT_PUSHES(reported, s.sensors.size() == 1 && s.actuators.size() == 2);
    QCOMPARE(reported.sensors[0].id, ObjectId(31));
    QVERIFY(reported.sensors[0].value.value().toBool());
    QCOMPARE(reported.actuators[0].id, ObjectId(32));
    QVERIFY(reported.actuators[0].value.value().toBool());
    QCOMPARE(reported.actuators[1].id, ObjectId(33));
    QCOMPARE(reported.actuators[1].value.value().toInt64(), std::int64_t(0));
    // Each fetch of the objects brings them again.
    objects();
    WAIT_PUSHES(again, s.sensors.size() == 2 && s.actuators.size() == 4);
    QCOMPARE(again.sensors[1].id, ObjectId(31));
}

void TestVantorRequests::dynamicAttributes()
{
    auto get = [this](ObjectId id, const std::string& name) {
        return await<NameValueMap>([&](std::function<void(NameValueMap)> ok, ErrorCallback fail) {
            m_client.getDynamicAttribute(id, name, ok, fail);
        });
    };
    auto create = [this](ObjectId id, const std::string& name, const Value& v) {
        return awaitVoid([&](std::function<void()> ok, ErrorCallback fail) {
            m_client.createDynamicAttribute(id, name, v, ok, fail);
        });
    };
    auto set = [this](ObjectId id, const std::string& name, const Value& v) {
        return awaitVoid(
            [&](std::function<void()> ok, ErrorCallback fail) { m_client.setDynamicAttribute(id, name, v, ok, fail); });
    };
    auto remove = [this](ObjectId id, const std::string& name) {
        return awaitVoid(
            [&](std::function<void()> ok, ErrorCallback fail) { m_client.removeDynamicAttribute(id, name, ok, fail); });
    };

    // The layouts: every attribute of object 1, a layout's JSON text each.
    const auto layouts = get(1, "");
    QCOMPARE(layouts.first, 0);
    QCOMPARE(layouts.second.names(), std::vector<std::string>{"One"});
    const QJsonDocument layout =
        QJsonDocument::fromJson(QByteArray::fromStdString(layouts.second.value("One").toString()));
    QCOMPARE(layout.object().value("elements").toArray().size(), 1);

    const auto all = get(21, "");
    QCOMPARE(all.second.names(), (std::vector<std::string>{"note", "count"}));
    QCOMPARE(all.second.value("count").tag(), int(Value::IntTag));
    const auto one = get(21, "note");
    QCOMPARE(one.second.names(), std::vector<std::string>{"note"});
    QCOMPARE(one.second.value("note").toString(), std::string("hello"));
    QCOMPARE(get(21, "missing").first, int(ErrNotFound));
    QCOMPARE(get(999, "").first, int(ErrNotFound));
    QCOMPARE(get(22, "").second.size(), std::size_t(0));

    QCOMPARE(create(22, "mode", StringValue("day")), 0);
    QCOMPARE(create(22, "mode", StringValue("again")), int(ErrAlreadyExists));
    QCOMPARE(create(999, "mode", StringValue("x")), int(ErrNotFound));
    QCOMPARE(set(22, "mode", FloatValue(2.5)), 0);
    QCOMPARE(get(22, "mode").second.value("mode").toDouble(), 2.5);
    QCOMPARE(set(22, "absent", IntValue(1)), int(ErrNotFound));
    QCOMPARE(set(999, "mode", IntValue(1)), int(ErrNotFound));
    QCOMPARE(remove(22, "mode"), 0);
    QCOMPARE(remove(22, "mode"), int(ErrNotFound));
    QCOMPARE(remove(999, "mode"), int(ErrNotFound));
    QCOMPARE(get(22, "mode").first, int(ErrNotFound));
}

void TestVantorRequests::actuatorsAndDoors()
{
    auto get = [this](ObjectId id) {
        return await<ValuePtr>(
            [&](std::function<void(ValuePtr)> ok, ErrorCallback fail) { m_client.getActuatorValue(id, ok, fail); });
    };
    auto set = [this](ObjectId id, const Value& v) {
        return awaitVoid(
            [&](std::function<void()> ok, ErrorCallback fail) { m_client.setActuatorValue(id, v, ok, fail); });
    };

    const auto door = get(32);
    QCOMPARE(door.first, 0);
    QCOMPARE(door.second.value().tag(), int(Value::BoolTag));
    QVERIFY(door.second.value().toBool());
    QCOMPARE(get(31).first, int(ErrInvalidArgument)); // a sensor is no actuator
    QCOMPARE(get(999).first, int(ErrNotFound));
    QCOMPARE(set(32, StringValue("open")), int(ErrInvalidArgument));

    // The reports that followed the objects are counted out.
    const PushState before = m_pushes.now();
    const std::size_t sensors = before.sensors.size();
    const std::size_t actuators = before.actuators.size();

    const qint64 requested = m_pushes.elapsedMs();
    QCOMPARE(set(32, BoolValue(false)), 0);
    // The actuator's value at once, then the paired sensor's after the door delay (300 ms).
    WAIT_PUSHES(first, s.actuators.size() > actuators && s.sensors.size() > sensors);
    const ValueChange actuator = first.actuators.back();
    const ValueChange sensor = first.sensors.back();
    QCOMPARE(actuator.id, ObjectId(32));
    QCOMPARE(actuator.value.value().toBool(), false);
    QCOMPARE(sensor.id, ObjectId(31));
    QCOMPARE(sensor.value.value().tag(), int(Value::BoolTag));
    QCOMPARE(sensor.value.value().toBool(), false);
    QVERIFY(actuator.atMs <= sensor.atMs);
    // The server cannot have sent the sensor's value before the delay since the request.
    QVERIFY2(sensor.atMs - requested >= 295, qPrintable(QString::number(sensor.atMs - requested)));
    QVERIFY(first.lastThread != std::this_thread::get_id());
    QCOMPARE(get(32).second.value().toBool(), false);

    // An actuator that is no door has no sensor to follow it.
    QCOMPARE(set(33, IntValue(7)), 0);
    QCOMPARE(set(32, BoolValue(true)), 0);
    WAIT_PUSHES(second, s.sensors.size() == sensors + 2);
    QCOMPARE(second.actuators.size(), actuators + 3);
    QCOMPARE(second.actuators[actuators + 1].id, ObjectId(33));
    QCOMPARE(second.actuators[actuators + 1].value.value().toInt64(), std::int64_t(7));
    QCOMPARE(second.sensors[sensors + 1].id, ObjectId(31));
    QVERIFY(second.sensors[sensors + 1].value.value().toBool());

    // Values set on the simulator's control channel are pushed as well.
    QCOMPARE(m_sim.command("set-sensor 31 false"), QStringLiteral("ok"));
    WAIT_PUSHES(third, s.sensors.size() == sensors + 3);
    QCOMPARE(third.sensors[sensors + 2].value.value().toBool(), false);
    // Closed again, so that its door raises nothing more during later tests.
    QCOMPARE(m_sim.command("set-sensor 31 true"), QStringLiteral("ok"));
    WAIT_PUSHES(fourth, s.sensors.size() == sensors + 4);
}

void TestVantorRequests::streamBinding()
{
    auto bind = [this](ObjectId stream, std::vector<BindingPair> pairs) {
        return awaitVoid(
            [&](std::function<void()> ok, ErrorCallback fail) { m_client.bindStream(stream, pairs, ok, fail); });
    };
    auto unbind = [this](ObjectId stream, ObjectId device) {
        return awaitVoid(
            [&](std::function<void()> ok, ErrorCallback fail) { m_client.unbindStream(stream, device, ok, fail); });
    };
    QCOMPARE(bind(21, {{11, 3}}), 0);
    QCOMPARE(m_sim.command("bindings 21"), QStringLiteral("ok [{\"bindingType\":3,\"objectId\":11}]"));
    QCOMPARE(bind(21, {{12, 7}}), int(ErrInvalidArgument));
    QCOMPARE(bind(21, {}), int(ErrInvalidArgument));
    QCOMPARE(bind(21, {{999, 1}}), int(ErrNotFound));
    QCOMPARE(bind(999, {{11, 1}}), int(ErrNotFound));
    QCOMPARE(bind(31, {{11, 1}}), int(ErrInvalidArgument)); // not a stream
    QCOMPARE(unbind(21, 11), 0);
    QCOMPARE(unbind(21, 11), int(ErrNotFound));
    QCOMPARE(m_sim.command("bindings 21"), QStringLiteral("ok []"));
}

void TestVantorRequests::streamInfo()
{
    auto info = [this](ObjectId device, ObjectId stream) {
        return await<StreamInfo>([&](std::function<void(StreamInfo)> ok, ErrorCallback fail) {
            m_client.getStreamInfo(device, stream, ok, fail);
        });
    };
    const auto a = info(11, 21);
    QCOMPARE(a.first, 0);
    QCOMPARE(a.second.deviceId, ObjectId(11));
    QCOMPARE(a.second.streamId, ObjectId(21));
    QCOMPARE(a.second.address, std::string("127.0.0.1"));
    QVERIFY(!a.second.token.empty());
    QCOMPARE(info(0, 23).second.deviceId, ObjectId(12)); // device 0: whichever serves it
    QCOMPARE(info(12, 21).first, int(ErrNotFound));
    QCOMPARE(info(11, 999).first, int(ErrNotFound));
}

void TestVantorRequests::chunkSearch_data()
{
    QTest::addColumn<qint64>("stream");
    QTest::addColumn<int>("by");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::newRow("start in range") << qint64(21) << 0 << qint64(1000) << qint64(2000) << 0 << QList<qint64>{5, 6};
    QTest::newRow("end in range") << qint64(21) << 1 << qint64(1000) << qint64(2000) << 0 << QList<qint64>{5};
    QTest::newRow("end later") << qint64(21) << 1 << qint64(2001) << qint64(9000) << 0 << QList<qint64>{6, 7};
    QTest::newRow("all up to now") << qint64(21) << 0 << qint64(1) << QDateTime::currentMSecsSinceEpoch() << 0
                                   << QList<qint64>{5, 6, 7};
    QTest::newRow("nothing in range") << qint64(21) << 0 << qint64(3001) << qint64(4999) << 0 << QList<qint64>{};
    QTest::newRow("generated run") << qint64(23) << 0 << qint64(0) << qint64(11000) << 0 << QList<qint64>{8, 9};
    QTest::newRow("no recordings") << qint64(22) << 0 << qint64(0) << qint64(1) << 0 << QList<qint64>{};
    QTest::newRow("unknown stream") << qint64(999) << 0 << qint64(0) << qint64(1) << int(ErrNotFound)
                                    << QList<qint64>{};
    QTest::newRow("bad search mode") << qint64(21) << 2 << qint64(0) << qint64(1) << int(ErrInvalidArgument)
                                     << QList<qint64>{};
}

void TestVantorRequests::chunkSearch()
{
    QFETCH(qint64, stream);
    QFETCH(int, by);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(int, code);
    QFETCH(QList<qint64>, ids);
    const auto result =
        await<std::vector<StreamChunk>>([&](std::function<void(std::vector<StreamChunk>)> ok, ErrorCallback fail) {
            m_client.searchChunks(stream, by, start, end, ok, fail);
        });
    QCOMPARE(result.first, code);
    const auto found = chunkIds(result.second);
    QCOMPARE(QList<qint64>(found.begin(), found.end()), ids);
    for (const auto& c : result.second)
        QCOMPARE(c.streamId, stream);
    if (stream == 21 && !result.second.empty() && result.second.front().chunkId == 5) {
        QCOMPARE(result.second.front().start, std::int64_t(1000));
        QCOMPARE(result.second.front().end, std::int64_t(2000));
        QCOMPARE(result.second.front().size, std::int64_t(100));
    }
}

void TestVantorRequests::sentAndPushedEvents()
{
    // Door events of the tests before are counted out.
    const std::size_t earlier = m_pushes.now().events.size();
    Event event;
    event.className = "ctrl.OPEN_DOOR";
    event.destinationId = 32;
    event.fields.setValue("reason", StringValue("visitor"));
    event.fields.setValue("seconds", IntValue(5));
    const auto sent = await<ObjectId>(
        [&](std::function<void(ObjectId)> ok, ErrorCallback fail) { m_client.sendEvent(event, ok, fail); });
    QCOMPARE(sent.first, 0);
    QVERIFY(sent.second > 0);

    // The server passes the event on to every signed-in client, the sender included.
    WAIT_PUSHES(one, s.events.size() > earlier);
    const Event echoed = one.events.back();
    QCOMPARE(echoed.eventId, sent.second);
    QCOMPARE(echoed.className, event.className);
    QCOMPARE(echoed.destinationId, ObjectId(32));
    QCOMPARE(echoed.sourceId, ObjectId(3)); // the signed-in user
    QVERIFY(echoed.timestamp > 0);
    QCOMPARE(echoed.fields.names(), (std::vector<std::string>{"reason", "seconds"}));
    QCOMPARE(echoed.fields.value("seconds").toInt64(), std::int64_t(5));
    QVERIFY(m_sim.command("events").contains("\"ctrl.OPEN_DOOR\""));

    // An event the server raises by itself.
    const QString reply = m_sim.command(
        "push-event {\"className\": \"alarm.MOTION\", \"sourceId\": 42, \"fields\": {\"fields\": {\"zone\": 2}}}");
    QVERIFY2(reply.startsWith("ok "), qPrintable(reply));
    const ObjectId pushedId = reply.mid(3).toLongLong();
    WAIT_PUSHES(two, s.events.size() == earlier + 2);
    const Event pushed = two.events.back();
    QCOMPARE(pushed.eventId, pushedId);
    QVERIFY(pushed.eventId != sent.second);
    QCOMPARE(pushed.className, std::string("alarm.MOTION"));
    QCOMPARE(pushed.sourceId, ObjectId(42));
    QCOMPARE(pushed.fields.value("fields").tag(), int(Value::StringTag));
    const QJsonDocument inner =
        QJsonDocument::fromJson(QByteArray::fromStdString(pushed.fields.value("fields").toString()));
    QCOMPARE(inner.object().value("zone").toInt(), 2);

    QCOMPARE(
        m_sim.command(QStringLiteral("update-event {\"eventId\": %1, \"className\": \"alarm.MOTION\", \"priority\": 3}")
                          .arg(pushedId)),
        QStringLiteral("ok %1").arg(pushedId));
    // The site's doors end events of their own meanwhile: the update is the one with this id.
    const auto isThisUpdate = [pushedId](const Event& e) { return e.eventId == pushedId; };
    WAIT_PUSHES(updated, std::any_of(s.updates.begin(), s.updates.end(), isThisUpdate));
    QCOMPARE(std::find_if(updated.updates.begin(), updated.updates.end(), isThisUpdate)->priority, 3);
    QVERIFY(m_sim.command("push-event [1]").startsWith("error"));
}

void TestVantorRequests::objectDataChanges()
{
    const int before = m_pushes.now().dataChanged;
    QCOMPARE(m_sim.command("set-setting 21 url \"av://lavfi:smptebars\""), QStringLiteral("ok"));
    {
        WAIT_PUSHES(changed, s.dataChanged == before + 1);
    }
    QCOMPARE(m_sim.command("set-name 22 Camera B renamed"), QStringLiteral("ok"));
    QCOMPARE(m_sim.command("set-setting 22 fps 30"), QStringLiteral("ok"));
    {
        WAIT_PUSHES(changed, s.dataChanged == before + 3);
    }

    const ObjectList list = objects();
    QCOMPARE(list.find(21)->settings().value("url").toString(), std::string("av://lavfi:smptebars"));
    QCOMPARE(list.find(21)->settings().names().front(), std::string("url")); // changed in place
    QCOMPARE(list.find(22)->name(), std::string("Camera B renamed"));
    QCOMPARE(list.find(22)->settings().value("fps").toInt64(), std::int64_t(30));
    QVERIFY(m_sim.command("set-setting 999 x 1").startsWith("error"));
}

QTEST_GUILESS_MAIN(TestVantorRequests)
#include "tst_vantorrequests.moc"
