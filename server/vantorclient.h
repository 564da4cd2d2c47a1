#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <vantor/vantor.h>

#include "actuatorwriter.h"
#include "vantorobjectsrepository.h"

// The one connection of the station to the server: connects, signs in, keeps the object
// repository current and carries out the user interface's requests.
//
// The library calls back on its own thread. Every callback only logs and posts its work to the
// thread that owns the client, so signals are raised and the repository changes there.
class VantorClient : public QObject, public ActuatorWriter
{
    Q_OBJECT
    Q_PROPERTY(QString host READ host WRITE setHost NOTIFY hostChanged)
    Q_PROPERTY(int port READ port WRITE setPort NOTIFY portChanged)
    Q_PROPERTY(QString username READ username WRITE setUsername NOTIFY usernameChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(VantorObjectsRepository* repository READ repository WRITE setRepository NOTIFY repositoryChanged)
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)

public:
    // Same numbers as the library's connection states.
    enum ConnectionState {
        Closed = 0,
        Opening = 1,
        Open = 2,
        Closing = 3,
    };
    Q_ENUM(ConnectionState)

    enum CommonDynAttribId {
        AttrLayout = 1,
    };
    Q_ENUM(CommonDynAttribId)

    enum StreamBindingType {
        Proxy = 1,
        Storage = 2,
        ProxyStorage = 3,
    };
    Q_ENUM(StreamBindingType)

    enum ChunkSearchBy {
        START = 0,
        END = 1,
    };
    Q_ENUM(ChunkSearchBy)

    using ObjectList = std::vector<pelmar::vantor::Object>;
    using ObjectsCallback = std::function<void(const ObjectList& objects, pelmar::vantor::ObjectId rootId)>;
    using AttributesCallback = std::function<void(const pelmar::vantor::NameValueMap& attributes)>;

    explicit VantorClient(QObject* parent = nullptr);
    ~VantorClient() override;

    QString host() const { return m_host; }
    int port() const { return m_port; }
    QString username() const { return m_username; }
    QString password() const { return m_password; }
    VantorObjectsRepository* repository() const { return m_repository.data(); }
    QString status() const { return m_status; }

    void setHost(const QString& host);
    void setPort(int port);
    void setUsername(const QString& username);
    void setPassword(const QString& password);
    void setRepository(VantorObjectsRepository* repository);
    void setStatus(const QString& status);

    // An invalid QVariant, with two warnings, for kinds other than Bool, Int, Float and String.
    static QVariant vantorValToVariant(const pelmar::vantor::Value& value);
    // What signEventReceived carries for an event: "srcId", "eventId", "cls" and, when the event's
    // "fields" field holds JSON, "fields" (the object's members; an empty map for other JSON).
    static QVariantMap eventToVariantMap(const pelmar::vantor::Event& event);

    Q_INVOKABLE void connectToVantor();
    Q_INVOKABLE void login();
    Q_INVOKABLE void fetchObjects();
    Q_INVOKABLE void sendCtrlEvent(const QString& destId, const QString& cls, const QVariantMap& fields);
    Q_INVOKABLE void createAttr(const QString& objId, const QString& attr, const QVariant& value);
    Q_INVOKABLE void getAttr(const QString& objId, const QString& attr);
    Q_INVOKABLE void setAttr(const QString& objId, const QString& attr, const QVariant& value);
    Q_INVOKABLE void removeAttr(const QString& objId, const QString& attr);
    Q_INVOKABLE void bindStream(const QString& streamId, const QString& deviceId, StreamBindingType type);
    Q_INVOKABLE void unbindStream(const QString& streamId, const QString& deviceId);
    Q_INVOKABLE void searchChunks(const QString& streamId, int searchBy, qlonglong start, qlonglong end);
    Q_INVOKABLE void getStreamGatewayInfo(const QString& deviceId, const QString& streamId);

