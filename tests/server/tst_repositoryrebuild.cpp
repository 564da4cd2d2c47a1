#include <thread>

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <vantor/vantor.h>

#include "messagelog.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace vantor = pelmar::vantor;

Q_DECLARE_METATYPE(QVector<vantor::Object>)

namespace {

const char* const MissingObject = "current == nullptr, something wrong in data";

vantor::Object object(vantor::ObjectId id, const std::string& name, int type, vantor::ObjectId parent,
                      std::vector<vantor::ObjectId> children = {}, bool valid = true)
{
    vantor::ObjectData data;
    data.id = id;
    data.name = name;
    data.type = type;
    data.className = "C" + std::to_string(type);
    data.parent = parent;
    data.children = std::move(children);
    data.serialNumber = "SN" + std::to_string(id);
    data.valid = valid;
    return vantor::Object(data);
}

// Site (1) > Gateway (2) > Cam1 (3), Cam2 (4); Site > Entrance (5) > Door sensor (6), Door lock (7).
// Listed children first, as nothing promises parents come first.
std::vector<vantor::Object> site()
{
    return {
        object(7, "Door lock", VantorObject::Actuator, 5),
        object(3, "Cam1", VantorObject::Stream, 2),
        object(4, "Cam2", VantorObject::Stream, 2),
        object(2, "Gateway", VantorObject::Device, 1, {3, 4}),
        object(6, "Door sensor", VantorObject::Sensor, 5),
        object(5, "Entrance", VantorObject::Location, 1, {6, 7}),
        object(1, "Site", VantorObject::Location, 0, {2, 5}),
    };
}

struct Expected {
    const char* id;
    const char* path;
    const char* parentId;
};

} // namespace

class TestRepositoryRebuild : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void buildsTheTree();
    void replacesPreviousContent();
    void brokenLists_data();
    void brokenLists();
    void childrenOfAnObjectWithoutRecord_data();
    void childrenOfAnObjectWithoutRecord();
    void cycleEnds();
    void noRepository();
    void runsOnTheClientThread();
    void gatewayWithManyStreams();

private:
    VantorObjectsRepository* m_repo = nullptr;
    VantorClient* m_client = nullptr;
};

void TestRepositoryRebuild::init()
{
    m_repo = new VantorObjectsRepository;
    m_client = new VantorClient;
    m_client->setRepository(m_repo);
}

void TestRepositoryRebuild::cleanup()
{
    delete m_client;
    delete m_repo;
}

void TestRepositoryRebuild::buildsTheTree()
{
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);
    MessageLog log;
    // On the client's own thread the rebuild runs at once.
    m_client->updateRepository(site(), 1);
    QCOMPARE(dataChanged.count(), 1);
    QCOMPARE(log.countStartingWith(QtWarningMsg, ""), 0);

    const Expected expected[] = {
        {"1", "Site", "0"},
        {"2", "Site,Gateway", "1"},
        {"3", "Site,Gateway,Cam1", "2"},
        {"4", "Site,Gateway,Cam2", "2"},
        {"5", "Site,Entrance", "1"},
        {"6", "Site,Entrance,Door sensor", "5"},
        {"7", "Site,Entrance,Door lock", "5"},
    };
    QCOMPARE(m_repo->objects().size(), 7);
    for (const Expected& e : expected) {
        const VantorObjectPtr byId = m_repo->findById(e.id);
        QVERIFY2(byId, e.id);
        QCOMPARE(m_repo->findByPath(e.path), byId);
        QCOMPARE(byId->path(), QString(e.path));
        QCOMPARE(byId->parentId(), QString(e.parentId));
        QCOMPARE(byId->thread(), QThread::currentThread());
    }
    QCOMPARE(m_repo->root(), m_repo->objectById("1"));
    QCOMPARE(m_repo->findById("1")->childIds(), QStringList({"2", "5"}));
    QCOMPARE(m_repo->findById("2")->childIds(), QStringList({"3", "4"}));
    QCOMPARE(m_repo->findById("7")->serial(), QString("SN7"));
}

