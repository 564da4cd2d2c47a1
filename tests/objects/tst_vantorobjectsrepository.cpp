#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include "logcapture.h"
#include "vantorobjectsrepository.h"

namespace {

VantorObjectPtr record(const QString& id, const QString& path, const QStringList& childIds = {})
{
    auto r = std::make_shared<VantorObject>();
    r->setId(id);
    r->setPath(path);
    r->setChildIds(childIds);
    return r;
}

// The root warnings: source file, line, then the text (with or without its colon).
int rootWarnings(const LogCapture& log, const QString& text)
{
    const QRegularExpression form("^.*vantorobjectsrepository\\.cpp \\d+ " + QRegularExpression::escape(text) + "$");
    return log.lines(QtWarningMsg).filter(form).size();
}

} // namespace

class TestVantorObjectsRepository : public QObject
{
    Q_OBJECT

private slots:
    void linksToParents();
    void rootRules_data();
    void rootRules();
    void sharedPathsAndClear();
    void manyChildren();
};

void TestVantorObjectsRepository::linksToParents()
{
    VantorObjectsRepository repo;
    const auto site = record("1", "Site");
    const auto cameras = record("2", "Site,Cameras", {"3"});
    const auto cam = record("3", "Site,Cameras,Cam1");
    QSignalSpy childIds(cameras.get(), &VantorObject::childIdsChanged);
    LogCapture log;
    QVERIFY(repo.add(site, ","));
    QVERIFY(repo.add(cameras, ","));
    QVERIFY(repo.add(cam, ","));
    QVERIFY(!repo.add(record("3", "Site,Other"), ","));
    QVERIFY(!repo.add(nullptr, ","));

    QCOMPARE(repo.root(), site.get());
    QCOMPARE(cam->parentId(), QString("2"));
    QCOMPARE(cameras->childIds(), QStringList({"3"}));
    QCOMPARE(childIds.count(), 1);
    QCOMPARE(site->childIds(), QStringList({"2"}));
    QCOMPARE(repo.objectById("3"), cam.get());
    QCOMPARE(repo.findByPath("Site,Cameras,Cam1"), cam);
    QVERIFY(!repo.findByPath("Site,Other"));
    QVERIFY(!repo.objectById("404") && !repo.findById("404"));
    QCOMPARE(repo.objects().size(), 3);
    QCOMPARE(log.lines(), QStringList());
}

void TestVantorObjectsRepository::rootRules_data()
{
    QTest::addColumn<bool>("rootBefore");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("warning");

    QTest::newRow("first top level") << false << "Site" << QString();
    QTest::newRow("second top level") << true << "Other"
                                      << ": root != nullptr?";
    // A name holding the separator splits like a deeper path whose parent is absent.
    QTest::newRow("separator in a name") << false << "a,b" << QString();
    QTest::newRow("separator in a name, root set") << true << "a,b"
                                                   << " root != nullptr?";
    QTest::newRow("parent never added") << true << "Site,Gone,Cam"
                                        << " root != nullptr?";
}

void TestVantorObjectsRepository::rootRules()
{
    QFETCH(bool, rootBefore);
    QFETCH(QString, path);
    QFETCH(QString, warning);

    VantorObjectsRepository repo;
    QSignalSpy rootChanged(&repo, &VantorObjectsRepository::rootChanged);
    if (rootBefore)
        QVERIFY(repo.add(record("1", "Site"), ","));
    LogCapture log;
    const auto r = record("9", path);
    QVERIFY(repo.add(r, ","));

    QCOMPARE(repo.root(), r.get());
    QCOMPARE(repo.findByPath(path), r);
    QCOMPARE(r->parentId(), QString());
    QCOMPARE(log.lines().size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty())
        QCOMPARE(rootWarnings(log, warning), 1);
    QCOMPARE(rootChanged.count(), 0);
}

void TestVantorObjectsRepository::sharedPathsAndClear()
{
    VantorObjectsRepository repo;
    const auto doorA = record("10", "Site,Door");
    const auto doorB = record("11", "Site,Door");
    const auto lock = record("12", "Site,Door,Lock");
    for (const auto& r : {record("1", "Site"), doorA, doorB, lock})
        QVERIFY(repo.add(r, ","));
    QCOMPARE(repo.findByPath("Site,Door"), doorB);
    QCOMPARE(lock->parentId(), QString("11"));
    QCOMPARE(doorA->childIds(), QStringList());

    std::weak_ptr<VantorObject> gone = doorA;
    repo.clear();
    QVERIFY(!repo.root() && !repo.objectById("1") && !repo.findByPath("Site,Door") && repo.objects().isEmpty());
    QVERIFY(!gone.expired()); // still held here
    LogCapture log;
    QVERIFY(repo.add(record("1", "Site"), ","));
    QCOMPARE(log.lines(), QStringList());
}

void TestVantorObjectsRepository::manyChildren()
{
    // The server lists every stream, one of them twice; linking keeps each id once, in place.
    QStringList listed;
    for (int i = 0; i < 5000; ++i)
        listed << QString::number(1000 + i);
    QStringList expected = listed;
    listed.insert(10, "1003");
    expected << "99";

    VantorObjectsRepository repo;
    QVERIFY(repo.add(record("1", "Site"), ","));
    const auto gateway = record("2", "Site,Gateway", listed);
    QVERIFY(repo.add(gateway, ","));
    for (int i = 0; i < 5000; ++i)
        QVERIFY(repo.add(record(QString::number(1000 + i), QStringLiteral("Site,Gateway,S%1").arg(i)), ","));
    QVERIFY(repo.add(record("99", "Site,Gateway,Unlisted"), ","));
    QCOMPARE(gateway->childIds(), expected);
    QCOMPARE(repo.findById("5999")->parentId(), QString("2"));
}

QTEST_GUILESS_MAIN(TestVantorObjectsRepository)
#include "tst_vantorobjectsrepository.moc"