    // Both callbacks go to the library unchanged; they run on the library's thread.
    void getObjects(ObjectsCallback onResult, pelmar::vantor::ErrorCallback onError);
    // Rebuilds the repository from a fetched object list, on the client's thread. Safe to call
    // from any thread.
    void updateRepository(const ObjectList& objects, pelmar::vantor::ObjectId rootId);
    // An empty name asks for every attribute. Without a failure callback a failure is dropped.
    void getDynamicAttribute(pelmar::vantor::ObjectId objectId, const std::string& name, AttributesCallback onResult,
                             pelmar::vantor::ErrorCallback onError = {});
    // Dynamic attributes for callers that must know the outcome: done runs on the client's thread,
    // with an empty error when the server did it, else the server's or the connection's message.
    using AttributesDone = std::function<void(const QVariantMap& attributes, const QString& error)>;
    using WriteDone = std::function<void(const QString& error)>;
    void readAttributes(const QString& objId, AttributesDone done);
    void createAttribute(const QString& objId, const QString& name, const QString& value, WriteDone done);
    void updateAttribute(const QString& objId, const QString& name, const QString& value, WriteDone done);
    void deleteAttribute(const QString& objId, const QString& name, WriteDone done);

    void getActrValue(const QString& id);
    void setActrValue(const QString& id, bool value) override;

signals:
    void hostChanged();
    void portChanged();
    void usernameChanged();
    void passwordChanged();
    void repositoryChanged();
    void statusChanged();
    void connected();
    void connectError(const QString& message);
    void connectionStateChanged(int state, int prevState);
    void loggedIn(qlonglong id);
    void loginError(const QString& message);
    void loggedOut();
    void error(const QString& message);
    void signEventReceived(const QVariantMap& event);
    void dynamicAttributeReceived(const QString& id, const QVariantMap& attrs);
    void streamChunksReceived(const QVariantList& chunks);
    void streamInfoReceived(const QString& deviceId, const QString& streamId, const QString& token,
                            const QString& addr);
    // The whole event as the server pushed it, new or updated (an event with a duration ends with
    // an update), on the client's thread.
    void serverEventReceived(const pelmar::vantor::Event& event);
    void serverEventUpdated(const pelmar::vantor::Event& event);
    // setActrValue sent a command to an actuator (a door).
    void actuatorCommandSent(const QString& id, bool value);

private:
    class Anchor;

    void onStateChanged(int state, int prevState);
    void onConnectionError(const pelmar::vantor::ConnectionError& error);
    void updateObjectData();
    void signalEventReceived(const pelmar::vantor::Event& event);
    void signalEventUpdated(const pelmar::vantor::Event& event);
    void sensorChanged(pelmar::vantor::ObjectId id, const pelmar::vantor::ValuePtr& value);
    void actrChanged(pelmar::vantor::ObjectId id, const pelmar::vantor::ValuePtr& value);
    void operationError(const pelmar::vantor::HandlerError& error, const std::string& context);
    void rebuildRepository(const ObjectList& objects, pelmar::vantor::ObjectId rootId);
    void rememberValue(pelmar::vantor::ObjectId id, bool value);

    // A site has a few hundred sensors and actuators at most; a server that reports ever new ids
    // must not grow the client without bound.
    static constexpr int MaxReportedValues = 100000;

    QString m_host;
    int m_port = 0;
    QString m_username;
    QString m_password;
    pelmar::vantor::Context m_context;
    pelmar::vantor::Connection m_connection;
    pelmar::vantor::Client m_client;
    QPointer<VantorObjectsRepository> m_repository;
    QString m_status;
    // What library callbacks hold instead of the client itself: they post through it, and it
    // stops posting once the client is gone.
    std::shared_ptr<Anchor> m_anchor;
    // Counts connects; callbacks of a replaced connection carry an older number and are ignored.
    quint64 m_generation = 0;
    // The last value the server reported for each sensor and actuator of this connection. The
    // records of the repository are made anew with every fetch of the objects, and a report may
    // come before its object does: both take their values from here.
    QHash<pelmar::vantor::ObjectId, bool> m_reportedValues;
};

Q_DECLARE_METATYPE(pelmar::vantor::Event)
