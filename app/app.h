// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QTimer>

#include "backoff.h"

class AlarmCenter;
class LayoutList;
class LayoutModel;
class PasswordStore;
class TileRules;
class Repository;
class RpcSource;
class SQLiteRepository;
class User;
class VantorClient;
class VantorObjectsRepository;

// The controller of the client: owns the long-lived native objects, drives the sign-in that
// the login page starts, publishes the stored layouts to the remote-control interface and
// carries out what the companion asks for (apply a layout, show a page).
class App : public QObject
{
    Q_OBJECT
    Q_PROPERTY(User* currentUser READ currentUser NOTIFY currentUserChanged)
    Q_PROPERTY(VantorClient* vantorClient READ vantorClient NOTIFY vantorClientChanged)
    Q_PROPERTY(VantorObjectsRepository* vantorRepository READ vantorRepository NOTIFY vantorRepositoryChanged)
    Q_PROPERTY(Repository* repository READ repository NOTIFY repositoryChanged)
    Q_PROPERTY(LayoutModel* layoutModel READ layoutModel NOTIFY layoutModelChanged)
    Q_PROPERTY(LayoutList* layoutsList READ layoutsList NOTIFY layoutsListChanged)
    // What camera cells may play: the cap from config.ini ("Video/maxTiles") and the smallest tile.
    Q_PROPERTY(TileRules* tileRules READ tileRules CONSTANT)
    // The station's events and alarms, with their journal.
    Q_PROPERTY(AlarmCenter* alarms READ alarms CONSTANT)
    // Where the login page keeps its password: the desktop's keyring, or the settings file.
    Q_PROPERTY(PasswordStore* passwords READ passwords CONSTANT)
    // False while the server connection is down after a sign-in; the client then reconnects by itself.
    Q_PROPERTY(bool signedIn READ signedIn NOTIFY signedInChanged)
    Q_PROPERTY(bool reconnecting READ reconnecting NOTIFY reconnectingChanged)
    // A sign-in that found no server waits to try again (see signInRetryScheduled).
    Q_PROPERTY(bool signInRetrying READ signInRetrying NOTIFY signInRetryingChanged)

public:
    explicit App(QObject* parent = nullptr);
    ~App() override;

    // The one controller, or null before the QML engine creates it and after it is gone.
    static App* instance();

    User* currentUser() const;
    VantorClient* vantorClient() const;
    VantorObjectsRepository* vantorRepository() const;
    Repository* repository() const;
    LayoutModel* layoutModel() const;
    LayoutList* layoutsList() const;
    TileRules* tileRules() const { return m_tileRules.get(); }
    AlarmCenter* alarms() const { return m_alarms.get(); }
    PasswordStore* passwords() const { return m_passwords.get(); }
    RpcSource* rpcSource() const;
    bool signedIn() const { return m_signedIn; }
    bool reconnecting() const { return m_reconnectTimer.isActive() || m_reconnectAttempt; }
    int nextReconnectDelayMs() const { return m_reconnectBackoff.nextDelayMs(); }
    bool signInRetrying() const { return m_signInRetryTimer.isActive(); }
    int nextSignInRetryDelayMs() const { return m_signInRetryBackoff.nextDelayMs(); }

    // Delays between reconnection attempts: the first, then doubling up to the last.
    static constexpr int kFirstReconnectDelayMs = 1000;
    static constexpr int kMaxReconnectDelayMs = 30000;

    Q_INVOKABLE void fetchLayoutsList();

public slots:
    void login(const QString& username, const QString& password, const QString& host, int port);

signals:
    void currentUserChanged();
    void vantorClientChanged();
    void vantorRepositoryChanged();
    void repositoryChanged();
    void layoutModelChanged();
    void layoutsListChanged();

    void loginError(const QString& message);
    void loggedIn();
    void loggedOut();
    void requestedJumpPage(const QString& page);
    void signedInChanged();
    void reconnectingChanged();
    // The server connection broke after a sign-in; a reconnection follows in `delayMs`.
    void connectionLost(int delayMs);
    // A sign-in found no server; with every field given it is tried again in `delayMs`. A refused
    // sign-in is not.
    void signInRetryScheduled(int delayMs);
    void signInRetryingChanged();

private:
    void connectSignInHandlers();
    void onSignedIn(qlonglong id);
    void onConnectionStateChanged(int state, int previous);
    void scheduleReconnect();
    void reconnect();
    void setSignedIn(bool signedIn);
    bool hasEverySignInField() const;
    void scheduleSignInRetry();
    void stopSignInRetry();
    void retrySignIn();

    std::shared_ptr<SQLiteRepository> m_repository;
    std::shared_ptr<User> m_currentUser;
    std::shared_ptr<VantorObjectsRepository> m_vantorRepository;
    std::shared_ptr<VantorClient> m_vantorClient;
    std::shared_ptr<LayoutModel> m_layoutModel;
    std::shared_ptr<RpcSource> m_rpcSource;
    // The fetched layouts as a list model, for the sidebar element.
    std::shared_ptr<LayoutList> m_layoutsList;
    std::shared_ptr<TileRules> m_tileRules;
    std::shared_ptr<AlarmCenter> m_alarms;
    std::unique_ptr<PasswordStore> m_passwords;

    bool m_signedIn = false;
    // Set from a lost connection until the next sign-in or explicit login.
    bool m_recovering = false;
    bool m_reconnectAttempt = false;
    Backoff m_reconnectBackoff{kFirstReconnectDelayMs, kMaxReconnectDelayMs};
    QTimer m_reconnectTimer;
    // The first sign-in of a client started before its server (a wall computer that boots
    // first, a server restarting) waits as a reconnection does.
    Backoff m_signInRetryBackoff{kFirstReconnectDelayMs, kMaxReconnectDelayMs};
    QTimer m_signInRetryTimer;
};
