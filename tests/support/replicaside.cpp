// SPDX-License-Identifier: MIT
#include "replicaside.h"

#include <QMetaClassInfo>
#include <QRemoteObjectNode>

#include "rep_client_service_replica.h"

class RawReplica : public client_ServiceReplica
{
public:
    using client_ServiceReplica::send;
};

namespace {

QByteArray replicaClassInfo(const char* name)
{
    const QMetaObject& meta = client_ServiceReplica::staticMetaObject;
    const int index = meta.indexOfClassInfo(name);
    return index < 0 ? QByteArray() : QByteArray(meta.classInfo(index).value());
}

} // namespace

ReplicaSide::ReplicaSide(const QUrl& url, QObject* parent)
    : QObject(parent), m_node(std::make_unique<QRemoteObjectNode>()), m_replica(std::make_unique<RawReplica>())
{
    m_node->connectToNode(url);
    m_replica->setNode(m_node.get());
    connect(m_replica.get(), &client_ServiceReplica::loggedIn, this, &ReplicaSide::loggedIn);
    connect(m_replica.get(), &client_ServiceReplica::loggedOut, this, &ReplicaSide::loggedOut);
    connect(m_replica.get(), &client_ServiceReplica::layoutListChanged, this,
            [this](const QList<client_Layout>& layouts) {
                QStringList names;
                QStringList jsons;
                for (const client_Layout& layout : layouts) {
                    names.append(layout.name());
                    jsons.append(layout.json());
                }
                emit layoutListChanged(names, jsons);
            });
}

ReplicaSide::~ReplicaSide()
{
    m_replica.reset();
    m_node.reset();
}

QByteArray ReplicaSide::typeName()
{
    return replicaClassInfo(QCLASSINFO_REMOTEOBJECT_TYPE);
}

QByteArray ReplicaSide::signature()
{
    return replicaClassInfo(QCLASSINFO_REMOTEOBJECT_SIGNATURE);
}

bool ReplicaSide::waitForSource(int timeoutMs)
{
    return m_replica->waitForSource(timeoutMs);
}

void ReplicaSide::requestLoginStatus()
{
    m_replica->requestLoginStatus();
}

void ReplicaSide::jumpPage(int page)
{
    // The typed call can only carry what the enumeration can hold; anything else goes raw.
    if (page < 0 || page > 3) {
        sendRawPage(page);
        return;
    }
    m_replica->jumpPage(static_cast<client_ServiceReplica::ClientPage>(page));
}

void ReplicaSide::sendRawPage(int value)
{
    static const int index =
        client_ServiceReplica::staticMetaObject.indexOfSlot("jumpPage(client_ServiceReplica::ClientPage)");
    m_replica->send(QMetaObject::InvokeMetaMethod, index, {QVariant(value)});
}

void ReplicaSide::setLayout(const QString& name, const QString& json)
{
    m_replica->setLayout(name, json);
}

void ReplicaSide::requestLayoutList()
{
    m_replica->requestLayoutList();
}
