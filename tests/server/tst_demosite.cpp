#include <memory>

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

namespace {

const int Timeout = 5000;

} // namespace

// The whole path on the simulator's demo site, as the station runs it: sign in, build the
// repository, read the layouts, and open and close a door.
class TestDemoSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyObjectFindable();
    void layoutsOnTheSiteObject();
    void doorFollowsItsLock();
    void cleanupTestCase();

private:
    std::unique_ptr<SimProcess> m_sim;
    VantorObjectsRepository m_repo;
    VantorClient m_client;
    QJsonArray m_objects;
};

void TestDemoSite::initTestCase()
{
    QFile file(DEMO_SITE);
    QVERIFY2(file.open(QIODevice::ReadOnly), DEMO_SITE);
    m_objects = QJsonDocument::fromJson(file.readAll()).object().value("objects").toArray();
    QVERIFY(!m_objects.isEmpty());

    m_sim = std::make_unique<SimProcess>(VANTOR_SIM_PATH, DEMO_SITE, QStringList{"--door-delay", "100"});
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));

    m_client.setRepository(&m_repo);
    VantorObject::setActuatorWriter(&m_client);
    QSignalSpy connected(&m_client, &VantorClient::connected);
    QSignalSpy loggedIn(&m_client, &VantorClient::loggedIn);
    QSignalSpy dataChanged(&m_repo, &VantorObjectsRepository::dataChanged);
    m_client.setHost("127.0.0.1");
    m_client.setPort(m_sim->port());
    m_client.setUsername("operator");
    m_client.setPassword("operator");
    m_client.connectToVantor();
    QVERIFY(connected.wait(Timeout));
    m_client.login();
    QVERIFY(loggedIn.wait(Timeout));
    // The application's own sequence: getObjects, then updateRepository with what it delivered.
    m_client.getObjects([this](const VantorClient::ObjectList& objects,
                               pelmar::vantor::ObjectId rootId) { m_client.updateRepository(objects, rootId); },
                        {});
    QVERIFY(dataChanged.wait(Timeout));
}

void TestDemoSite::everyObjectFindable()
{
    // Paths from the site file itself: names from the root down.
    QHash<QString, QJsonObject> byId;
    for (const QJsonValue& v : qAsConst(m_objects))
        byId.insert(QString::number(v.toObject().value("id").toVariant().toLongLong()), v.toObject());

    QCOMPARE(m_repo.objects().size(), byId.size());
    for (auto it = byId.cbegin(); it != byId.cend(); ++it) {
        QStringList names;
        for (QJsonObject o = it.value(); !o.isEmpty();
             o = byId.value(QString::number(o.value("parent").toVariant().toLongLong())))
            names.prepend(o.value("name").toString());
        const QString path = names.join(",");

        const VantorObjectPtr record = m_repo.findById(it.key());
        QVERIFY2(record, qPrintable(it.key()));
        QCOMPARE(record->path(), path);
        QCOMPARE(m_repo.findByPath(path), record);
        QCOMPARE(int(record->type()), it.value().value("type").toInt());
        QCOMPARE(record->serial(), it.value().value("serial").toString());
        const QString parent = QString::number(it.value().value("parent").toVariant().toLongLong());
        if (parent != "0")
            QVERIFY2(m_repo.findById(parent)->childIds().contains(it.key()), qPrintable(it.key()));
    }
    QCOMPARE(m_repo.root(), m_repo.objectById("1"));
}

void TestDemoSite::layoutsOnTheSiteObject()
{
    QSignalSpy received(&m_client, &VantorClient::dynamicAttributeReceived);
    m_client.getAttr(QString::number(VantorClient::AttrLayout), "");
    QVERIFY(received.wait(Timeout));
    const QVariantMap layouts = received.first().at(1).toMap();
    QCOMPARE(layouts.size(), 3);
    for (const QVariant& json : layouts)
        QVERIFY(QJsonDocument::fromJson(json.toString().toUtf8()).isObject());
}

void TestDemoSite::doorFollowsItsLock()
{
    // Front door: lock 32, sensor 31, paired by their "layout" setting.
    const VantorObjectPtr lock = m_repo.findById("32");
    const VantorObjectPtr sensor = m_repo.findById("31");
    QVERIFY(lock && sensor);
    QThread* appliedOn = nullptr;
    connect(
        sensor.get(), &VantorObject::valueChanged, this, [&] { appliedOn = QThread::currentThread(); },
        Qt::DirectConnection);

    // The door tile first asks for the current state.
    QSignalSpy lockChanged(lock.get(), &VantorObject::valueChanged);
    m_client.getActrValue(lock->id());
    QVERIFY(lockChanged.wait(Timeout));
    const bool initial = lock->value();

    for (const bool wanted : {!initial, initial}) {
        QSignalSpy sensorChanged(sensor.get(), &VantorObject::valueChanged);
        lock->setProperty("value", wanted);
        QTRY_COMPARE_WITH_TIMEOUT(lock->value(), wanted, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!sensorChanged.isEmpty(), Timeout);
        QCOMPARE(sensor->value(), wanted);
        QCOMPARE(appliedOn, QThread::currentThread());
    }
}

void TestDemoSite::cleanupTestCase()
{
    VantorObject::setActuatorWriter(nullptr);
}

QTEST_GUILESS_MAIN(TestDemoSite)
#include "tst_demosite.moc"
