// SPDX-License-Identifier: MIT
#include <memory>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "camera.h"
#include "cameralist.h"
#include "logcapture.h"
#include "sqliterepository.h"
#include "storetypes.h"
#include "user.h"

namespace {

const QString otherConnection = QStringLiteral("another program");

Camera* cameraAt(QAbstractItemModel* model, int row)
{
    return qobject_cast<Camera*>(model->index(row, 0).data(CameraList::CameraRole).value<QObject*>());
}

QStringList names(QAbstractItemModel* model)
{
    QStringList result;
    for (int row = 0; row < model->rowCount(); ++row)
        result.append(cameraAt(model, row)->name());
    return result;
}

} // namespace

// Every case runs in a fresh, empty working directory, where the store puts its file.
class tst_SQLiteRepository : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerStoreTypes(); }

    void init();
    void cleanup();

    void createsTablesInEmptyDirectory();
    void keepsDataAcrossOpens();
    void storesTextsUnchanged_data();
    void storesTextsUnchanged();
    void removal();
    void refreshFollowsOtherWriters();
    void usersFromStorage();
    void failingStatementsReported();
    void closedWhenFileCannotOpen();
    void qmlTypes();

private:
    // A second connection to the same file, standing in for another program.
    QSqlQuery other(const QString& sql);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

void tst_SQLiteRepository::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void tst_SQLiteRepository::cleanup()
{
    if (QSqlDatabase::contains(otherConnection)) {
        QSqlDatabase::database(otherConnection, false).close();
        QSqlDatabase::removeDatabase(otherConnection);
    }
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

QSqlQuery tst_SQLiteRepository::other(const QString& sql)
{
    if (!QSqlDatabase::contains(otherConnection)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), otherConnection);
        db.setDatabaseName(m_dir->filePath(QStringLiteral("data.sqlite")));
        db.open();
    }
    QSqlQuery query(QSqlDatabase::database(otherConnection));
    if (!query.exec(sql))
        qWarning() << "setup statement failed:" << sql << query.lastError().text();
    return query;
}

void tst_SQLiteRepository::createsTablesInEmptyDirectory()
{
    LogCapture log;
    SQLiteRepository repository;
    QVERIFY(repository.isOpen());
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("data.sqlite"))));
    QCOMPARE(log.lines(QtWarningMsg), QStringList());

    // SQLite keeps each statement as given, without its IF NOT EXISTS.
    QSqlQuery query = other(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type='table' ORDER BY name"));
    QStringList tables;
    while (query.next())
        tables << query.value(0).toString() + QLatin1Char('|') + query.value(1).toString();
    QCOMPARE(tables, QStringList({
                         QStringLiteral("cameras|CREATE TABLE `cameras`(    `id` INTEGER,    `name` VARCHAR,    "
                                        "`url` VARCHAR,    PRIMARY KEY (id))"),
                         QStringLiteral("users|CREATE TABLE `users`(    `id` INTEGER,    `username` VARCHAR,    "
                                        "`password` VARCHAR,    PRIMARY KEY (id))"),
                     }));
    QCOMPARE(repository.cameraList()->rowCount(), 0);
}

void tst_SQLiteRepository::keepsDataAcrossOpens()
{
    {
        SQLiteRepository first;
        QVERIFY(first.insertCamera(QStringLiteral("Gate"), QStringLiteral("rtsp://10.0.0.5/1")));
        QVERIFY(first.insertCamera(QStringLiteral("Hall"), QStringLiteral("rtsp://10.0.0.6/1")));
    }
    LogCapture log;
    SQLiteRepository second;
    QAbstractItemModel* list = second.cameraList();
    QVERIFY(list);
    QAbstractItemModelTester tester(list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(names(list), QStringList({QStringLiteral("Gate"), QStringLiteral("Hall")}));
    QCOMPARE(cameraAt(list, 1)->url(), QStringLiteral("rtsp://10.0.0.6/1"));
    QCOMPARE(log.lines(QtWarningMsg), QStringList());
}

void tst_SQLiteRepository::storesTextsUnchanged_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");

    QTest::newRow("quotes") << QStringLiteral("O'Brien \"front\"") << QStringLiteral("rtsp://h/a?x='1'");
    QTest::newRow("backticks") << QStringLiteral("`cameras`") << QStringLiteral("`url`");
    QTest::newRow("statement") << QStringLiteral("x'); DROP TABLE `cameras`; --") << QStringLiteral(":url");
    QTest::newRow("non-ASCII") << QStringLiteral("Câmera «Pátio» 門") << QString();
}

