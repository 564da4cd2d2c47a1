// SPDX-License-Identifier: MIT
#include <atomic>

#include "connectioncore.h"
#include "dispatcher.h"
#include "wire.h"

namespace pelmar::vantor {

using wire::Json;

std::uint64_t PendingRequest::id() const
{
    return d ? d->id : 0;
}

bool PendingRequest::isFinished() const
{
    return !d || d->finished.load();
}

struct Client::Impl
{
    std::shared_ptr<Connection::Impl> connection;
    std::shared_ptr<detail::ClientSink> sink;
};

namespace {

// Requests made through a null client or connection fail on a library thread, never on the caller's.
PendingRequest failDetached(ErrorCallback onError)
{
    static std::atomic<std::uint64_t> nextId{1};
    auto state = std::make_shared<PendingRequest::State>(nextId.fetch_add(1));
    detail::Dispatcher::instance().post([state, onError = std::move(onError)] {
        state->finished.store(true);
        if (onError)
            onError(HandlerError("Not connected", ErrNotConnected));
    });
    return PendingRequest(state);
}

PendingRequest call(const std::shared_ptr<Client::Impl>& d, const char* op, Json args, detail::ReplyHandler onReply,
                    ErrorCallback onError)
{
    if (!d || !d->connection || !d->connection->thread.joinable())
        return failDetached(std::move(onError));
    auto& core = d->connection->core;
    auto state = std::make_shared<PendingRequest::State>(core->nextRequestId());
    core->post([op = std::string(op), args = std::move(args), state, onReply = std::move(onReply),
                onError = std::move(onError)](detail::ConnectionCore& c) mutable {
        c.request(op, std::move(args), state, std::move(onReply), std::move(onError));
    });
    return PendingRequest(state);
}

// A reply without data: only its success matters.
detail::ReplyHandler noResult(std::function<void()> onSuccess)
{
    return [onSuccess = std::move(onSuccess)](const Json&) { return onSuccess; };
}

} // namespace

Client::Client() = default;

Client::Client(ClientCallbacks callbacks, const Connection& connection) : d(std::make_shared<Impl>())
{
    d->connection = connection.d;
    d->sink = std::make_shared<detail::ClientSink>();
    d->sink->callbacks = std::move(callbacks);
    if (d->connection)
        d->connection->core->addSink(d->sink);
}

PendingRequest Client::signIn(const std::string& user, const std::string& password,
                              std::function<void(ObjectId userId)> onSuccess, ErrorCallback onError)
{
    return call(
        d, "signIn", {{"user", user}, {"password", password}},
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            const ObjectId id = wire::getInt(r, "userId");
            if (!onSuccess)
                return {};
            return [onSuccess, id] { onSuccess(id); };
        },
        std::move(onError));
}

PendingRequest Client::getObjects(std::function<void(const std::vector<Object>& objects, ObjectId rootId)> onSuccess,
                                  ErrorCallback onError)
{
    return call(
        d, "getObjects", Json::object(),
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            auto objects = std::make_shared<std::vector<Object>>();
            for (const auto& o : wire::getArray(r, "objects"))
                objects->emplace_back(wire::objectFromJson(o));
            const ObjectId root = wire::getInt(r, "rootId");
            if (!onSuccess)
                return {};
            return [onSuccess, objects, root] { onSuccess(*objects, root); };
        },
        std::move(onError));
}

PendingRequest Client::getDynamicAttribute(ObjectId objectId, const std::string& name,
                                           std::function<void(const NameValueMap& attributes)> onSuccess,
                                           ErrorCallback onError)
{
    return call(
        d, "getDynamicAttribute", {{"objectId", objectId}, {"name", name}},
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            auto map = std::make_shared<NameValueMap>(wire::mapFromJson(wire::getArray(r, "attributes")));
            if (!onSuccess)
                return {};
            return [onSuccess, map] { onSuccess(*map); };
        },
        std::move(onError));
}

PendingRequest Client::createDynamicAttribute(ObjectId objectId, const std::string& name, const Value& value,
                                              std::function<void()> onSuccess, ErrorCallback onError)
{
    return call(d, "createDynamicAttribute",
                {{"objectId", objectId}, {"name", name}, {"value", wire::valueToJson(value)}},
                noResult(std::move(onSuccess)), std::move(onError));
}

