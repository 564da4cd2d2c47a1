// SPDX-License-Identifier: MIT
#include "app.h"

#include <QCoreApplication>
#include <QList>
#include <QtDebug>
#include <QtQml>

#include "alarmcenter.h"
#include "client_service.h"
#include "layoutlist.h"
#include "layoutmodel.h"
#include "passwordstore.h"
#include "rpcsource.h"
#include "settingsfile.h"
#include "sqliterepository.h"
#include "tilerules.h"
#include "user.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

namespace {

App* s_instance = nullptr;

} // namespace

App::App(QObject* parent) : QObject(parent)
{
    s_instance = this;
    m_repository = std::make_shared<SQLiteRepository>();
    m_vantorRepository = std::make_shared<VantorObjectsRepository>();
    m_vantorClient = std::make_shared<VantorClient>();
    m_vantorClient->setRepository(m_vantorRepository.get());
    m_layoutModel = std::make_shared<LayoutModel>();
    m_layoutModel->setRepository(m_vantorRepository.get());
    m_layoutModel->setClient(m_vantorClient.get());
    m_rpcSource = std::make_shared<RpcSource>();
    m_rpcSource->start();
    m_layoutsList = std::make_shared<LayoutList>();
    m_tileRules = std::make_shared<TileRules>(
        TileRules::maxTilesFromConfig(QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini")));
    qInfo() << "Camera tiles that play at most:" << m_tileRules->maxTiles();
    m_alarms = std::make_shared<AlarmCenter>(m_vantorClient.get(), m_vantorRepository.get(),
                                             QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini"));

    m_passwords = PasswordStore::forLoginPage(loginSettingsFilePath());
    m_passwords->start();

    // Door buttons write actuator values through the server client.
    VantorObject::setActuatorWriter(m_vantorClient.get());

    client_Service* service = m_rpcSource->source().get();
    connect(service, &client_Service::setLayoutRequested, this, [this](const QString& name, const QString& json) {
        qInfo() << "Applying layout:" << name;
        m_layoutModel->fromJson(json);
    });
    connect(service, &client_Service::jumpPageRequested, this, [this](client_ServiceSource::ClientPage page) {
        switch (page) {
        case client_ServiceSource::RECORDER:
            emit requestedJumpPage(QStringLiteral("recorder"));
            qInfo() << "Jumping to page:" << page;
            break;
        case client_ServiceSource::PLAYBACK:
            emit requestedJumpPage(QStringLiteral("playback"));
            qInfo() << "Jumping to page:" << page;
            break;
        default:
            qWarning() << "App::App(QObject*)::<lambda(client_ServiceSource::ClientPage)>";
            qWarning() << "  Unknow page:" << page;
            break;
        }
    });

    // Connected once: a second sign-in attempt then behaves as the first.
    connectSignInHandlers();

    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &App::reconnect);
    m_signInRetryTimer.setSingleShot(true);
    connect(&m_signInRetryTimer, &QTimer::timeout, this, &App::retrySignIn);
    connect(m_vantorClient.get(), &VantorClient::connectionStateChanged, this, &App::onConnectionStateChanged);
}

App::~App()
{
    s_instance = nullptr;
    if (VantorObject::actuatorWriter() == m_vantorClient.get())
        VantorObject::setActuatorWriter(nullptr);
    m_alarms.reset();
    m_layoutsList.reset();
    m_rpcSource.reset();
    m_layoutModel.reset();
    m_vantorClient.reset();
    m_vantorRepository.reset();
    m_currentUser.reset();
    m_repository.reset();
}

App* App::instance()
{
    return s_instance;
}

User* App::currentUser() const
{
    return m_currentUser.get();
}

VantorClient* App::vantorClient() const
{
    return m_vantorClient.get();
}

VantorObjectsRepository* App::vantorRepository() const
{
    return m_vantorRepository.get();
}

Repository* App::repository() const
{
    return m_repository.get();
}

LayoutModel* App::layoutModel() const
{
    return m_layoutModel.get();
}

LayoutList* App::layoutsList() const
{
    return m_layoutsList.get();
}

RpcSource* App::rpcSource() const
{
    return m_rpcSource.get();
}

void App::connectSignInHandlers()
{
    VantorClient* client = m_vantorClient.get();
    connect(client, &VantorClient::connected, this, [client] {
        qInfo() << "Connected to Vantor";
        qInfo() << "Logging in";
        client->login();
    });
    connect(client, &VantorClient::connectError, this, [this](const QString& message) {
        // The operator sees a fixed text; the reason stays in the log.
        qWarning().nospace() << "Connection failed: " << message;
        if (m_recovering) {
            scheduleReconnect();
            return;
        }
        emit loginError(QStringLiteral("Failed to connect"));
        if (hasEverySignInField())
            scheduleSignInRetry();
    });
    connect(client, &VantorClient::loggedIn, this, &App::onSignedIn);
    connect(client, &VantorClient::loggedOut, this, [this] {
        qInfo() << "Logged out";
        // Replicas learn of it too, or the companion would keep showing a signed-in client.
        m_rpcSource->source()->publishLoggedOut();
        emit loggedOut();
    });
    connect(client, &VantorClient::loginError, this, [this](const QString& message) {
        qWarning().nospace() << "Login error: " << message;
        if (m_recovering) {
            // A server that is still starting may refuse; the operator keeps the current view.
            scheduleReconnect();
            return;
        }
        // Refused: trying the same name and password again would only be refused again.
        stopSignInRetry();
        emit loginError(message);
    });
    connect(client, &VantorClient::error, this,
            [](const QString& message) { qDebug().nospace() << "Error: " << message; });
}

void App::login(const QString& username, const QString& password, const QString& host, int port)
{
    // An explicit sign-in replaces any recovery or retry in progress, and starts the delays anew.
    stopSignInRetry();
    m_signInRetryBackoff.reset();
    m_reconnectTimer.stop();
    m_recovering = false;
    m_reconnectAttempt = false;
    m_reconnectBackoff.reset();
    emit reconnectingChanged();
    m_vantorClient->setHost(host);
    m_vantorClient->setPort(port);
    m_vantorClient->setUsername(username);
    m_vantorClient->setPassword(password);
    m_vantorClient->connectToVantor();
}

void App::onSignedIn(qlonglong id)
{
    if (m_recovering)
        qInfo() << "Signed in again after the connection was lost";
    // A sign-in that came another way leaves no attempt behind that would outlast it.
    stopSignInRetry();
    m_signInRetryBackoff.reset();
    m_reconnectTimer.stop();
    m_recovering = false;
    m_reconnectAttempt = false;
    m_reconnectBackoff.reset();
    emit reconnectingChanged();
    setSignedIn(true);
    m_rpcSource->source()->setLoggedIn(true);
    qInfo().nospace() << "Logged in, id: " << id;
    qInfo() << "Fetching objects ...";
    emit loggedIn();

    VantorClient* client = m_vantorClient.get();
    client->getObjects(
        [this, client](const VantorClient::ObjectList& objects, pelmar::vantor::ObjectId rootId) {
            qInfo() << "Fetching layouts ...";
            client->updateRepository(objects, rootId);
            fetchLayoutsList();
        },
        [](const pelmar::vantor::HandlerError& error) {
            qDebug() << "Fetching objects failed:" << QString::fromStdString(error.toString());
        });
}

void App::fetchLayoutsList()
{
    m_vantorClient->getDynamicAttribute(
        VantorClient::AttrLayout, std::string(), [this](const pelmar::vantor::NameValueMap& attributes) {
            const pelmar::vantor::NameValueMap copy = attributes;
            QMetaObject::invokeMethod(
                this,
                [this, copy] {
                    QList<client_Layout> layouts;
                    for (const std::string& name : copy.names()) {
                        client_Layout layout;
                        layout.setName(QString::fromStdString(name));
                        layout.setJson(VantorClient::vantorValToVariant(copy.value(name)).toString());
                        layouts.append(layout);
                    }
                    m_rpcSource->source()->setLayouts(layouts);
                    m_layoutsList->clear();
                    for (const client_Layout& layout : qAsConst(layouts))
                        m_layoutsList->append(layout.name(), layout.json());
                },
                Qt::AutoConnection);
        });
}

void App::setSignedIn(bool signedIn)
{
    if (m_signedIn == signedIn)
        return;
    m_signedIn = signedIn;
    emit signedInChanged();
}

void App::onConnectionStateChanged(int state, int previous)
{
    Q_UNUSED(previous)
    if (state != VantorClient::Closed)
        return;
    if (m_signedIn) {
        qWarning() << "Connection to the server lost";
        setSignedIn(false);
        // The companion shows the client as signed out until it is back.
        m_rpcSource->source()->publishLoggedOut();
        m_recovering = true;
        scheduleReconnect();
    } else if (m_recovering && m_reconnectAttempt) {
        // The new connection opened but closed again before the sign-in finished.
        scheduleReconnect();
    }
}

void App::scheduleReconnect()
{
    if (m_reconnectTimer.isActive())
        return;
    const int delay = m_reconnectBackoff.takeDelayMs();
    m_reconnectAttempt = false;
    qInfo() << "Reconnecting to" << m_vantorClient->host() << m_vantorClient->port() << "in" << delay << "ms";
    m_reconnectTimer.start(delay);
    emit reconnectingChanged();
    emit connectionLost(delay);
}

bool App::hasEverySignInField() const
{
    return !m_vantorClient->host().isEmpty() && m_vantorClient->port() > 0 && !m_vantorClient->username().isEmpty() &&
           !m_vantorClient->password().isEmpty();
}

void App::scheduleSignInRetry()
{
    const int delay = m_signInRetryBackoff.takeDelayMs();
    qInfo() << "Signing in to" << m_vantorClient->host() << m_vantorClient->port() << "again in" << delay << "ms";
    m_signInRetryTimer.start(delay);
    emit signInRetryingChanged();
    emit signInRetryScheduled(delay);
}

void App::stopSignInRetry()
{
    if (!m_signInRetryTimer.isActive())
        return;
    m_signInRetryTimer.stop();
    emit signInRetryingChanged();
}

void App::retrySignIn()
{
    emit signInRetryingChanged();
    qInfo() << "Trying to sign in again";
    // The fields of the last sign-in; the operator may start another at any time.
    m_vantorClient->connectToVantor();
}

void App::reconnect()
{
    if (!m_recovering)
        return;
    m_reconnectAttempt = true;
    qInfo() << "Reconnecting to the server";
    // Same host, port and credentials as the last sign-in.
    m_vantorClient->connectToVantor();
}
