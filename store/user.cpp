// SPDX-License-Identifier: MIT
#include "user.h"

#include <QCoreApplication>
#include <QQmlEngine>

User::User(QObject* parent) : QObject(parent) {}

void User::setUsername(const QString& username)
{
    if (m_username == username)
        return;
    m_username = username;
    emit usernameChanged();
}

void User::setPassword(const QString& password)
{
    if (m_password == password)
        return;
    m_password = password;
    emit passwordChanged();
}

void User::setRole(UserRole role)
{
    if (m_role == role)
        return;
    m_role = role;
    emit roleChanged();
}
