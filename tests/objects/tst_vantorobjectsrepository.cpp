#include <QSignalSpy>
#include <QtTest>

#include "messagelog.h"
#include "vantorobjectsrepository.h"

namespace {

const QString Sep = QStringLiteral(",");

VantorObjectPtr record(const QString& id, const QString& path, const QStringList& childIds = {})
{
    auto r = std::make_shared<VantorObject>();
    r->setId(id);
    r->setPath(path);
    r->setName(path.section(Sep, -1));
    r->setChildIds(childIds);
    return r;
}

int rootWarnings(const MessageLog& log, const QString& tail)
{
    int n = 0;
    for (const MessageLog::Entry& e : log.entries())
        n += (e.type == QtWarningMsg && e.text.contains("vantorobjectsrepository.cpp") && e.text.endsWith(tail)) ? 1
                                                                                                                : 0;
    return n;
}

} // namespace

class TestVantorObjectsRepository : public QObject
{
    Q_OBJECT

private slots:
    void linksChainToParents();
    void firstRecordOfAnIdStays();
    void secondTopLevelReplacesRoot();
    void missingParentBecomesRoot_data();
    void missingParentBecomesRoot();
    void siblingsSharingAPath();
    void lookupsNeverAdd();
    void clearEmptiesEverything();
    void manyChildrenOfOneParent();
};

void TestVantorObjectsRepository::linksChainToParents()
{
    VantorObjectsRepository repo;
    const auto site = record("1", "Site");
    const auto cameras = record("2", "Site,Cameras", {"3"});
    const auto cam1 = record("3", "Site,Cameras,Cam1");
    QSignalSpy childIds(cameras.get(), &VantorObject::childIdsChanged);

    MessageLog log;
    QVERIFY(repo.add(site, Sep));
    QVERIFY(repo.add(cameras, Sep));
    QVERIFY(repo.add(cam1, Sep));

    QCOMPARE(repo.root(), site.get());
    QCOMPARE(cameras->parentId(), QString("1"));
    QCOMPARE(cam1->parentId(), QString("2"));
    QCOMPARE(site->childIds(), QStringList({"2"}));
    QCOMPARE(cameras->childIds(), QStringList({"3"}));
    QCOMPARE(childIds.count(), 1);
    QCOMPARE(repo.findByPath("Site,Cameras,Cam1"), cam1);
    QCOMPARE(repo.findById("2"), cameras);
    QCOMPARE(repo.objectById("3"), cam1.get());
    QCOMPARE(repo.objects().size(), 3);
    QCOMPARE(rootWarnings(log, "root != nullptr?"), 0);
}

void TestVantorObjectsRepository::firstRecordOfAnIdStays()
{
    VantorObjectsRepository repo;
    const auto site = record("1", "Site");
    const auto first = record("2", "Site,A");
    const auto again = record("2", "Site,B");
    QVERIFY(repo.add(site, Sep));
    QVERIFY(repo.add(first, Sep));
    QVERIFY(!repo.add(again, Sep));

    QCOMPARE(repo.findById("2"), first);
    QVERIFY(!repo.findByPath("Site,B"));
    QCOMPARE(again->parentId(), QString());
    QCOMPARE(site->childIds(), QStringList({"2"}));
    QVERIFY(!repo.add(nullptr, Sep));
}

void TestVantorObjectsRepository::secondTopLevelReplacesRoot()
{
    VantorObjectsRepository repo;
    QSignalSpy rootChanged(&repo, &VantorObjectsRepository::rootChanged);
    const auto first = record("1", "Site");
    const auto second = record("2", "Other");

    MessageLog log;
    QVERIFY(repo.add(first, Sep));
    QCOMPARE(rootWarnings(log, ": root != nullptr?"), 0);
    QVERIFY(repo.add(second, Sep));
    QCOMPARE(rootWarnings(log, ": root != nullptr?"), 1);
    QCOMPARE(repo.root(), second.get());
    QCOMPARE(repo.findById("1"), first);
    QCOMPARE(rootChanged.count(), 0);
}

void TestVantorObjectsRepository::missingParentBecomesRoot_data()
{
    QTest::addColumn<bool>("rootBefore");
    QTest::addColumn<QString>("path");

    // A name holding the separator splits like a deeper path.
    QTest::newRow("top-level name with separator") << false << "a,b";
    QTest::newRow("separator name after a root") << true << "a,b";
    QTest::newRow("parent never added") << true << "Site,Gone,Cam";
    QTest::newRow("empty last part") << true << "Lost,";
}

