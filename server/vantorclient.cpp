#include "vantorclient.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <utility>

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlEngine>
#include <QStringList>
#include <QThread>

#include "utils.h"

namespace vantor = pelmar::vantor;

namespace {

// Positions of a list's objects by id, the first of an id winning: one flat table with open
// addressing, so that indexing a large site costs no allocation per object.
class ObjectIndex
{
public:
    explicit ObjectIndex(const std::vector<vantor::Object>& objects)
    {
        std::size_t capacity = 16;
        while (capacity < objects.size() * 2)
            capacity *= 2;
        m_mask = capacity - 1;
        m_slots.assign(capacity, Slot{0, npos});
        for (std::size_t i = 0; i < objects.size(); ++i) {
            const vantor::ObjectId id = objects[i].id();
            std::size_t slot = slotOf(id);
            while (m_slots[slot].position != npos && m_slots[slot].id != id)
                slot = (slot + 1) & m_mask;
            if (m_slots[slot].position == npos)
                m_slots[slot] = Slot{id, i};
        }
    }

    // The position of the object with this id, or npos.
    std::size_t find(vantor::ObjectId id) const
    {
        for (std::size_t slot = slotOf(id);; slot = (slot + 1) & m_mask) {
            const Slot& entry = m_slots[slot];
            if (entry.position == npos || entry.id == id)
                return entry.position;
        }
    }

    static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();

private:
    struct Slot
    {
        vantor::ObjectId id;
        std::size_t position;
    };

    std::size_t slotOf(vantor::ObjectId id) const
    {
        // Fibonacci hashing spreads ids that share their low bits.
        return std::size_t((std::uint64_t(id) * 0x9E3779B97F4A7C15ull) >> 32) & m_mask;
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
};

QString errorText(const vantor::Error& error)
{
    return QString::fromStdString(error.toString());
}

vantor::ObjectId toObjectId(const QString& id)
{
    return id.toLongLong(nullptr, 10);
}

const QString PathSeparator = QStringLiteral(",");

} // namespace

// Library callbacks run on library threads, some of which (failures of requests made before any
// connect) outlive every connection handle. They reach the client only through this anchor, which
// the destructor disarms, so nothing is ever posted to a client that is gone. Their log lines go
// the same way: a failure reported on a library thread while the program exits would otherwise
// reach a message handler that is already torn down.
class VantorClient::Anchor
{
public:
    explicit Anchor(VantorClient* client) : m_client(client) {}

    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_client = nullptr;
    }

    // Runs functor(client) on the client's thread: at once when already there, queued otherwise.
    template <typename Functor>
    void post(Functor functor)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        VantorClient* client = m_client;
        if (!client)
            return;
        if (client->thread() == QThread::currentThread()) {
            lock.unlock();
            functor(client);
            return;
        }
        QMetaObject::invokeMethod(
            client, [client, functor = std::move(functor)]() mutable { functor(client); }, Qt::QueuedConnection);
    }

private:
    std::mutex m_mutex;
    VantorClient* m_client;
};

VantorClient::VantorClient(QObject* parent) : QObject(parent), m_anchor(std::make_shared<Anchor>(this)) {}

VantorClient::~VantorClient()
{
    m_anchor->release();
    if (VantorObject::actuatorWriter() == this)
        VantorObject::setActuatorWriter(nullptr);
    m_status.clear();
    m_client = vantor::Client();
    m_connection = vantor::Connection();
    m_context = vantor::Context();
}

void VantorClient::setHost(const QString& host)
{
    if (m_host == host)
        return;
    m_host = host;
    emit hostChanged();
}

void VantorClient::setPort(int port)
{
    if (m_port == port)
        return;
    m_port = port;
    emit portChanged();
}

void VantorClient::setUsername(const QString& username)
{
    if (m_username == username)
        return;
    m_username = username;
    emit usernameChanged();
}

void VantorClient::setPassword(const QString& password)
{
    if (m_password == password)
        return;
    m_password = password;
    emit passwordChanged();
}

void VantorClient::setRepository(VantorObjectsRepository* repository)
{
    if (m_repository == repository)
        return;
    m_repository = repository;
    emit repositoryChanged();
}

void VantorClient::setStatus(const QString& status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged();
}