void TestRepositoryRebuild::replacesPreviousContent()
{
    m_client->updateRepository(site(), 1);
    std::weak_ptr<VantorObject> oldCam = m_repo->findById("3");
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);

    m_client->updateRepository({object(10, "Other", VantorObject::Location, 0, {3}),
                                object(3, "Cam1", VantorObject::Stream, 10)},
                               10);
    QCOMPARE(dataChanged.count(), 1);
    QCOMPARE(m_repo->objects().size(), 2);
    QVERIFY(!m_repo->findById("1"));
    QVERIFY(!m_repo->findByPath("Site,Gateway,Cam1"));
    QCOMPARE(m_repo->findById("3")->path(), QString("Other,Cam1"));
    QVERIFY(oldCam.expired());
}

void TestRepositoryRebuild::brokenLists_data()
{
    QTest::addColumn<QVector<vantor::Object>>("objects");
    QTest::addColumn<qint64>("rootId");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("missingWarnings");

    QTest::newRow("empty list") << QVector<vantor::Object>{} << qint64(1) << QStringList{} << 1;
    QTest::newRow("root id absent") << QVector<vantor::Object>{object(2, "Gateway", VantorObject::Device, 1)}
                                    << qint64(1) << QStringList{} << 1;
    // The second object with id 2 has a child of its own that must not appear.
    QTest::newRow("duplicate id, first wins")
        << QVector<vantor::Object>{object(1, "Site", VantorObject::Location, 0, {2}),
                                   object(2, "Gateway", VantorObject::Device, 1, {3}),
                                   object(2, "Impostor", VantorObject::Device, 1, {4}),
                                   object(3, "Cam1", VantorObject::Stream, 2),
                                   object(4, "Cam9", VantorObject::Stream, 2)}
        << qint64(1) << QStringList{"1", "2", "3"} << 0;
    QTest::newRow("missing child between siblings")
        << QVector<vantor::Object>{object(1, "Site", VantorObject::Location, 0, {3, 404, 4}),
                                   object(3, "Cam1", VantorObject::Stream, 1),
                                   object(4, "Cam2", VantorObject::Stream, 1)}
        << qint64(1) << QStringList{"1", "3", "4"} << 1;
}

void TestRepositoryRebuild::brokenLists()
{
    QFETCH(QVector<vantor::Object>, objects);
    QFETCH(qint64, rootId);
    QFETCH(QStringList, ids);
    QFETCH(int, missingWarnings);

    m_client->updateRepository(site(), 1);
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);
    MessageLog log;
    m_client->updateRepository(std::vector<vantor::Object>(objects.cbegin(), objects.cend()), rootId);

    QCOMPARE(dataChanged.count(), 1);
    QCOMPARE(log.count(QtWarningMsg, MissingObject), missingWarnings);
    QStringList present = m_repo->objects().keys();
    present.sort();
    QCOMPARE(present, ids);
    if (ids.contains("2"))
        QCOMPARE(m_repo->findById("2")->name(), QString("Gateway"));
    if (ids.contains("4"))
        QCOMPARE(m_repo->findById("4")->parentId(), QString("1"));
    if (ids.isEmpty())
        QVERIFY(!m_repo->root());
}

void TestRepositoryRebuild::childrenOfAnObjectWithoutRecord_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("warning");

    QTest::newRow("unknown type") << 42 << true << "Unknow type:  42";
    QTest::newRow("invalid object") << int(VantorObject::Location) << false << QString();
}

void TestRepositoryRebuild::childrenOfAnObjectWithoutRecord()
{
    QFETCH(int, type);
    QFETCH(bool, valid);
    QFETCH(QString, warning);

    std::vector<vantor::Object> objects = site();
    for (vantor::Object& o : objects) {
        if (o.id() == 5)
            o = object(5, "Entrance", type, 1, {6, 7}, valid);
    }
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);
    MessageLog log;
    m_client->updateRepository(objects, 1);

    QCOMPARE(dataChanged.count(), 1);
    if (!warning.isEmpty())
        QCOMPARE(log.count(QtWarningMsg, warning), 1);
    QVERIFY(!m_repo->objectById("5"));
    // The path still holds the skipped object's name; the server's parent id stays.
    for (const char* id : {"6", "7"}) {
        const VantorObjectPtr child = m_repo->findById(id);
        QVERIFY2(child, id);
        QCOMPARE(m_repo->findByPath(child->path()), child);
        QVERIFY(child->path().startsWith("Site,Entrance,"));
        QCOMPARE(child->parentId(), QString("5"));
    }
    // Objects after the skipped branch are still linked normally.
    QCOMPARE(m_repo->findById("4")->parentId(), QString("2"));
    QCOMPARE(m_repo->objects().size(), 6);
}

