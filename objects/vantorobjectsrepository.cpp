#include "vantorobjectsrepository.h"

#include <QCoreApplication>
#include <QDebug>
#include <QQmlEngine>
#include <QStringList>

namespace {

void registerVantorObjectsRepositoryType()
{
    qmlRegisterType<VantorObjectsRepository>("Native", 1, 0, "VantorObjectsRepository");
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(registerVantorObjectsRepositoryType)

VantorObjectsRepository::VantorObjectsRepository(QObject* parent) : QObject(parent) {}

VantorObject* VantorObjectsRepository::objectById(const QString& id) const
{
    return m_byId.value(id).get();
}

VantorObjectPtr VantorObjectsRepository::findById(const QString& id) const
{
    return m_byId.value(id);
}

VantorObjectPtr VantorObjectsRepository::findByPath(const QString& path) const
{
    return m_byPath.value(path);
}

bool VantorObjectsRepository::add(const VantorObjectPtr& object, const QString& separator)
{
    if (!object || m_byId.contains(object->id()))
        return false;

    // The repository shares the record with QML through objectById; QML must never delete it.
    QQmlEngine::setObjectOwnership(object.get(), QQmlEngine::CppOwnership);
    m_byId.insert(object->id(), object);
    m_byPath.insert(object->path(), object);

    QStringList parts = object->path().split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() == 1) {
        if (m_root)
            qWarning() << __FILE__ << __LINE__ << ": root != nullptr?";
        m_root = object;
        return true;
    }

    parts.removeLast();
    const VantorObjectPtr parent = m_byPath.value(parts.join(separator));
    if (parent) {
        object->setParentId(parent->id());
        parent->addChildId(object->id());
    } else {
        if (m_root)
            qWarning() << __FILE__ << __LINE__ << " root != nullptr?";
        m_root = object;
    }
    return true;
}

void VantorObjectsRepository::clear()
{
    m_byId.clear();
    m_byPath.clear();
    m_root.reset();
}
