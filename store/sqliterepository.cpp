// SPDX-License-Identifier: MIT
#include "sqliterepository.h"

#include <QHash>
#include <QQmlEngine>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVector>
#include <QtDebug>

#include "cameralist.h"
#include "user.h"

namespace {

const char* const driverName = "QSQLITE";

const char* const createUsersSql = "CREATE TABLE IF NOT EXISTS `users`(    `id` INTEGER,    `username` VARCHAR,    "
                                   "`password` VARCHAR,    PRIMARY KEY (id))";
const char* const createCamerasSql = "CREATE TABLE IF NOT EXISTS `cameras`(    `id` INTEGER,    `name` VARCHAR,    "
                                     "`url` VARCHAR,    PRIMARY KEY (id))";
const char* const userByUsernameSql = "SELECT * FROM `users` WHERE `username`=:username";
const char* const allUsersSql = "SELECT * FROM `users`";
const char* const insertCameraSql = "INSERT INTO `cameras`(`name`, `url`) VALUES (:name, :url)";
const char* const removeCameraSql = "DELETE FROM `cameras` WHERE `id`=:id";
const char* const camerasSql = "SELECT * FROM `cameras`";

// The repository that added the default connection removes it again; a later one takes it over.
const SQLiteRepository* s_connectionOwner = nullptr;

void reportFailure(const char* signature, const QString& sql, const QString& error)
{
    qWarning().noquote() << signature;
    qWarning() << sql;
    qWarning() << error;
}

// Prepares and runs one statement, reporting a failure under the operation's signature.
bool run(QSqlQuery& query, const char* signature, const char* sql, const QVariantHash& values = {})
{
    const QString text = QString::fromLatin1(sql);
    bool ok = query.prepare(text);
    if (ok) {
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            query.bindValue(it.key(), it.value());
        ok = query.exec();
    }
    if (!ok)
        reportFailure(signature, text, query.lastError().text());
    return ok;
}

User* userFromRow(const QSqlQuery& query)
{
    // The role is never stored; a user read here keeps the least privilege it was made with.
    auto* user = new User;
    user->setUsername(query.value(QStringLiteral("username")).toString());
    user->setPassword(query.value(QStringLiteral("password")).toString());
    return user;
}

} // namespace

SQLiteRepository::SQLiteRepository(QObject* parent) : Repository(parent)
{
    if (!QSqlDatabase::isDriverAvailable(QLatin1String(driverName))) {
        qWarning().nospace() << "Driver " << QString::fromLatin1(driverName) << " not found";
        return;
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(driverName));
    s_connectionOwner = this;
    db.setDatabaseName(QStringLiteral("data.sqlite"));
    if (!db.open()) {
        reportFailure("SQLiteRepository::SQLiteRepository(QObject*)", QStringLiteral("ERROR: "), db.lastError().text());
        return;
    }

    m_open = true;
    createTables();
    m_cameraList = std::make_shared<CameraList>();
    QQmlEngine::setObjectOwnership(m_cameraList.get(), QQmlEngine::CppOwnership);
}

SQLiteRepository::~SQLiteRepository()
{
    m_cameraList.reset();
    if (s_connectionOwner != this)
        return;
    s_connectionOwner = nullptr;
    {
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

void SQLiteRepository::createTables()
{
    if (!m_open)
        return;
    for (const char* sql : {createUsersSql, createCamerasSql}) {
        QSqlQuery query;
        run(query, "void SQLiteRepository::createTables()", sql);
    }
}

QList<User*> SQLiteRepository::allUsers()
{
    QList<User*> users;
    if (!m_open)
        return users;
    QSqlQuery query;
    query.setForwardOnly(true);
    if (!run(query, "virtual QList<User*> SQLiteRepository::allUsers()", allUsersSql))
        return users;
    while (query.next())
        users.append(userFromRow(query));
    return users;
}

User* SQLiteRepository::userByUsername(QString username)
{
    if (!m_open)
        return nullptr;
    QSqlQuery query;
    query.setForwardOnly(true);
    if (!run(query, "virtual User* SQLiteRepository::userByUsername(QString)", userByUsernameSql,
             {{QStringLiteral(":username"), username}}))
        return nullptr;
    return query.next() ? userFromRow(query) : nullptr;
}

QAbstractListModel* SQLiteRepository::cameraList()
{
    if (!m_open || !m_cameraList)
        return nullptr;
    const char* const signature = "virtual QAbstractListModel* SQLiteRepository::cameraList()";
    QSqlQuery query;
    query.setForwardOnly(true);
    if (!run(query, signature, camerasSql))
        return nullptr;

    QVector<int> readIds;
    QHash<int, std::shared_ptr<Camera>> records;
    while (query.next()) {
        bool ok = false;
        const int id = query.value(QStringLiteral("id")).toString().toInt(&ok);
        if (!ok) {
            // Ids past the range of int cannot be told apart here; such a row is left out.
            qWarning().noquote() << signature;
            qWarning() << "  Skipped camera with id" << query.value(QStringLiteral("id")).toString();
            continue;
        }
        auto record = std::make_shared<Camera>();
        record->setId(id);
        record->setName(query.value(QStringLiteral("name")).toString());
        record->setUrl(query.value(QStringLiteral("url")).toString());
        readIds.append(id);
        records.insert(id, record);
    }

    for (int id : qAsConst(readIds)) {
        if (m_cameraList->contains(id))
            m_cameraList->update(id, *records.value(id));
        else
            m_cameraList->append(id, records.value(id));
    }
    const QVector<int> listed = m_cameraList->ids();
    for (int id : listed) {
        if (!records.contains(id))
            m_cameraList->remove(id);
    }
    return m_cameraList.get();
}

bool SQLiteRepository::insertCamera(QString name, QString url)
{
    if (!m_open)
        return false;
    QSqlQuery query;
    if (!run(query, "virtual bool SQLiteRepository::insertCamera(QString, QString)", insertCameraSql,
             {{QStringLiteral(":name"), name}, {QStringLiteral(":url"), url}}))
        return false;
    cameraList();
    return true;
}

void SQLiteRepository::removeCamera(int id)
{
    if (!m_open)
        return;
    QSqlQuery query;
    if (!run(query, "virtual void SQLiteRepository::removeCamera(int)", removeCameraSql, {{QStringLiteral(":id"), id}}))
        return;
    cameraList();
}
