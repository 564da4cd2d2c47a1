#include <thread>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <vantor/vantor.h>

#include "logcapture.h"
#include "vantorclient.h"
#include "vantorobjectsrepository.h"

namespace vantor = pelmar::vantor;
using ObjectList = std::vector<vantor::Object>;
Q_DECLARE_METATYPE(ObjectList)

namespace {

const QString Missing = QStringLiteral("current == nullptr, something wrong in data");

vantor::Object object(vantor::ObjectId id, const std::string& name, int type, vantor::ObjectId parent,
                      std::vector<vantor::ObjectId> children = {}, bool valid = true)
{
    vantor::ObjectData data;
    data.id = id;
    data.name = name;
    data.type = type;
    data.parent = parent;
    data.children = std::move(children);
    data.valid = valid;
    return vantor::Object(data);
}

// Site 1 > Gateway 2 > Cam1 3, Cam2 4; Site > Entrance 5 > Door sensor 6, Door lock 7; children listed
// before their parents, as nothing promises the order.
ObjectList site(int entranceType = VantorObject::Location, bool entranceValid = true)
{
    return {object(7, "Door lock", VantorObject::Actuator, 5),
            object(3, "Cam1", VantorObject::Stream, 2),
            object(4, "Cam2", VantorObject::Stream, 2),
            object(2, "Gateway", VantorObject::Device, 1, {3, 4}),
            object(6, "Door sensor", VantorObject::Sensor, 5),
            object(5, "Entrance", entranceType, 1, {6, 7}, entranceValid),
            object(1, "Site", VantorObject::Location, 0, {2, 5})};
}

} // namespace

class TestRepositoryRebuild : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rebuild_data();
    void rebuild();
    void cycleEnds();
    void noRepository();
    void runsOnTheClientThread();
    void gatewayWithManyStreams();

private:
    std::unique_ptr<VantorObjectsRepository> m_repo;
    std::unique_ptr<VantorClient> m_client;
};

void TestRepositoryRebuild::init()
{
    m_client = std::make_unique<VantorClient>();
    m_repo = std::make_unique<VantorObjectsRepository>();
    m_client->setRepository(m_repo.get());
    m_client->updateRepository({object(90, "Old", VantorObject::Location, 0)}, 90);
}

void TestRepositoryRebuild::rebuild_data()
{
    QTest::addColumn<ObjectList>("objects");
    QTest::addColumn<QStringList>("paths"); // by id, "" when the id has no record
    QTest::addColumn<QStringList>("warnings");

    const QStringList full{"Site",
                           "Site,Gateway",
                           "Site,Gateway,Cam1",
                           "Site,Gateway,Cam2",
                           "Site,Entrance",
                           "Site,Entrance,Door sensor",
                           "Site,Entrance,Door lock"};
    QTest::newRow("whole site") << site() << full << QStringList{};
    QTest::newRow("empty list") << ObjectList{} << QStringList{} << QStringList{Missing};
    QTest::newRow("root id absent") << ObjectList{object(2, "Gateway", VantorObject::Device, 1)} << QStringList{}
                                    << QStringList{Missing};
    // The second object of id 2 has a child of its own that must not appear.
    QTest::newRow("duplicate id, first wins")
        << ObjectList{object(1, "Site", VantorObject::Location, 0, {2}), object(2, "Gateway", VantorObject::Device, 1),
                      object(2, "Impostor", VantorObject::Device, 1, {3}), object(3, "Cam9", VantorObject::Stream, 2)}
        << QStringList{"Site", "Site,Gateway"} << QStringList{};
    QTest::newRow("missing child between siblings")
        << ObjectList{object(1, "Site", VantorObject::Location, 0, {3, 404, 4}),
                      object(3, "Cam1", VantorObject::Stream, 1), object(4, "Cam2", VantorObject::Stream, 1)}
        << QStringList{"Site", "", "Site,Cam1", "Site,Cam2"} << QStringList{Missing};

    // Children of an object without a record are still filed; their parent path is absent, so
    // each replaces the root.
    QStringList orphaned = full;
    orphaned[4] = "";
    const QString noParent = " root != nullptr?";
    QTest::newRow("unknown type in the middle")
        << site(42) << orphaned << QStringList{"Unknow type:  42", noParent, noParent};
    QTest::newRow("invalid object in the middle")
        << site(VantorObject::Location, false) << orphaned << QStringList{noParent, noParent};
}

