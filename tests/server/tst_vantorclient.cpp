#include <memory>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include "logcapture.h"
#include "simprocess.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace {

const int Timeout = 5000;
const qlonglong OperatorId = 8; // of sites/station.json

} // namespace

// The client against a running simulator: sign-in, the object tree, pushes and requests.
class TestVantorClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void signIn_data();
    void signIn();
    void secondConnectReplacesFirst();
    void fetchBuildsTheTree();
    void objectDataChangeRefetches();
    void valuePushes_data();
    void valuePushes();
    void pushesForAbsentObjects();
    void doorFollowsItsLock();
    void dynamicAttributes();
    void streams();
    void controlEvents_data();
    void controlEvents();
    void droppedConnection();
    void doorStateFromTheStart();
    void valueReportedBeforeARebuildIsKept();

private:
    // To the test's simulator unless another port is given.
    bool connectAndSignIn(const QString& user = "operator", const QString& password = "s3cret", int port = 0);
    bool fetch();
    QJsonArray commandList(const QString& line)
    {
        return QJsonDocument::fromJson(m_sim.command(line).mid(3).toUtf8()).array();
    }

    SimProcess m_sim;
    std::unique_ptr<VantorObjectsRepository> m_repo;
    std::unique_ptr<VantorClient> m_client;
};

bool TestVantorClient::connectAndSignIn(const QString& user, const QString& password, int port)
{
    QSignalSpy connected(m_client.get(), &VantorClient::connected);
    QSignalSpy loggedIn(m_client.get(), &VantorClient::loggedIn);
    QSignalSpy loginError(m_client.get(), &VantorClient::loginError);
    m_client->setHost("127.0.0.1");
    m_client->setPort(port ? port : m_sim.serverPort());
    m_client->setUsername(user);
    m_client->setPassword(password);
    m_client->connectToVantor();
    if (!connected.wait(Timeout))
        return false;
    m_client->login();
    static_cast<void>(QTest::qWaitFor([&] { return loggedIn.count() + loginError.count() > 0; }, Timeout));
    return loggedIn.count() == 1;
}

bool TestVantorClient::fetch()
{
    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    m_client->fetchObjects();
    if (!dataChanged.wait(Timeout))
        return false;
    // The server reports the current values right after the objects, and answers requests in
    // order: once the answer to a later request is in, so are the reports. The tests count
    // changes from there on.
    QSignalSpy answered(m_client.get(), &VantorClient::dynamicAttributeReceived);
    m_client->getAttr("5", "");
    return answered.wait(Timeout);
}

void TestVantorClient::initTestCase()
{
    QVERIFY2(m_sim.start(SERVER_SITES_DIR "/station.json"), qPrintable(m_sim.errorText()));
    QCOMPARE(m_sim.command("door-delay 50"), QString("ok"));
}

void TestVantorClient::init()
{
    m_repo = std::make_unique<VantorObjectsRepository>();
    m_client = std::make_unique<VantorClient>();
    m_client->setRepository(m_repo.get());
}

void TestVantorClient::cleanup()
{
    VantorObject::setActuatorWriter(nullptr);
    m_client.reset();
    m_repo.reset();
}

void TestVantorClient::signIn_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("operator") << "operator"
                              << "s3cret" << true;
    QTest::newRow("wrong password") << "operator"
                                    << "guess" << false;
    QTest::newRow("unknown user") << "intruder"
                                  << "s3cret" << false;
    QTest::newRow("not a user") << "Gateway"
                                << "" << false;
}

