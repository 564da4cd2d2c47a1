// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

// A user of the local store. The role is never stored, so a user starts with the least privilege.
class User : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString username READ username WRITE setUsername NOTIFY usernameChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(UserRole role READ role WRITE setRole NOTIFY roleChanged)

public:
    enum UserRole {
        Administrator = 0,
        Operator = 1,
    };
    Q_ENUM(UserRole)

    explicit User(QObject* parent = nullptr);

    QString username() const { return m_username; }
    void setUsername(const QString& username);
    QString password() const { return m_password; }
    void setPassword(const QString& password);
    UserRole role() const { return m_role; }
    void setRole(UserRole role);

signals:
    void usernameChanged();
    void passwordChanged();
    void roleChanged();

private:
    QString m_username;
    QString m_password;
    UserRole m_role = Operator;
};
