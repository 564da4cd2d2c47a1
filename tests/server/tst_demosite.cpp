#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include "simprocess.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

// The station's own sequence on the simulator's demo site: sign in, build the repository, read
// the layouts, open and close a door.
class TestDemoSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyObjectFindable();
    void layouts();
    void doorFollowsItsLock();
    void cleanupTestCase() { VantorObject::setActuatorWriter(nullptr); }

private:
    SimProcess m_sim;
    VantorObjectsRepository m_repo;
    VantorClient m_client;
};

void TestDemoSite::initTestCase()
{
    QVERIFY2(m_sim.start(DEMO_SITE, {"--door-delay", "50", "--pos-rate", "0"}), qPrintable(m_sim.errorText()));
    m_client.setRepository(&m_repo);
    VantorObject::setActuatorWriter(&m_client);
    QSignalSpy connected(&m_client, &VantorClient::connected);
    QSignalSpy loggedIn(&m_client, &VantorClient::loggedIn);
    QSignalSpy dataChanged(&m_repo, &VantorObjectsRepository::dataChanged);
    m_client.setHost("127.0.0.1");
    m_client.setPort(m_sim.serverPort());
    m_client.setUsername("operator");
    m_client.setPassword("operator");
    m_client.connectToVantor();
    QVERIFY(connected.wait(5000));
    m_client.login();
    QVERIFY(loggedIn.wait(5000));
    m_client.getObjects([this](const VantorClient::ObjectList& objects,
                               pelmar::vantor::ObjectId rootId) { m_client.updateRepository(objects, rootId); },
                        {});
    QVERIFY(dataChanged.wait(5000));
}

void TestDemoSite::everyObjectFindable()
{
    // Paths from the site file itself: names from the root down.
    QHash<qint64, QJsonObject> site;
    QFile file(DEMO_SITE);
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (const QJsonValue& v : QJsonDocument::fromJson(file.readAll()).object().value("objects").toArray())
        site.insert(v.toObject().value("id").toVariant().toLongLong(), v.toObject());
    QCOMPARE(m_repo.objects().size(), site.size());
    for (auto it = site.cbegin(); it != site.cend(); ++it) {
        QStringList names;
        for (QJsonObject o = it.value(); !o.isEmpty(); o = site.value(o.value("parent").toVariant().toLongLong()))
            names.prepend(o.value("name").toString());
        const VantorObjectPtr record = m_repo.findById(QString::number(it.key()));
        QVERIFY2(record, qPrintable(QString::number(it.key())));
        QCOMPARE(record->path(), names.join(","));
        QCOMPARE(m_repo.findByPath(names.join(",")), record);
        QCOMPARE(int(record->type()), it.value().value("type").toInt());
    }
    QCOMPARE(m_repo.root(), m_repo.objectById("1"));
}

void TestDemoSite::layouts()
{
    QSignalSpy received(&m_client, &VantorClient::dynamicAttributeReceived);
    m_client.getAttr(QString::number(VantorClient::AttrLayout), "");
    QVERIFY(received.wait(5000));
    const QVariantMap layouts = received.first().at(1).toMap();
    QCOMPARE(layouts.size(), 4);
    QVERIFY(layouts.contains("Alarms"));
    for (const QVariant& json : layouts)
        QVERIFY(QJsonDocument::fromJson(json.toString().toUtf8()).isObject());
}

void TestDemoSite::doorFollowsItsLock()
{
    // Front door: lock 32 and sensor 31, paired by their "layout" setting.
    const VantorObjectPtr lock = m_repo.findById("32");
    const VantorObjectPtr sensor = m_repo.findById("31");
    // Both doors are closed at start, and the client knows it before anyone uses them.
    for (const char* id : {"31", "33"}) {
        const VantorObjectPtr door = m_repo.findById(id);
        QTRY_VERIFY2_WITH_TIMEOUT(door->valueKnown(), id, 5000);
        QVERIFY2(door->value(), id);
    }
    QThread* appliedOn = nullptr;
    connect(
        sensor.get(), &VantorObject::valueChanged, this, [&] { appliedOn = QThread::currentThread(); },
        Qt::DirectConnection);
    QSignalSpy lockChanged(lock.get(), &VantorObject::valueChanged);
    m_client.getActrValue(lock->id()); // as the door tile does first
    QVERIFY(lockChanged.wait(5000));

    const bool initial = lock->value();
    for (const bool wanted : {!initial, initial}) {
        QSignalSpy sensorChanged(sensor.get(), &VantorObject::valueChanged);
        lock->setProperty("value", wanted);
        QTRY_COMPARE_WITH_TIMEOUT(lock->value(), wanted, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!sensorChanged.isEmpty(), 5000);
        QCOMPARE(sensor->value(), wanted);
        QCOMPARE(appliedOn, QThread::currentThread());
    }
}

QTEST_GUILESS_MAIN(TestDemoSite)
#include "tst_demosite.moc"