QVariant VantorClient::vantorValToVariant(const vantor::Value& value)
{
    switch (value.tag()) {
    case vantor::Value::IntTag:
        return QVariant(static_cast<int>(value.toInt()));
    case vantor::Value::FloatTag:
        return QVariant(value.toDouble());
    case vantor::Value::StringTag:
        return QVariant(QString::fromStdString(value.toString()));
    case vantor::Value::BoolTag:
        return QVariant(value.toBool());
    default:
        qWarning() << "static QVariant VantorClient::vantorValToVariant(const pelmar::vantor::Value&)";
        qWarning() << "Unhandled type:" << value.tag();
        return QVariant();
    }
}

// ---------------------------------------------------------------------------------------------
// Connection, sign-in and objects

void VantorClient::connectToVantor()
{
    const quint64 generation = ++m_generation;
    // A new connection, perhaps to another server: its values come with its objects.
    m_reportedValues.clear();
    const std::shared_ptr<Anchor> anchor = m_anchor;
    // Runs a handler on the client's thread, unless a later connect has replaced this connection.
    const auto current = [anchor, generation](auto handler) {
        anchor->post([generation, handler = std::move(handler)](VantorClient* client) {
            if (client->m_generation == generation)
                handler(client);
        });
    };

    const vantor::Logger logger([](const std::string&, vantor::LogLevel) {}, 0);
    m_context = vantor::Context(logger);

    vantor::ConnectionCallbacks connectionCallbacks;
    connectionCallbacks.stateChanged = [current](int state, int prevState) {
        current([state, prevState](VantorClient* client) { client->onStateChanged(state, prevState); });
    };
    connectionCallbacks.connectionError = [current](const vantor::ConnectionError& error) {
        current([error](VantorClient* client) { client->onConnectionError(error); });
    };
    m_connection = vantor::Connection(connectionCallbacks, m_context);

    vantor::ClientCallbacks clientCallbacks;
    clientCallbacks.objectDataChanged = [current] {
        current([](VantorClient* client) { client->updateObjectData(); });
    };
    clientCallbacks.eventReceived = [current](const vantor::Event& event) {
        current([event](VantorClient* client) { client->signalEventReceived(event); });
    };
    clientCallbacks.eventUpdated = [current](const vantor::Event& event) {
        current([event](VantorClient* client) { client->signalEventUpdated(event); });
    };
    clientCallbacks.sensorValueChanged = [current](vantor::ObjectId id, vantor::ValuePtr value) {
        current([id, value](VantorClient* client) { client->sensorChanged(id, value); });
    };
    clientCallbacks.actuatorValueChanged = [current](vantor::ObjectId id, vantor::ValuePtr value) {
        current([id, value](VantorClient* client) { client->actrChanged(id, value); });
    };
    m_client = vantor::Client(clientCallbacks, m_connection);

    m_connection.open(
        m_host.toStdString(), m_port, [current] { current([](VantorClient* client) { emit client->connected(); }); },
        [current](const vantor::ConnectionError& error) {
            const QString message = errorText(error);
            current([message](VantorClient* client) { emit client->connectError(message); });
        });
}

void VantorClient::onStateChanged(int state, int prevState)
{
    emit connectionStateChanged(state, prevState);
}

void VantorClient::onConnectionError(const vantor::ConnectionError& error)
{
    qDebug() << "Connection error " << error.code() << ": " << errorText(error);
}

void VantorClient::login()
{
    const std::shared_ptr<Anchor> anchor = m_anchor;
    m_client.signIn(
        m_username.toStdString(), m_password.toStdString(),
        [anchor](vantor::ObjectId userId) {
            const qlonglong id = userId;
            anchor->post([id](VantorClient* client) { emit client->loggedIn(id); });
        },
        [anchor](const vantor::HandlerError& error) {
            const QString message = errorText(error);
            anchor->post([message](VantorClient* client) { emit client->loginError(message); });
        });
}

void VantorClient::fetchObjects()
{
    const std::shared_ptr<Anchor> anchor = m_anchor;
    m_client.getObjects(
        [anchor](const ObjectList& objects, vantor::ObjectId rootId) {
            anchor->post([objects, rootId](VantorClient* client) { client->rebuildRepository(objects, rootId); });
        },
        [anchor](const vantor::HandlerError& error) {
            const QString message = errorText(error);
            anchor->post([message](VantorClient* client) { emit client->error(message); });
        });
}

