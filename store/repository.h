// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QObject>
#include <QString>

class User;

// The operations of the local store. This base stores nothing; every operation gives its empty
// result, so QML can create one without a database.
class Repository : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QAbstractListModel* cameraList READ cameraList NOTIFY cameraListChanged)

public:
    explicit Repository(QObject* parent = nullptr);

    // New users owned by the caller.
    virtual QList<User*> allUsers();
    // A new user owned by the caller, or null.
    virtual User* userByUsername(QString username);
    // Owned by the repository; null when there is none.
    virtual QAbstractListModel* cameraList();
    Q_INVOKABLE virtual bool insertCamera(QString name, QString url);
    Q_INVOKABLE virtual void removeCamera(int id);

signals:
    void cameraListChanged();
};
