// SPDX-License-Identifier: MIT
#include "keyring.h"

#include <utility>

#include <QDir>
#include <QFileInfo>
#include <qt5keychain/keychain.h>

namespace {

Keyring::Outcome outcomeOf(const QKeychain::Job& job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return Keyring::Outcome::Done;
    case QKeychain::EntryNotFound:
        return Keyring::Outcome::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return Keyring::Outcome::Unavailable;
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::OtherError:
        break;
    }
    return Keyring::Outcome::Refused;
}

// Runs `job` and answers once with its outcome; the job deletes itself when it has finished.
void run(QKeychain::Job* job, QObject* context, Keyring::Answer answer, bool readsSecret)
{
    job->setAutoDelete(true);
    // A keyring that cannot be reached must not turn into a file of QtKeychain's own.
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [answer = std::move(answer), readsSecret](QKeychain::Job* finished) {
                         const Keyring::Outcome outcome = outcomeOf(*finished);
                         QString text = finished->errorString();
                         if (outcome == Keyring::Outcome::Done && readsSecret)
                             text = static_cast<QKeychain::ReadPasswordJob*>(finished)->textData();
                         answer(outcome, text);
                     });
    job->start();
}

} // namespace

SecretServiceKeyring::SecretServiceKeyring(QString service, QString key, QObject* parent)
    : Keyring(parent), m_service(std::move(service)), m_key(std::move(key))
{
}

void SecretServiceKeyring::read(Answer answer)
{
    auto* job = new QKeychain::ReadPasswordJob(m_service, this);
    job->setKey(m_key);
    run(job, this, std::move(answer), true);
}

void SecretServiceKeyring::write(const QString& secret, Answer answer)
{
    auto* job = new QKeychain::WritePasswordJob(m_service, this);
    job->setKey(m_key);
    job->setTextData(secret);
    run(job, this, std::move(answer), false);
}

void SecretServiceKeyring::remove(Answer answer)
{
    auto* job = new QKeychain::DeletePasswordJob(m_service, this);
    job->setKey(m_key);
    run(
        job, this,
        [answer = std::move(answer)](Outcome outcome, const QString& text) {
            // Nothing to remove is as good as removed.
            answer(outcome == Outcome::NotFound ? Outcome::Done : outcome, text);
        },
        false);
}

bool SecretServiceKeyring::hasSessionBus()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS").trimmed();
    if (!address.isEmpty())
        return address != "disabled:";
    // Where the address is not in the environment, a session of systemd keeps its bus here.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(QDir(QFile::decodeName(runtime)).filePath(QStringLiteral("bus"))).exists();
}