void tst_SQLiteRepository::storesTextsUnchanged()
{
    QFETCH(QString, name);
    QFETCH(QString, url);

    SQLiteRepository repository;
    QVERIFY(repository.insertCamera(name, url));

    QSqlQuery query = other(QStringLiteral("SELECT name, url FROM cameras"));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), name);
    QCOMPARE(query.value(1).toString(), url);
    QVERIFY(!query.next());

    QAbstractItemModel* list = repository.cameraList();
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(cameraAt(list, 0)->name(), name);
    QCOMPARE(cameraAt(list, 0)->url(), url);
}

void tst_SQLiteRepository::removal()
{
    SQLiteRepository repository;
    QVERIFY(repository.insertCamera(QStringLiteral("A"), QStringLiteral("a")));
    QVERIFY(repository.insertCamera(QStringLiteral("B"), QStringLiteral("b")));
    QAbstractItemModel* list = repository.cameraList();
    QAbstractItemModelTester tester(list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(list, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(list, &QAbstractItemModel::rowsRemoved);
    Camera* b = cameraAt(list, 1);

    LogCapture log;
    repository.removeCamera(987654);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(names(list), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(log.lines(QtWarningMsg), QStringList());

    repository.removeCamera(cameraAt(list, 0)->id());
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(names(list), QStringList({QStringLiteral("B")}));
    QCOMPARE(cameraAt(list, 0), b);
    QSqlQuery count = other(QStringLiteral("SELECT COUNT(*) FROM cameras"));
    QVERIFY(count.next());
    QCOMPARE(count.value(0).toInt(), 1);
}

void tst_SQLiteRepository::refreshFollowsOtherWriters()
{
    SQLiteRepository repository;
    QVERIFY(repository.insertCamera(QStringLiteral("A"), QStringLiteral("a")));
    QVERIFY(repository.insertCamera(QStringLiteral("B"), QStringLiteral("b")));
    QAbstractItemModel* list = repository.cameraList();
    QAbstractItemModelTester tester(list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const int idA = cameraAt(list, 0)->id();
    Camera* b = cameraAt(list, 1);
    repository.removeCamera(idA);

    QSignalSpy inserted(list, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(list, &QAbstractItemModel::rowsRemoved);
    QSignalSpy renamed(b, &Camera::nameChanged);
    QSignalSpy moved(b, &Camera::urlChanged);

    // The other program reuses the lower id and renames B; the table now lists C before B.
    other(QStringLiteral("INSERT INTO cameras(id, name, url) VALUES (%1, 'C', 'c')").arg(idA));
    other(QStringLiteral("UPDATE cameras SET name = 'B2' WHERE id = %1").arg(b->id()));

    QCOMPARE(repository.cameraList(), list);
    QCOMPARE(names(list), QStringList({QStringLiteral("B2"), QStringLiteral("C")}));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(cameraAt(list, 0), b);
    QCOMPARE(renamed.count(), 1);
    QCOMPARE(moved.count(), 0);

    // A row deleted elsewhere goes at the next read.
    other(QStringLiteral("DELETE FROM cameras WHERE name = 'B2'"));
    QVERIFY(repository.property("cameraList").value<QAbstractListModel*>() == list);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(names(list), QStringList({QStringLiteral("C")}));
}

void tst_SQLiteRepository::usersFromStorage()
{
    SQLiteRepository repository;
    other(QStringLiteral("INSERT INTO users(username, password) VALUES ('alice', 'one'), ('bob', 'two'), "
                         "('alice', 'three')"));

    const QList<User*> users = repository.allUsers();
    QCOMPARE(users.size(), 3);
    QStringList read;
    for (User* user : users) {
        read << user->username() + QLatin1Char(':') + user->password();
        QCOMPARE(user->role(), User::Operator);
        QVERIFY(!user->parent());
    }
    qDeleteAll(users);
    QCOMPARE(read, QStringList({"alice:one", "bob:two", "alice:three"}));

    std::unique_ptr<User> alice(repository.userByUsername(QStringLiteral("alice")));
    QVERIFY(alice);
    QCOMPARE(alice->password(), QStringLiteral("one"));
    QCOMPARE(alice->role(), User::Operator);

    QVERIFY(!repository.userByUsername(QStringLiteral("carol")));
    // The name is a value, not SQL.
    QVERIFY(!repository.userByUsername(QStringLiteral("x' OR '1'='1")));
}

void tst_SQLiteRepository::failingStatementsReported()
{
    SQLiteRepository repository;
    QVERIFY(repository.insertCamera(QStringLiteral("A"), QStringLiteral("a")));
    QAbstractListModel* list = qobject_cast<QAbstractListModel*>(repository.cameraList());
    other(QStringLiteral("DROP TABLE cameras"));

    LogCapture log;
    QVERIFY(!repository.insertCamera(QStringLiteral("B"), QStringLiteral("b")));
    QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 3);
    QCOMPARE(warnings.at(0), QStringLiteral("virtual bool SQLiteRepository::insertCamera(QString, QString)"));
    QCOMPARE(warnings.at(1), QStringLiteral("\"INSERT INTO `cameras`(`name`, `url`) VALUES (:name, :url)\""));
    QVERIFY2(warnings.at(2).startsWith('"') && warnings.at(2).contains(QStringLiteral("no such table")),
             qPrintable(warnings.at(2)));

    log.clear();
    QVERIFY(!repository.cameraList());
    warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 3);
    QCOMPARE(warnings.at(0), QStringLiteral("virtual QAbstractListModel* SQLiteRepository::cameraList()"));
    QCOMPARE(warnings.at(1), QStringLiteral("\"SELECT * FROM `cameras`\""));
    // The list keeps what it had.
    QCOMPARE(names(list), QStringList({QStringLiteral("A")}));
}

void tst_SQLiteRepository::closedWhenFileCannotOpen()
{
    QVERIFY(QDir().mkdir(QStringLiteral("data.sqlite")));
    LogCapture log;
    SQLiteRepository repository;
    QVERIFY(!repository.isOpen());
    const QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 3);
    QCOMPARE(warnings.at(0), QStringLiteral("SQLiteRepository::SQLiteRepository(QObject*)"));
    QCOMPARE(warnings.at(1), QStringLiteral("\"ERROR: \""));

    log.clear();
    QVERIFY(!repository.insertCamera(QStringLiteral("A"), QStringLiteral("a")));
    QVERIFY(!repository.cameraList());
    QVERIFY(repository.allUsers().isEmpty());
    QVERIFY(!repository.userByUsername(QStringLiteral("alice")));
    repository.removeCamera(1);
    QCOMPARE(log.lines(QtWarningMsg), QStringList());
}

void tst_SQLiteRepository::qmlTypes()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.0\n"
                      "import Native 1.0\n"
                      "QtObject {\n"
                      "    property Repository repository: Repository {}\n"
                      "    property User user: User { username: 'op' }\n"
                      "    property Camera camera: Camera { name: 'Gate' }\n"
                      "    property bool leastPrivilege: user.role === User.Operator\n"
                      "    property bool noList: repository.cameraList === null\n"
                      "    property bool noInsert: !repository.insertCamera('a', 'b')\n"
                      "}\n",
                      QUrl());
    std::unique_ptr<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QVERIFY(root->property("leastPrivilege").toBool());
    QVERIFY(root->property("noList").toBool());
    QVERIFY(root->property("noInsert").toBool());
    QCOMPARE(root->property("camera").value<Camera*>()->name(), QStringLiteral("Gate"));

    QQmlComponent unregistered(&engine);
    unregistered.setData("import Native 1.0\nSQLiteRepository {}\n", QUrl());
    QVERIFY(unregistered.isError());
}

QTEST_GUILESS_MAIN(tst_SQLiteRepository)
#include "tst_sqliterepository.moc"