void VantorClient::getObjects(ObjectsCallback onResult, vantor::ErrorCallback onError)
{
    // The library calls whichever callback it has; an empty one must not be called.
    if (!onResult)
        onResult = [](const ObjectList&, vantor::ObjectId) {};
    if (!onError)
        onError = [](const vantor::HandlerError&) {};
    m_client.getObjects(std::move(onResult), std::move(onError));
}

void VantorClient::updateObjectData()
{
    qDebug() << "void VantorClient::updateObjectData()";
    const std::shared_ptr<Anchor> anchor = m_anchor;
    m_client.getObjects(
        [anchor](const ObjectList& objects, vantor::ObjectId rootId) {
            anchor->post([objects, rootId](VantorClient* client) { client->rebuildRepository(objects, rootId); });
        },
        [anchor](const vantor::HandlerError& error) {
            anchor->post(
                [error](VantorClient* client) { client->operationError(error, "Unable to receive object data"); });
        });
}

void VantorClient::operationError(const vantor::HandlerError& error, const std::string& context)
{
    qDebug() << "void VantorClient::operationError(const pelmar::vantor::HandlerError&, const string&)";
    qDebug() << "  Err:" << QString::fromStdString(context) << errorText(error);
}

void VantorClient::updateRepository(const ObjectList& objects, vantor::ObjectId rootId)
{
    m_anchor->post([objects, rootId](VantorClient* client) { client->rebuildRepository(objects, rootId); });
}
void VantorClient::rebuildRepository(const ObjectList& objects, vantor::ObjectId rootId)
{
    VantorObjectsRepository* repository = m_repository.data();
    if (!repository)
        return;
    repository->clear();
    repository->reserve(int(std::min<std::size_t>(objects.size(), std::size_t(std::numeric_limits<int>::max()))));

    // The first object of an id wins.
    const ObjectIndex byId(objects);

    // Depth first, parents before children, with an explicit stack so that a deep tree cannot
    // exhaust the call stack. An object reached a second time (listed by two parents, or by its
    // own descendant) is not walked again: it could add nothing, and a cycle would never end.
    struct Frame
    {
        const vantor::Object* object;
        std::size_t nextChild;
    };
    std::vector<Frame> stack;
    std::vector<char> walked(objects.size(), 0);
    QStringList path;

    auto enter = [&](vantor::ObjectId id) {
        const std::size_t position = byId.find(id);
        if (position == ObjectIndex::npos) {
            qWarning() << "current == nullptr, something wrong in data";
            return;
        }
        if (walked[position]) {
            qWarning() << "Object listed more than once in the tree, walked once:" << id;
            return;
        }
        walked[position] = 1;
        const vantor::Object& object = objects[position];
        const VantorObjectPtr record = VantorObject::fromObject(object);
        // The record's name and the path part share one string.
        path.append(record ? record->name() : QString::fromStdString(object.name()));
        if (record) {
            record->setPath(path.join(PathSeparator));
            repository->add(record, PathSeparator);
        }
        // Children of an object without a record are still walked, so that they stay findable.
        stack.push_back({&object, 0});
    };

    enter(rootId);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const std::vector<vantor::ObjectId>& children = frame.object->children();
        if (frame.nextChild < children.size()) {
            enter(children[frame.nextChild++]);
        } else {
            path.removeLast();
            stack.pop_back();
        }
    }

    // The records are new: they get the values reported so far, among them those that came
    // before the objects did.
    for (auto it = m_reportedValues.cbegin(); it != m_reportedValues.cend(); ++it) {
        if (const VantorObjectPtr object = repository->findById(QString::number(it.key())))
            object->updateValue(it.value());
    }

    emit repository->dataChanged();
}

void VantorClient::rememberValue(vantor::ObjectId id, bool value)
{
    if (m_reportedValues.size() >= MaxReportedValues && !m_reportedValues.contains(id)) {
        qWarning() << "Too many sensor and actuator values reported; not keeping the one of" << id;
        return;
    }
    m_reportedValues.insert(id, value);
}