PendingRequest Client::setDynamicAttribute(ObjectId objectId, const std::string& name, const Value& value,
                                           std::function<void()> onSuccess, ErrorCallback onError)
{
    return call(d, "setDynamicAttribute", {{"objectId", objectId}, {"name", name}, {"value", wire::valueToJson(value)}},
                noResult(std::move(onSuccess)), std::move(onError));
}

PendingRequest Client::removeDynamicAttribute(ObjectId objectId, const std::string& name,
                                              std::function<void()> onSuccess, ErrorCallback onError)
{
    return call(d, "removeDynamicAttribute", {{"objectId", objectId}, {"name", name}}, noResult(std::move(onSuccess)),
                std::move(onError));
}

PendingRequest Client::getActuatorValue(ObjectId actuatorId, std::function<void(ValuePtr value)> onSuccess,
                                        ErrorCallback onError)
{
    return call(
        d, "getActuatorValue", {{"actuatorId", actuatorId}},
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            ValuePtr value(std::shared_ptr<const Value>(wire::valueFromJson(wire::getObject(r, "value"))));
            if (!onSuccess)
                return {};
            return [onSuccess, value] { onSuccess(value); };
        },
        std::move(onError));
}

PendingRequest Client::setActuatorValue(ObjectId actuatorId, const Value& value, std::function<void()> onSuccess,
                                        ErrorCallback onError)
{
    return call(d, "setActuatorValue", {{"actuatorId", actuatorId}, {"value", wire::valueToJson(value)}},
                noResult(std::move(onSuccess)), std::move(onError));
}

PendingRequest Client::bindStream(ObjectId streamId, const std::vector<BindingPair>& bindings,
                                  std::function<void()> onSuccess, ErrorCallback onError)
{
    Json list = Json::array();
    for (const auto& b : bindings)
        list.push_back(wire::bindingToJson(b));
    return call(d, "bindStream", {{"streamId", streamId}, {"bindings", std::move(list)}},
                noResult(std::move(onSuccess)), std::move(onError));
}

PendingRequest Client::unbindStream(ObjectId streamId, ObjectId deviceId, std::function<void()> onSuccess,
                                    ErrorCallback onError)
{
    return call(d, "unbindStream", {{"streamId", streamId}, {"deviceId", deviceId}}, noResult(std::move(onSuccess)),
                std::move(onError));
}

PendingRequest Client::getStreamInfo(ObjectId deviceId, ObjectId streamId,
                                     std::function<void(const StreamInfo& info)> onSuccess, ErrorCallback onError)
{
    return call(
        d, "getStreamInfo", {{"deviceId", deviceId}, {"streamId", streamId}},
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            const StreamInfo info = wire::streamInfoFromJson(r);
            if (!onSuccess)
                return {};
            return [onSuccess, info] { onSuccess(info); };
        },
        std::move(onError));
}

PendingRequest Client::searchChunks(ObjectId streamId, int searchBy, std::int64_t start, std::int64_t end,
                                    std::function<void(const std::vector<StreamChunk>& chunks)> onSuccess,
                                    ErrorCallback onError)
{
    return call(
        d, "searchChunks", {{"streamId", streamId}, {"searchBy", searchBy}, {"start", start}, {"end", end}},
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            auto chunks = std::make_shared<std::vector<StreamChunk>>();
            for (const auto& c : wire::getArray(r, "chunks"))
                chunks->push_back(wire::chunkFromJson(c));
            if (!onSuccess)
                return {};
            return [onSuccess, chunks] { onSuccess(*chunks); };
        },
        std::move(onError));
}

PendingRequest Client::sendEvent(const Event& event, std::function<void(ObjectId eventId)> onSuccess,
                                 ErrorCallback onError)
{
    return call(
        d, "sendEvent", {{"event", wire::eventToJson(event)}},
        [onSuccess = std::move(onSuccess)](const Json& r) -> std::function<void()> {
            const ObjectId id = wire::getInt(r, "eventId");
            if (!onSuccess)
                return {};
            return [onSuccess, id] { onSuccess(id); };
        },
        std::move(onError));
}

} // namespace pelmar::vantor
