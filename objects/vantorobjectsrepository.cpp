#include "vantorobjectsrepository.h"

#include <algorithm>
#include <functional>
#include <vector>

#include <QCoreApplication>
#include <QDebug>
#include <QQmlEngine>
#include <QStringList>

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

    // The parent's path is the record's path without its last part. For a one-character separator
    // that is everything before its last occurrence, found without splitting the whole path.
    QString parentPath;
    bool topLevel = false;
    if (separator.size() == 1) {
        const int last = object->path().lastIndexOf(separator, -1, Qt::CaseSensitive);
        topLevel = last < 0;
        parentPath = object->path().left(last);
    } else {
        QStringList parts = object->path().split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
        topLevel = parts.size() == 1;
        parts.removeLast();
        parentPath = parts.join(separator);
    }
    if (topLevel) {
        if (m_root)
            qWarning() << __FILE__ << __LINE__ << ": root != nullptr?";
        m_root = object;
        return true;
    }

    const VantorObjectPtr parent = m_byPath.value(parentPath);
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

void VantorObjectsRepository::reserve(int size)
{
    m_byId.reserve(size);
    m_byPath.reserve(size);
}

void VantorObjectsRepository::clear()
{
    // Released in address order: a record was allocated together with its members, so the frees
    // walk the heap forward. In hash order a large site spent most of its clear on cache misses.
    std::vector<VantorObjectPtr> records;
    records.reserve(std::size_t(m_byId.size()));
    for (const VantorObjectPtr& record : qAsConst(m_byId))
        records.push_back(record);
    std::sort(records.begin(), records.end(), [](const VantorObjectPtr& a, const VantorObjectPtr& b) {
        return std::less<const VantorObject*>()(a.get(), b.get());
    });
    m_byId.clear();
    m_byPath.clear();
    m_root.reset();
    for (VantorObjectPtr& record : records)
        record.reset();
}