void VantorClient::sensorChanged(vantor::ObjectId id, const vantor::ValuePtr& value)
{
    const vantor::Value& v = value.value();
    const bool usable = v.tag() == vantor::Value::BoolTag || v.tag() == vantor::Value::IntTag;
    // The state comes from the whole 64-bit value: a non-zero reading whose low 32 bits are zero
    // is still on. Kept even when no record has the id yet: the objects may still be on their way.
    if (usable)
        rememberValue(id, v.toBool());
    if (!m_repository)
        return;
    const VantorObjectPtr object = m_repository->findById(QString::number(id));
    if (!object)
        return;

    QVariant shown;
    if (v.tag() == vantor::Value::BoolTag)
        shown = v.toBool();
    else if (v.tag() == vantor::Value::IntTag)
        shown = static_cast<int>(v.toInt());
    if (usable)
        object->updateValue(v.toBool());
    qDebug() << "sensorChanged: id(" << id << ") p(" << shown << ")";
}

void VantorClient::actrChanged(vantor::ObjectId id, const vantor::ValuePtr& value)
{
    const vantor::Value& v = value.value();
    const bool usable = v.tag() == vantor::Value::BoolTag || v.tag() == vantor::Value::IntTag;
    if (usable)
        rememberValue(id, v.toBool());
    if (!m_repository)
        return;
    const VantorObjectPtr object = m_repository->findById(QString::number(id));
    if (!object) {
        qWarning() << "Actuator not found:" << id;
        return;
    }
    if (usable)
        object->updateValue(v.toBool());
    qDebug() << "Actr changed: id(" << QString::number(id) << ")";
}

// ---------------------------------------------------------------------------------------------
// Requests

void VantorClient::sendCtrlEvent(const QString& destId, const QString& cls, const QVariantMap& fields)
{
    vantor::Event event;
    event.destinationId = toObjectId(destId);
    event.className = cls.toStdString();
    if (!fields.isEmpty()) {
        vantor::NameValueMap map;
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            map.setValue(it.key().toStdString(), Utils::vantorValueFromQVariant(it.value()).value());
        event.fields = map;
    }
    qInfo() << "Sending CTRL event cls:" << cls << ", destId:" << destId;
    m_client.sendEvent(
        event,
        [anchor = m_anchor](vantor::ObjectId eventId) {
            anchor->post([eventId](VantorClient*) { qInfo() << "Event sent, id: " << eventId; });
        },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qInfo() << "Event sending error: " << text; });
        });
}

void VantorClient::createAttr(const QString& objId, const QString& attr, const QVariant& value)
{
    qInfo() << "Creating dyn attribute:" << attr << ", for:" << objId;
    m_client.createDynamicAttribute(
        toObjectId(objId), attr.toStdString(), vantor::StringValue(value.toString().toStdString()),
        [anchor = m_anchor] { anchor->post([](VantorClient*) { qInfo() << "DynAttr created"; }); },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qInfo() << "DynAttr creation failed:" << text; });
        });
}

void VantorClient::getAttr(const QString& objId, const QString& attr)
{
    qInfo() << "Getting dynattr:" << attr << ", for:" << objId;
    const std::shared_ptr<Anchor> anchor = m_anchor;
    getDynamicAttribute(
        toObjectId(objId), attr.toStdString(),
        [anchor, objId](const vantor::NameValueMap& attributes) {
            QVariantMap attrs;
            for (const std::string& name : attributes.names())
                attrs.insert(QString::fromStdString(name), vantorValToVariant(attributes.value(name)));
            anchor->post([objId, attrs](VantorClient* client) {
                qInfo() << "DynAttr getting ok";
                emit client->dynamicAttributeReceived(objId, attrs);
            });
        },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qInfo() << "DynAttr getting failed: " << text; });
        });
}

void VantorClient::setAttr(const QString& objId, const QString& attr, const QVariant& value)
{
    qInfo() << "Setting dynattr:" << attr << ", for:" << objId;
    m_client.setDynamicAttribute(
        toObjectId(objId), attr.toStdString(), vantor::StringValue(value.toString().toStdString()),
        [anchor = m_anchor] { anchor->post([](VantorClient*) { qInfo() << "DynAttr setting ok"; }); },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qInfo() << "DynAttr setting failed:" << text; });
        });
}