void TestVantorClient::signIn()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, accepted);

    QSignalSpy states(m_client.get(), &VantorClient::connectionStateChanged);
    QSignalSpy loginError(m_client.get(), &VantorClient::loginError);
    QSignalSpy loggedIn(m_client.get(), &VantorClient::loggedIn);
    QSignalSpy loggedOut(m_client.get(), &VantorClient::loggedOut);
    QCOMPARE(connectAndSignIn(user, password), accepted);

    QCOMPARE(loggedIn.count(), accepted ? 1 : 0);
    if (accepted)
        QCOMPARE(loggedIn.first().first().toLongLong(), OperatorId);
    else
        QVERIFY(loginError.first().first().toString().endsWith("\nCode: 10"));
    QCOMPARE(loggedOut.count(), 0);
    QCOMPARE(states.first(), QVariantList({int(VantorClient::Opening), int(VantorClient::Closed)}));
    QVERIFY(states.contains(QVariantList({int(VantorClient::Open), int(VantorClient::Opening)})));
}

void TestVantorClient::secondConnectReplacesFirst()
{
    QSignalSpy connected(m_client.get(), &VantorClient::connected);
    m_client->setHost("127.0.0.1");
    m_client->setPort(m_sim.serverPort());
    m_client->connectToVantor();
    QVERIFY(connectAndSignIn());
    QCOMPARE(connected.count(), 1);
    QVERIFY(fetch());
}

void TestVantorClient::fetchBuildsTheTree()
{
    QSignalSpy error(m_client.get(), &VantorClient::error);
    QSignalSpy connected(m_client.get(), &VantorClient::connected);
    m_client->setHost("127.0.0.1");
    m_client->setPort(m_sim.serverPort());
    m_client->connectToVantor();
    QVERIFY(connected.wait(Timeout));
    m_client->fetchObjects(); // not signed in yet
    QVERIFY(error.wait(Timeout));
    QVERIFY(error.first().first().toString().endsWith("\nCode: 10"));

    QVERIFY(connectAndSignIn());
    LogCapture log;
    QVERIFY(fetch());
    QCOMPARE(log.lines(QtWarningMsg), QStringList());
    const QStringList paths{"Site",
                            "Site,Gateway",
                            "Site,Gateway,Cam 1",
                            "Site,Gateway,Cam 2",
                            "Site,Entrance",
                            "Site,Entrance,Door sensor",
                            "Site,Entrance,Door lock",
                            "Site,operator"};
    QCOMPARE(m_repo->objects().size(), paths.size());
    for (int i = 0; i < paths.size(); ++i) {
        VantorObject* r = m_repo->objectById(QString::number(i + 1));
        QVERIFY(r);
        QCOMPARE(r->path(), paths.at(i));
        QCOMPARE(m_repo->findByPath(paths.at(i)).get(), r);
    }
    QCOMPARE(m_repo->root(), m_repo->objectById("1"));
    QCOMPARE(m_repo->findById("1")->childIds(), QStringList({"2", "5", "8"}));
    const VantorObjectPtr gateway = m_repo->findById("2");
    QCOMPARE(gateway->parentId(), QString("1"));
    QCOMPARE(gateway->serial(), QString("GW-0002"));
    QCOMPARE(gateway->settings()->prop("address"), QString("127.0.0.1"));
    QCOMPARE(gateway->settings()->prop("posPort").toInt(), m_sim.gateway(2).pos);
}

