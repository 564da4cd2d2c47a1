// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QTimer>

#include "keyring.h"

// Keeps the login page's password. Where the desktop's keyring answers, the password lives there
// and a password still found in the settings file (key "pass", as older versions kept it) moves
// into the keyring and leaves the file. Where none answers (no D-Bus session or Secret Service: a
// kiosk, a wall computer, a headless station), it stays in the owner-only settings file, and the
// log says once why. Nothing is dropped on the way: the file's copy goes only once the keyring
// holds it, and a password the keyring refuses is kept in the file.
class PasswordStore : public QObject
{
    Q_OBJECT
    // False until the keyring has answered, or it is known that there is none.
    Q_PROPERTY(bool ready READ isReady NOTIFY readyChanged)
    // "keyring" or "file" once ready.
    Q_PROPERTY(QString place READ placeName NOTIFY placeChanged)

public:
    enum class Place { Undecided, Keyring, File };

    // `keyring` may be null: the password then stays in the file and `noKeyringReason` says why.
    // `settingsPath` is the login page's settings file.
    PasswordStore(std::unique_ptr<Keyring> keyring, QString settingsPath, QString noKeyringReason = {},
                  QObject* parent = nullptr);
    ~PasswordStore() override;

    // The store of the login page: the Secret Service of the user's D-Bus session, when there is one.
    static std::unique_ptr<PasswordStore> forLoginPage(const QString& settingsPath, QObject* parent = nullptr);

    // Asks the keyring for the password and moves one found in the file. Ready at once without a
    // keyring; otherwise when it answers, or after `answerTimeoutMs` without an answer.
    void start();

    bool isReady() const { return m_place != Place::Undecided; }
    Place place() const { return m_place; }
    QString placeName() const;

    // The stored password; empty before ready.
    Q_INVOKABLE QString password() const;
    // Keeps `password` for the next start (an empty one removes it).
    Q_INVOKABLE void store(const QString& password);

    void setAnswerTimeoutMs(int ms) { m_answerTimer.setInterval(ms); }
    static constexpr int kDefaultAnswerTimeoutMs = 10000;

signals:
    void readyChanged();
    void placeChanged();
    // A write or removal in the keyring has ended: `kept` is false when the password went to the
    // file instead.
    void keyringWriteFinished(bool kept);

private:
    void onFirstAnswer(Keyring::Outcome outcome, const QString& text);
    void moveFromFile(const QString& filePassword);
    void useFile(const QString& reason);
    void setPlace(Place place);
    QString filePassword(bool* present = nullptr) const;
    void writeFile(const QString& password);
    void removeFromFile();

    std::unique_ptr<Keyring> m_keyring;
    QString m_settingsPath;
    QString m_noKeyringReason;
    Place m_place = Place::Undecided;
    bool m_started = false;
    // The password the keyring holds, or is being given.
    QString m_password;
    // Each write counts up, so that the answer to an older one does not undo a newer one.
    quint64 m_writeGeneration = 0;
    QTimer m_answerTimer;
};