void VantorClient::removeAttr(const QString& objId, const QString& attr)
{
    m_client.removeDynamicAttribute(
        toObjectId(objId), attr.toStdString(),
        [anchor = m_anchor] { anchor->post([](VantorClient*) { qDebug() << "Attribute remove ok"; }); },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << "Attribute remove failed:" << text; });
        });
}

void VantorClient::readAttributes(const QString& objId, AttributesDone done)
{
    const std::shared_ptr<Anchor> anchor = m_anchor;
    auto shared = std::make_shared<AttributesDone>(std::move(done));
    getDynamicAttribute(
        toObjectId(objId), std::string(),
        [anchor, shared](const vantor::NameValueMap& attributes) {
            QVariantMap attrs;
            for (const std::string& name : attributes.names())
                attrs.insert(QString::fromStdString(name), vantorValToVariant(attributes.value(name)));
            anchor->post([shared, attrs](VantorClient*) { (*shared)(attrs, QString()); });
        },
        [anchor, shared](const vantor::HandlerError& error) {
            anchor->post([shared, text = errorText(error)](VantorClient*) { (*shared)(QVariantMap(), text); });
        });
}

namespace {

// The library's two callbacks of a write, as one WriteDone posted to the client's thread.
template <typename Anchor>
std::pair<std::function<void()>, vantor::ErrorCallback> writeCallbacks(const std::shared_ptr<Anchor>& anchor,
                                                                       VantorClient::WriteDone done)
{
    auto shared = std::make_shared<VantorClient::WriteDone>(std::move(done));
    return {[anchor, shared] { anchor->post([shared](VantorClient*) { (*shared)(QString()); }); },
            [anchor, shared](const vantor::HandlerError& error) {
                anchor->post([shared, text = errorText(error)](VantorClient*) { (*shared)(text); });
            }};
}

} // namespace

void VantorClient::createAttribute(const QString& objId, const QString& name, const QString& value, WriteDone done)
{
    auto callbacks = writeCallbacks(m_anchor, std::move(done));
    m_client.createDynamicAttribute(toObjectId(objId), name.toStdString(), vantor::StringValue(value.toStdString()),
                                    std::move(callbacks.first), std::move(callbacks.second));
}

void VantorClient::updateAttribute(const QString& objId, const QString& name, const QString& value, WriteDone done)
{
    auto callbacks = writeCallbacks(m_anchor, std::move(done));
    m_client.setDynamicAttribute(toObjectId(objId), name.toStdString(), vantor::StringValue(value.toStdString()),
                                 std::move(callbacks.first), std::move(callbacks.second));
}

void VantorClient::deleteAttribute(const QString& objId, const QString& name, WriteDone done)
{
    auto callbacks = writeCallbacks(m_anchor, std::move(done));
    m_client.removeDynamicAttribute(toObjectId(objId), name.toStdString(), std::move(callbacks.first),
                                    std::move(callbacks.second));
}

void VantorClient::bindStream(const QString& streamId, const QString& deviceId, StreamBindingType type)
{
    vantor::BindingPair pair;
    pair.objectId = toObjectId(deviceId);
    pair.bindingType = static_cast<int>(type);
    m_client.bindStream(
        toObjectId(streamId), {pair},
        [anchor = m_anchor] { anchor->post([](VantorClient*) { qDebug() << "bindStream ok"; }); },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << "bindStream => Error: " << text; });
        });
}

void VantorClient::unbindStream(const QString& streamId, const QString& deviceId)
{
    m_client.unbindStream(
        toObjectId(streamId), toObjectId(deviceId),
        [anchor = m_anchor] { anchor->post([](VantorClient*) { qDebug() << "unbindStream ok"; }); },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << "unbindStream => Error: " << text; });
        });
}