void TestVantorClient::objectDataChangeRefetches()
{
    QVERIFY(connectAndSignIn());
    QVERIFY(fetch());
    std::weak_ptr<VantorObject> before = m_repo->findById("4");
    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    LogCapture log;
    QCOMPARE(m_sim.command("set-name 4 Cam Two"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(dataChanged.count(), 1, Timeout);
    QCOMPARE(log.count("void VantorClient::updateObjectData()"), 1);
    QCOMPARE(m_repo->findByPath("Site,Gateway,Cam Two"), m_repo->findById("4"));
    QVERIFY(before.expired());
    QCOMPARE(m_sim.command("set-name 4 Cam 2"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(dataChanged.count(), 2, Timeout);
}

void TestVantorClient::valuePushes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("changes");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("line");

    QTest::newRow("sensor bool") << "set-sensor 6 true" << 1 << true
                                 << "sensorChanged: id( 6 ) p( QVariant(bool, true) )";
    QTest::newRow("sensor int 0") << "set-sensor 6 0" << 1 << false << "sensorChanged: id( 6 ) p( QVariant(int, 0) )";
    QTest::newRow("sensor int 5") << "set-sensor 6 5" << 1 << true << "sensorChanged: id( 6 ) p( QVariant(int, 5) )";
    // Only the low 32 bits show, but the reading is not zero: the door is open.
    QTest::newRow("sensor int 2^32") << "set-sensor 6 4294967296" << 1 << true
                                     << "sensorChanged: id( 6 ) p( QVariant(int, 0) )";
    QTest::newRow("sensor text") << "set-sensor 6 \"open\"" << 0 << false
                                 << "sensorChanged: id( 6 ) p( QVariant(Invalid) )";
    QTest::newRow("actuator int 3") << "set-actuator 7 3" << 1 << true << "Actr changed: id( \"7\" )";
    QTest::newRow("actuator float") << "set-actuator 7 1.5" << 0 << false << "Actr changed: id( \"7\" )";
}

void TestVantorClient::valuePushes()
{
    QFETCH(QString, command);
    QFETCH(int, changes);
    QFETCH(bool, expected);
    QFETCH(QString, line);

    // Every row starts from the same values (a row leaves the server's value as it set it).
    QCOMPARE(m_sim.command("set-sensor 6 false"), QString("ok"));
    QCOMPARE(m_sim.command("set-actuator 7 false"), QString("ok"));
    QVERIFY(connectAndSignIn());
    QVERIFY(fetch());
    const VantorObjectPtr record = m_repo->findById(command.section(' ', 1, 1));
    QThread* appliedOn = nullptr;
    connect(
        record.get(), &VantorObject::valueChanged, this, [&] { appliedOn = QThread::currentThread(); },
        Qt::DirectConnection);
    QSignalSpy changed(record.get(), &VantorObject::valueChanged);
    LogCapture log;
    QCOMPARE(m_sim.command(command), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(log.count(line), 1, Timeout);
    QCOMPARE(changed.count(), changes);
    QCOMPARE(record->value(), expected);
    if (changes)
        QCOMPARE(appliedOn, QThread::currentThread());
}

void TestVantorClient::pushesForAbsentObjects()
{
    QVERIFY(connectAndSignIn());
    pelmar::vantor::ObjectData site;
    site.id = 1;
    site.name = "Site";
    site.type = VantorObject::Location;
    site.valid = true;
    m_client->updateRepository({pelmar::vantor::Object(site)}, 1);

    LogCapture log;
    m_sim.command("set-sensor 6 true");
    m_sim.command("set-actuator 7 true");
    m_client->getActrValue("7");
    // Pushes and replies keep their order: the sensor's was handled before these warnings.
    QTRY_COMPARE_WITH_TIMEOUT(log.count("Actuator not found: 7"), 2, Timeout);
    QCOMPARE(log.lines(QtDebugMsg).filter("sensorChanged").size(), 0);
    QCOMPARE(log.count("Got actr value: true"), 1);

    m_client->setRepository(nullptr);
    m_sim.command("set-actuator 7 false");
    m_client->getActrValue("7");
    QTRY_COMPARE_WITH_TIMEOUT(log.count("Got actr value: false"), 1, Timeout);
    QCoreApplication::processEvents();
    QCOMPARE(log.count("Actuator not found: 7"), 2);
}

void TestVantorClient::doorFollowsItsLock()
{
    QVERIFY(connectAndSignIn());
    m_sim.command("set-actuator 7 false");
    m_sim.command("set-sensor 6 false");
    QVERIFY(fetch());
    VantorObject::setActuatorWriter(m_client.get());
    const VantorObjectPtr lock = m_repo->findById("7");
    const VantorObjectPtr sensor = m_repo->findById("6");
    LogCapture log;

    m_client->getActrValue("7");
    QTRY_COMPARE_WITH_TIMEOUT(log.count("Actr changed: id( \"7\" )"), 1, Timeout);
    QCOMPARE(log.count("Requesting actr value for \"7\""), 1);
    for (const bool wanted : {true, false}) {
        QVERIFY(lock->setProperty("value", wanted)); // as the door tile writes it
        QCOMPARE(lock->value(), !wanted);
        QTRY_COMPARE_WITH_TIMEOUT(lock->value(), wanted, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(sensor->value(), wanted, Timeout);
    }
    QCOMPARE(log.count("setActrValue ok,  \"7\"  =>  true"), 1);
    QCOMPARE(log.count("setActrValue ok,  \"7\"  =>  false"), 1);
}

void TestVantorClient::dynamicAttributes()
{
    QVERIFY(connectAndSignIn());
    QSignalSpy received(m_client.get(), &VantorClient::dynamicAttributeReceived);
    LogCapture log;
    m_client->createAttr("5", "note", 5);
    QTRY_COMPARE_WITH_TIMEOUT(log.count("DynAttr created"), 1, Timeout);
    m_client->createAttr("5", "note", 6);
    QTRY_COMPARE_WITH_TIMEOUT(log.lines(QtInfoMsg).filter("DynAttr creation failed:").size(), 1, Timeout);
    m_client->getAttr("5", "note");
    QVERIFY(received.wait(Timeout));
    QCOMPARE(received.last().at(0).toString(), QString("5"));
    QCOMPARE(received.last().at(1).toMap(), QVariantMap({{"note", "5"}})); // always sent as text
    QCOMPARE(log.count("DynAttr getting ok"), 1);

    m_client->setAttr("5", "note", true);
    QTRY_COMPARE_WITH_TIMEOUT(log.count("DynAttr setting ok"), 1, Timeout);
    m_client->removeAttr("5", "note");
    QTRY_COMPARE_WITH_TIMEOUT(log.count("Attribute remove ok"), 1, Timeout);

    // The layouts and an id-valued attribute on the site object, which gives no QVariant.
    m_client->getAttr(QString::number(VantorClient::AttrLayout), "");
    QVERIFY(received.wait(Timeout));
    const QVariantMap attrs = received.last().at(1).toMap();
    QCOMPARE(attrs.keys(), QStringList({"2x2", "owner"}));
    QVERIFY(!attrs.value("owner").isValid());
    QCOMPARE(log.count("Unhandled type: 10"), 1);
}

void TestVantorClient::streams()
{
    QVERIFY(connectAndSignIn());
    QSignalSpy chunks(m_client.get(), &VantorClient::streamChunksReceived);
    QSignalSpy info(m_client.get(), &VantorClient::streamInfoReceived);
    LogCapture log;

    m_client->bindStream("3", "2", VantorClient::ProxyStorage);
    QTRY_COMPARE_WITH_TIMEOUT(log.count("bindStream ok"), 1, Timeout);
    QCOMPARE(commandList("bindings 3").first().toObject(), QJsonObject({{"objectId", 2}, {"bindingType", 3}}));
    m_client->unbindStream("3", "2");
    QTRY_COMPARE_WITH_TIMEOUT(log.count("unbindStream ok"), 1, Timeout);
    QVERIFY(commandList("bindings 3").isEmpty());

    const qlonglong now = QDateTime::currentMSecsSinceEpoch();
    m_client->searchChunks("3", VantorClient::START, 1, now);
    QVERIFY(chunks.wait(Timeout));
    QCOMPARE(
        log.count(QStringLiteral("Searching chunks for streamId: \"3\" , method: 0 , start: 1 , end: %1").arg(now)), 1);
    QCOMPARE(log.count("searchChunks finished, number of chunks: 2"), 1);
    const QVariantList list = chunks.first().first().toList();
    QCOMPARE(list.size(), 2);
    const QVariantMap expected{{"streamId", 3LL}, {"start", 120000LL}, {"end", 180000LL}, {"size", 3600000LL}};
    QCOMPARE(list.at(1).toMap(), expected);
    for (const QVariant& v : list.at(1).toMap())
        QCOMPARE(v.userType(), int(QMetaType::LongLong));
    m_client->searchChunks("4", VantorClient::START, 1, now);
    QTRY_COMPARE_WITH_TIMEOUT(log.count("searchChunks finished, number of chunks: 0"), 1, Timeout);

    m_client->getStreamGatewayInfo("2", "3");
    QVERIFY(info.wait(Timeout));
    QCOMPARE(info.first().mid(0, 2), QVariantList({"2", "3"}));
    QVERIFY(!info.first().at(2).toString().isEmpty());
    QCOMPARE(info.first().at(3).toString(), QString("127.0.0.1"));
    m_client->getStreamGatewayInfo("5", "3"); // stream 3 is not served by object 5
    QTRY_COMPARE_WITH_TIMEOUT(log.lines(QtDebugMsg).filter(QRegularExpression("^\".*\\\\nCode: 11\"$")).size(), 1,
                              Timeout);
    QCOMPARE(chunks.count(), 1);
    QCOMPARE(info.count(), 1);
}

void TestVantorClient::controlEvents_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QVariant>("fields"); // invalid: no "fields" key

    QTest::newRow("fields object")
        << R"({"className":"Alarm","sourceId":42,"fields":{"fields":{"zone":"A","level":3}}})"
        << QVariant(QVariantMap{{"zone", "A"}, {"level", 3}});
    QTest::newRow("fields not JSON") << R"({"className":"Alarm","sourceId":42,"fields":{"fields":"no json"}})"
                                     << QVariant();
    QTest::newRow("fields array") << R"({"className":"Alarm","sourceId":42,"fields":{"fields":[1,2]}})"
                                  << QVariant(QVariantMap{});
    QTest::newRow("no fields") << R"({"className":"Alarm","sourceId":42})" << QVariant();
}

void TestVantorClient::controlEvents()
{
    QFETCH(QString, event);
    QFETCH(QVariant, fields);

    QVERIFY(connectAndSignIn());
    QSignalSpy events(m_client.get(), &VantorClient::signEventReceived);
    LogCapture log;
    const QString answer = m_sim.command("push-event " + event);
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 1, Timeout);
    QVariantMap received = events.first().first().toMap();
    QCOMPARE(received.take("fields"), fields);
    QCOMPARE(received,
             QVariantMap({{"srcId", "42"}, {"eventId", answer.section(' ', 1).toLongLong()}, {"cls", "Alarm"}}));
    QCOMPARE(received.value("eventId").userType(), int(QMetaType::LongLong));
    QCOMPARE(log.count("signalEventReceived"), 1);

    // Sent the other way; the server echoes it to everyone signed in.
    m_client->sendCtrlEvent("7", "DoorOpen", {{"door", 7}, {"fields", "{\"by\":\"test\"}"}, {"raw", QByteArray("x")}});
    QCOMPARE(log.count("Sending CTRL event cls: \"DoorOpen\" , destId: \"7\""), 1);
    QCOMPARE(log.count("  Unhandled type:  12"), 1);
    QTRY_COMPARE_WITH_TIMEOUT(events.count(), 2, Timeout);
    const QVariantMap echoed = events.last().first().toMap();
    QCOMPARE(echoed.value("srcId").toString(), QString::number(OperatorId));
    QCOMPARE(echoed.value("fields"), QVariant(QVariantMap{{"by", "test"}}));
    QCOMPARE(log.count(QStringLiteral("Event sent, id:  %1").arg(echoed.value("eventId").toLongLong())), 1);
    const QJsonObject stored = commandList("events").last().toObject();
    QCOMPARE(stored.value("destinationId").toInt(), 7);
    QCOMPARE(stored.value("fields").toArray().at(0).toObject(),
             QJsonObject({{"name", "door"}, {"value", QJsonObject{{"tag", 30}, {"v", 7}}}}));
    // A type without a library counterpart travels as an empty value.
    QCOMPARE(stored.value("fields").toArray().at(2).toObject().value("value").toObject(), QJsonObject({{"tag", 0}}));
}

void TestVantorClient::droppedConnection()
{
    QVERIFY(connectAndSignIn());
    QSignalSpy states(m_client.get(), &VantorClient::connectionStateChanged);
    LogCapture log;
    QVERIFY(m_sim.command("drop").startsWith("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty() && states.last().first().toInt() == VantorClient::Closed, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(
        log.lines(QtDebugMsg).filter(QRegularExpression("^Connection error  4 :  \".*Code: 4\"$")).size(), 1, Timeout);
    QVERIFY(connectAndSignIn());
    QVERIFY(fetch());
}

void TestVantorClient::doorStateFromTheStart()
{
    // Nothing changes after the sign-in, yet the door's sensor and lock have their values: the
    // server reports them with the objects.
    QCOMPARE(m_sim.command("set-sensor 6 true"), QString("ok"));
    QVERIFY(connectAndSignIn());
    QVERIFY(fetch());
    const VantorObjectPtr sensor = m_repo->findById("6");
    QVERIFY(sensor && sensor->valueKnown());
    QCOMPARE(sensor->value(), true);
    QVERIFY(m_repo->findById("7")->valueKnown());

    // Opened, and closed again.
    QCOMPARE(m_sim.command("set-sensor 6 false"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(sensor->value(), false, Timeout);
    QCOMPARE(m_sim.command("set-sensor 6 true"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(sensor->value(), true, Timeout);

    // Opened while the client was away: after the reconnection the objects carry the new value.
    QSignalSpy states(m_client.get(), &VantorClient::connectionStateChanged);
    QVERIFY(m_sim.command("drop").startsWith("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty() && states.last().first().toInt() == VantorClient::Closed, Timeout);
    QCOMPARE(m_sim.command("set-sensor 6 false"), QString("ok"));
    QVERIFY(connectAndSignIn());
    QVERIFY(fetch());
    const VantorObjectPtr again = m_repo->findById("6");
    QVERIFY(again && again->valueKnown());
    QCOMPARE(again->value(), false);
}

void TestVantorClient::valueReportedBeforeARebuildIsKept()
{
    // A server that reports changes only.
    SimProcess quiet;
    QVERIFY2(quiet.start(SERVER_SITES_DIR "/station.json", {"--no-value-reports"}), qPrintable(quiet.errorText()));
    QVERIFY(connectAndSignIn("operator", "s3cret", quiet.serverPort()));
    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    m_client->fetchObjects();
    QVERIFY(dataChanged.wait(Timeout));
    const VantorObjectPtr sensor = m_repo->findById("6");
    QVERIFY(sensor);
    QVERIFY2(!sensor->valueKnown(), "nothing reported: the state is not known, whatever the default");

    QCOMPARE(quiet.command("set-sensor 6 true"), QString("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(sensor->valueKnown(), Timeout);

    // The objects change and are fetched anew: the new records keep what was reported.
    QCOMPARE(quiet.command("set-name 4 Cam Two"), QString("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(dataChanged.count(), 2, Timeout);
    const VantorObjectPtr rebuilt = m_repo->findById("6");
    QVERIFY(rebuilt && rebuilt != sensor);
    QVERIFY(rebuilt->valueKnown());
    QCOMPARE(rebuilt->value(), true);
    QVERIFY2(!m_repo->findById("7")->valueKnown(), "the lock was never reported");
}

QTEST_GUILESS_MAIN(TestVantorClient)
#include "tst_vantorclient.moc"
