// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QObject>
#include <QString>

// One secret in the desktop's keyring. Every call answers once, later, on the thread that made
// the object; the answer says what became of the request.
class Keyring : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Done,        // read: the secret is in `text`; write and remove: done
        NotFound,    // read: the keyring answers and holds no such secret
        Unavailable, // no keyring answers (no D-Bus session, no Secret Service); `text` says why
        Refused,     // the keyring answered with an error (locked, denied, failed); `text` says why
    };
    using Answer = std::function<void(Outcome outcome, const QString& text)>;

    using QObject::QObject;

    virtual void read(Answer answer) = 0;
    virtual void write(const QString& secret, Answer answer) = 0;
    virtual void remove(Answer answer) = 0;
};

// The keyring of the Secret Service on the user's D-Bus session, through QtKeychain. The secret is
// the item of `service` and `key` (attributes "server" and "user" of the keyring item).
class SecretServiceKeyring : public Keyring
{
    Q_OBJECT

public:
    SecretServiceKeyring(QString service, QString key, QObject* parent = nullptr);

    void read(Answer answer) override;
    void write(const QString& secret, Answer answer) override;
    void remove(Answer answer) override;

    // Whether the user has a D-Bus session to ask. Without one the keyring is not asked: the
    // D-Bus library would start a bus of its own for the X display, which nobody else uses.
    static bool hasSessionBus();

private:
    QString m_service;
    QString m_key;
};