void TestVantorObjectsRepository::missingParentBecomesRoot()
{
    QFETCH(bool, rootBefore);
    QFETCH(QString, path);

    VantorObjectsRepository repo;
    if (rootBefore)
        QVERIFY(repo.add(record("1", "Site"), Sep));

    MessageLog log;
    const auto orphan = record("9", path);
    QVERIFY(repo.add(orphan, Sep));

    QCOMPARE(repo.root(), orphan.get());
    QCOMPARE(repo.findById("9"), orphan);
    QCOMPARE(repo.findByPath(path), orphan);
    QCOMPARE(orphan->parentId(), QString());
    // The colon-less form: this warning is not the top-level one.
    QCOMPARE(rootWarnings(log, " root != nullptr?"), rootBefore ? 1 : 0);
    QCOMPARE(rootWarnings(log, ": root != nullptr?"), 0);
}

void TestVantorObjectsRepository::siblingsSharingAPath()
{
    VantorObjectsRepository repo;
    const auto site = record("1", "Site");
    const auto doorA = record("10", "Site,Door");
    const auto doorB = record("11", "Site,Door");
    const auto lock = record("12", "Site,Door,Lock");
    QVERIFY(repo.add(site, Sep));
    QVERIFY(repo.add(doorA, Sep));
    QVERIFY(repo.add(doorB, Sep));
    QVERIFY(repo.add(lock, Sep));

    QCOMPARE(repo.findByPath("Site,Door"), doorB);
    QCOMPARE(repo.findById("10"), doorA);
    QCOMPARE(lock->parentId(), QString("11"));
    QCOMPARE(doorB->childIds(), QStringList({"12"}));
    QCOMPARE(doorA->childIds(), QStringList());
    QCOMPARE(site->childIds(), QStringList({"10", "11"}));
}

void TestVantorObjectsRepository::lookupsNeverAdd()
{
    VantorObjectsRepository repo;
    QVERIFY(repo.add(record("1", "Site"), Sep));
    QVERIFY(!repo.objectById("404"));
    QVERIFY(!repo.findById("404"));
    QVERIFY(!repo.findByPath("Nowhere"));
    QVERIFY(!repo.objectById(QString()));
    QCOMPARE(repo.objects().size(), 1);
    QVERIFY(!repo.objects().contains("404"));
}

void TestVantorObjectsRepository::clearEmptiesEverything()
{
    VantorObjectsRepository repo;
    QSignalSpy dataChanged(&repo, &VantorObjectsRepository::dataChanged);
    const auto site = record("1", "Site");
    QVERIFY(repo.add(site, Sep));
    std::weak_ptr<VantorObject> child;
    {
        const auto cam = record("2", "Site,Cam");
        child = cam;
        QVERIFY(repo.add(cam, Sep));
    }
    QVERIFY(!child.expired());

    repo.clear();
    QVERIFY(!repo.root());
    QVERIFY(!repo.objectById("1"));
    QVERIFY(!repo.objectById("2"));
    QVERIFY(!repo.findByPath("Site,Cam"));
    QVERIFY(repo.objects().isEmpty());
    QVERIFY(child.expired());
    QCOMPARE(dataChanged.count(), 0);

    // A fresh top-level record after clear is no second root.
    MessageLog log;
    QVERIFY(repo.add(record("1", "Site"), Sep));
    QCOMPARE(rootWarnings(log, "root != nullptr?"), 0);
}

void TestVantorObjectsRepository::manyChildrenOfOneParent()
{
    const int count = 5000;
    QStringList listed;
    for (int i = 0; i < count; ++i)
        listed.append(QString::number(1000 + i));
    // The server lists one stream twice; linking keeps its first place only.
    listed.insert(10, listed.at(3));

    VantorObjectsRepository repo;
    QVERIFY(repo.add(record("1", "Site"), Sep));
    const auto gateway = record("2", "Site,Gateway", listed);
    QVERIFY(repo.add(gateway, Sep));
    QSignalSpy childIds(gateway.get(), &VantorObject::childIdsChanged);
    for (int i = 0; i < count; ++i)
        QVERIFY(repo.add(record(QString::number(1000 + i), QStringLiteral("Site,Gateway,S%1").arg(i)), Sep));
    // One that the server did not list goes to the end.
    QVERIFY(repo.add(record("99", "Site,Gateway,Extra"), Sep));

    QStringList expected;
    for (int i = 0; i < count; ++i)
        expected.append(QString::number(1000 + i));
    expected.append("99");
    QCOMPARE(gateway->childIds(), expected);
    QCOMPARE(childIds.count(), count + 1);
    QCOMPARE(repo.findById("5999")->parentId(), QString("2"));
}

QTEST_GUILESS_MAIN(TestVantorObjectsRepository)
#include "tst_vantorobjectsrepository.moc"
