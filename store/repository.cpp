// SPDX-License-Identifier: MIT
#include "repository.h"

#include <QCoreApplication>
#include <QQmlEngine>

#include "user.h"

Repository::Repository(QObject* parent) : QObject(parent) {}

QList<User*> Repository::allUsers()
{
    return {};
}

User* Repository::userByUsername(QString)
{
    return nullptr;
}

QAbstractListModel* Repository::cameraList()
{
    return nullptr;
}

bool Repository::insertCamera(QString, QString)
{
    return false;
}

void Repository::removeCamera(int) {}
