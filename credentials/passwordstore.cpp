// SPDX-License-Identifier: MIT
#include "passwordstore.h"

#include <utility>

#include <QCoreApplication>
#include <QSettings>

#include "credentialslog.h"

namespace {

const QString kPasswordKey = QStringLiteral("pass");

// The keyring item: one per station user of this computer, as the file held one.
QString keyringService()
{
    return QStringLiteral("%1/%2").arg(QCoreApplication::organizationDomain(), QCoreApplication::applicationName());
}

} // namespace

PasswordStore::PasswordStore(std::unique_ptr<Keyring> keyring, QString settingsPath, QString noKeyringReason,
                             QObject* parent)
    : QObject(parent),
      m_keyring(std::move(keyring)),
      m_settingsPath(std::move(settingsPath)),
      m_noKeyringReason(std::move(noKeyringReason))
{
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(kDefaultAnswerTimeoutMs);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] {
        useFile(QStringLiteral("the keyring did not answer in %1 s").arg(m_answerTimer.interval() / 1000.0));
    });
}

PasswordStore::~PasswordStore() = default;

std::unique_ptr<PasswordStore> PasswordStore::forLoginPage(const QString& settingsPath, QObject* parent)
{
    if (!SecretServiceKeyring::hasSessionBus())
        return std::make_unique<PasswordStore>(nullptr, settingsPath, QStringLiteral("there is no D-Bus session"),
                                               parent);
    return std::make_unique<PasswordStore>(std::make_unique<SecretServiceKeyring>(keyringService(), kPasswordKey),
                                           settingsPath, QString(), parent);
}

void PasswordStore::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_keyring) {
        useFile(m_noKeyringReason.isEmpty() ? QStringLiteral("no keyring is set up") : m_noKeyringReason);
        return;
    }
    m_answerTimer.start();
    m_keyring->read([this](Keyring::Outcome outcome, const QString& text) { onFirstAnswer(outcome, text); });
}

void PasswordStore::onFirstAnswer(Keyring::Outcome outcome, const QString& text)
{
    if (m_place != Place::Undecided)
        return; // too late: the file was chosen when the keyring kept silent
    m_answerTimer.stop();
    switch (outcome) {
    case Keyring::Outcome::Unavailable:
        useFile(QStringLiteral("no keyring answers (%1)").arg(text));
        return;
    case Keyring::Outcome::Refused:
        useFile(QStringLiteral("the keyring refused to give the password (%1)").arg(text));
        return;
    case Keyring::Outcome::Done:
        m_password = text;
        break;
    case Keyring::Outcome::NotFound:
        break;
    }
    qCInfo(lcCredentials) << "The password is kept in the desktop's keyring";
    bool inFile = false;
    const QString fromFile = filePassword(&inFile);
    // One in the file was written after the keyring's copy (a start when no keyring answered): the newer.
    if (inFile && !fromFile.isEmpty())
        m_password = fromFile;
    setPlace(Place::Keyring);
    if (inFile && fromFile.isEmpty())
        removeFromFile(); // an empty field's key: nothing to move
    else if (inFile)
        moveFromFile(fromFile);
}

void PasswordStore::moveFromFile(const QString& fromFile)
{
    const quint64 generation = ++m_writeGeneration;
    m_keyring->write(fromFile, [this, generation, fromFile](Keyring::Outcome outcome, const QString& text) {
        if (generation != m_writeGeneration)
            return; // the operator has stored another password since
        if (outcome == Keyring::Outcome::Done) {
            removeFromFile();
            qCInfo(lcCredentials).noquote()
                << "Moved the password from the settings file" << m_settingsPath << "into the keyring";
            emit keyringWriteFinished(true);
            return;
        }
        qCWarning(lcCredentials).noquote() << "Could not move the password into the keyring (" + text
                                           << "); it stays in the owner-only settings file" << m_settingsPath;
        setPlace(Place::File);
        emit keyringWriteFinished(false);
    });
}

void PasswordStore::useFile(const QString& reason)
{
    m_answerTimer.stop();
    qCWarning(lcCredentials).noquote() << "The password is kept in the owner-only settings file" << m_settingsPath
                                       << "because" << reason;
    setPlace(Place::File);
}

void PasswordStore::setPlace(Place place)
{
    if (m_place == place)
        return;
    const bool wasReady = isReady();
    m_place = place;
    emit placeChanged();
    if (!wasReady)
        emit readyChanged();
}

QString PasswordStore::placeName() const
{
    switch (m_place) {
    case Place::Keyring:
        return QStringLiteral("keyring");
    case Place::File:
        return QStringLiteral("file");
    case Place::Undecided:
        break;
    }
    return QString();
}

QString PasswordStore::password() const
{
    switch (m_place) {
    case Place::Keyring:
        return m_password;
    case Place::File:
        // Read each time: the settings file is the one copy, and others may write it.
        return filePassword();
    case Place::Undecided:
        break;
    }
    return QString();
}

void PasswordStore::store(const QString& password)
{
    switch (m_place) {
    case Place::Undecided:
        // The login page waits for ready; a password given before is kept where it cannot be lost.
        qCWarning(lcCredentials) << "The keyring has not answered yet; the password goes to the settings file";
        writeFile(password);
        return;
    case Place::File:
        writeFile(password);
        return;
    case Place::Keyring:
        break;
    }
    if (password == m_password)
        return;
    m_password = password;
    const quint64 generation = ++m_writeGeneration;
    auto answer = [this, generation, password](Keyring::Outcome outcome, const QString& text) {
        if (generation != m_writeGeneration)
            return;
        if (outcome == Keyring::Outcome::Done) {
            emit keyringWriteFinished(true);
            return;
        }
        qCWarning(lcCredentials).noquote() << "The keyring refused the password (" + text
                                           << "); it is kept in the owner-only settings file" << m_settingsPath;
        setPlace(Place::File);
        writeFile(password);
        emit keyringWriteFinished(false);
    };
    if (password.isEmpty())
        m_keyring->remove(std::move(answer));
    else
        m_keyring->write(password, std::move(answer));
}

QString PasswordStore::filePassword(bool* present) const
{
    const QSettings settings(m_settingsPath, QSettings::IniFormat);
    if (present)
        *present = settings.contains(kPasswordKey);
    return settings.value(kPasswordKey).toString();
}

void PasswordStore::writeFile(const QString& password)
{
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    settings.setValue(kPasswordKey, password);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcCredentials).noquote() << "Could not write the password to the settings file" << m_settingsPath;
}

void PasswordStore::removeFromFile()
{
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    settings.remove(kPasswordKey);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcCredentials).noquote() << "Could not remove the password from the settings file" << m_settingsPath;
}