void VantorClient::searchChunks(const QString& streamId, int searchBy, qlonglong start, qlonglong end)
{
    qDebug() << "Searching chunks for streamId:" << streamId << ", method:" << searchBy << ", start:" << start
             << ", end:" << end;
    const std::shared_ptr<Anchor> anchor = m_anchor;
    m_client.searchChunks(
        toObjectId(streamId), searchBy, start, end,
        [anchor](const std::vector<vantor::StreamChunk>& found) {
            const size_t count = found.size();
            anchor->post([count](VantorClient*) { qDebug() << "searchChunks finished, number of chunks:" << count; });
            if (found.empty())
                return;
            QVariantList chunks;
            chunks.reserve(static_cast<int>(found.size()));
            for (const vantor::StreamChunk& chunk : found) {
                chunks.append(QVariantMap{
                    {QStringLiteral("streamId"), QVariant::fromValue<qlonglong>(chunk.streamId)},
                    {QStringLiteral("start"), QVariant::fromValue<qlonglong>(chunk.start)},
                    {QStringLiteral("end"), QVariant::fromValue<qlonglong>(chunk.end)},
                    {QStringLiteral("size"), QVariant::fromValue<qlonglong>(chunk.size)},
                });
            }
            anchor->post([chunks](VantorClient* client) { emit client->streamChunksReceived(chunks); });
        },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << "searchChunks => Error: " << text; });
        });
}

void VantorClient::getStreamGatewayInfo(const QString& deviceId, const QString& streamId)
{
    const std::shared_ptr<Anchor> anchor = m_anchor;
    m_client.getStreamInfo(
        toObjectId(deviceId), toObjectId(streamId),
        [anchor](const vantor::StreamInfo& info) {
            const QString device = QString::number(info.deviceId);
            const QString stream = QString::number(info.streamId);
            const QString token = QString::fromStdString(info.token);
            const QString address = QString::fromStdString(info.address);
            anchor->post([device, stream, token, address](VantorClient* client) {
                emit client->streamInfoReceived(device, stream, token, address);
            });
        },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << text; });
        });
}

void VantorClient::getDynamicAttribute(vantor::ObjectId objectId, const std::string& name, AttributesCallback onResult,
                                       vantor::ErrorCallback onError)
{
    if (!onResult)
        onResult = [](const vantor::NameValueMap&) {};
    if (!onError)
        onError = [](const vantor::HandlerError&) {};
    m_client.getDynamicAttribute(objectId, name, std::move(onResult), std::move(onError));
}

void VantorClient::getActrValue(const QString& id)
{
    qDebug() << "Requesting actr value for" << id;
    const vantor::ObjectId objectId = toObjectId(id);
    const std::shared_ptr<Anchor> anchor = m_anchor;
    m_client.getActuatorValue(
        objectId,
        [anchor, objectId](vantor::ValuePtr value) {
            anchor->post([objectId, value](VantorClient* client) {
                qDebug() << "Got actr value:" << (value.value().toBool() ? "true" : "false");
                client->actrChanged(objectId, value);
            });
        },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << "getActrValue error:" << text; });
        });
}

void VantorClient::setActrValue(const QString& id, bool value)
{
    emit actuatorCommandSent(id, value);
    m_client.setActuatorValue(
        toObjectId(id), vantor::BoolValue(value),
        [anchor = m_anchor, id, value] {
            anchor->post([id, value](VantorClient*) {
                qDebug() << "setActrValue ok, " << id << " => " << (value ? "true" : "false");
            });
        },
        [anchor = m_anchor](const vantor::HandlerError& error) {
            anchor->post([text = errorText(error)](VantorClient*) { qDebug() << "setActrValue => Error: " << text; });
        });
}

// ---------------------------------------------------------------------------------------------
// Incoming events

void VantorClient::signalEventReceived(const vantor::Event& event)
{
    qDebug() << "signalEventReceived";
    emit signEventReceived(eventToVariantMap(event));
    emit serverEventReceived(event);
}

void VantorClient::signalEventUpdated(const vantor::Event& event)
{
    emit serverEventUpdated(event);
}

QVariantMap VantorClient::eventToVariantMap(const vantor::Event& event)
{
    QVariantMap map;
    map.insert(QStringLiteral("srcId"), QString::number(event.sourceId));
    map.insert(QStringLiteral("eventId"), QVariant::fromValue<qlonglong>(event.eventId));
    map.insert(QStringLiteral("cls"), QString::fromStdString(event.className));
    if (event.fields.contains("fields")) {
        const QByteArray text = QByteArray::fromStdString(event.fields.value("fields").toString());
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (document.isNull())
            qWarning() << "The event's \"fields\" are not JSON:" << error.errorString() << "at offset" << error.offset;
        else
            map.insert(QStringLiteral("fields"), document.object().toVariantMap());
    }
    return map;
}