void TestRepositoryRebuild::rebuild()
{
    QFETCH(ObjectList, objects);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, warnings);

    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    LogCapture log;
    // On the client's own thread the rebuild runs at once.
    m_client->updateRepository(objects, 1);
    QCOMPARE(dataChanged.count(), 1);

    // The repository's warnings start with their source file and line.
    QStringList seen = log.lines(QtWarningMsg);
    seen.replaceInStrings(QRegularExpression("^.*vantorobjectsrepository\\.cpp \\d+ "), "");
    QCOMPARE(seen, warnings);
    QVERIFY(!m_repo->findById("90"));
    int records = 0;
    for (int i = 0; i < paths.size(); ++i) {
        const QString id = QString::number(i + 1);
        const VantorObjectPtr r = m_repo->findById(id);
        QCOMPARE(r ? r->path() : QString(), paths.at(i));
        if (!r)
            continue;
        ++records;
        QCOMPARE(m_repo->findByPath(paths.at(i)), r);
        QCOMPARE(r->thread(), QThread::currentThread());
    }
    QCOMPARE(m_repo->objects().size(), records);
    if (QTest::currentDataTag() == QLatin1String("whole site")) {
        QCOMPARE(m_repo->root(), m_repo->objectById("1"));
        QCOMPARE(m_repo->findById("7")->parentId(), QString("5"));
        QCOMPARE(m_repo->findById("1")->childIds(), QStringList({"2", "5"}));
    }
}

void TestRepositoryRebuild::cycleEnds()
{
    LogCapture log;
    m_client->updateRepository({object(1, "Site", VantorObject::Location, 0, {2}),
                                object(2, "Loop", VantorObject::Location, 1, {3, 1}),
                                object(3, "Back", VantorObject::Location, 2, {2})},
                               1);
    QCOMPARE(m_repo->objects().size(), 3);
    QCOMPARE(m_repo->findById("3")->path(), QString("Site,Loop,Back"));
    QCOMPARE(log.lines(QtWarningMsg), QStringList({"Object listed more than once in the tree, walked once: 2",
                                                   "Object listed more than once in the tree, walked once: 1"}));
}

void TestRepositoryRebuild::noRepository()
{
    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    m_client->setRepository(nullptr);
    m_client->updateRepository(site(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(dataChanged.count(), 0);
    QVERIFY(m_repo->findById("90"));

    // A repository that went away counts as none.
    m_client->setRepository(m_repo.get());
    m_repo.reset();
    QVERIFY(!m_client->repository());
    m_client->updateRepository(site(), 1);
}

void TestRepositoryRebuild::runsOnTheClientThread()
{
    QThread* rebuiltOn = nullptr;
    connect(
        m_repo.get(), &VantorObjectsRepository::dataChanged, this, [&] { rebuiltOn = QThread::currentThread(); },
        Qt::DirectConnection);
    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    std::thread library([this] { m_client->updateRepository(site(), 1); });
    library.join();
    QCOMPARE(dataChanged.count(), 0);
    QVERIFY(dataChanged.wait(5000));
    QCOMPARE(rebuiltOn, QThread::currentThread());
    QCOMPARE(m_repo->findById("6")->thread(), QThread::currentThread());
}

void TestRepositoryRebuild::gatewayWithManyStreams()
{
    ObjectList objects{object(1, "Site", VantorObject::Location, 0, {2})};
    std::vector<vantor::ObjectId> ids;
    QStringList expected;
    for (int i = 0; i < 5000; ++i) {
        ids.push_back(100 + i);
        expected << QString::number(100 + i);
        objects.push_back(object(100 + i, "Stream " + std::to_string(i), VantorObject::Stream, 2));
    }
    objects.push_back(object(2, "Gateway", VantorObject::Device, 1, ids));

    QSignalSpy dataChanged(m_repo.get(), &VantorObjectsRepository::dataChanged);
    m_client->updateRepository(objects, 1);
    QCOMPARE(dataChanged.count(), 1);
    QCOMPARE(m_repo->objects().size(), 5002);
    QCOMPARE(m_repo->findById("2")->childIds(), expected);
    for (int i = 0; i < 5000; i += 499) {
        const VantorObjectPtr s = m_repo->findByPath(QStringLiteral("Site,Gateway,Stream %1").arg(i));
        QVERIFY(s);
        QCOMPARE(s->id(), QString::number(100 + i));
        QCOMPARE(s->parentId(), QString("2"));
    }
}

QTEST_GUILESS_MAIN(TestRepositoryRebuild)
#include "tst_repositoryrebuild.moc"