void TestRepositoryRebuild::cycleEnds()
{
    std::vector<vantor::Object> objects{
        object(1, "Site", VantorObject::Location, 0, {2}),
        object(2, "Loop", VantorObject::Group, 1, {3, 1}),
        object(3, "Back", VantorObject::Group, 2, {2}),
    };
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);
    MessageLog log;
    m_client->updateRepository(objects, 1);

    QCOMPARE(dataChanged.count(), 1);
    QCOMPARE(m_repo->objects().size(), 3);
    QCOMPARE(m_repo->findById("3")->path(), QString("Site,Loop,Back"));
    QCOMPARE(log.countStartingWith(QtWarningMsg, "Object listed more than once in the tree"), 2);
}

void TestRepositoryRebuild::noRepository()
{
    m_client->updateRepository(site(), 1);
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);

    m_client->setRepository(nullptr);
    m_client->updateRepository({object(9, "New", VantorObject::Location, 0)}, 9);
    QCoreApplication::processEvents();
    QCOMPARE(dataChanged.count(), 0);
    QCOMPARE(m_repo->objects().size(), 7);

    // A repository that went away counts as none.
    auto* gone = new VantorObjectsRepository;
    m_client->setRepository(gone);
    delete gone;
    QVERIFY(!m_client->repository());
    m_client->updateRepository(site(), 1);
}

void TestRepositoryRebuild::runsOnTheClientThread()
{
    QThread* rebuiltOn = nullptr;
    connect(m_repo, &VantorObjectsRepository::dataChanged, this, [&] { rebuiltOn = QThread::currentThread(); },
            Qt::DirectConnection);
    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);

    std::thread library([this] { m_client->updateRepository(site(), 1); });
    library.join();
    QVERIFY(dataChanged.wait(5000));
    QCOMPARE(rebuiltOn, QThread::currentThread());
    QCOMPARE(m_repo->findById("6")->thread(), QThread::currentThread());
}

void TestRepositoryRebuild::gatewayWithManyStreams()
{
    const int count = 5000;
    std::vector<vantor::ObjectId> streamIds;
    std::vector<vantor::Object> objects;
    for (int i = 0; i < count; ++i) {
        streamIds.push_back(100 + i);
        objects.push_back(object(100 + i, "Stream " + std::to_string(i), VantorObject::Stream, 2));
    }
    objects.push_back(object(2, "Gateway", VantorObject::Device, 1, streamIds));
    objects.push_back(object(1, "Site", VantorObject::Location, 0, {2}));

    QSignalSpy dataChanged(m_repo, &VantorObjectsRepository::dataChanged);
    m_client->updateRepository(objects, 1);
    QCOMPARE(dataChanged.count(), 1);

    const VantorObjectPtr gateway = m_repo->findById("2");
    QVERIFY(gateway);
    QStringList expected;
    for (vantor::ObjectId id : streamIds)
        expected.append(QString::number(id));
    QCOMPARE(gateway->childIds(), expected);
    QCOMPARE(m_repo->objects().size(), count + 2);
    for (int i = 0; i < count; i += 499) {
        const VantorObjectPtr stream = m_repo->findByPath(QStringLiteral("Site,Gateway,Stream %1").arg(i));
        QVERIFY(stream);
        QCOMPARE(stream->id(), QString::number(100 + i));
        QCOMPARE(stream->parentId(), QString("2"));
    }
}

QTEST_GUILESS_MAIN(TestRepositoryRebuild)
#include "tst_repositoryrebuild.moc"
