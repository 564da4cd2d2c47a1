// SPDX-License-Identifier: MIT
#include "cameralist.h"

#include <QQmlEngine>

CameraList::CameraList(QObject* parent) : QAbstractListModel(parent) {}

int CameraList::rowCount(const QModelIndex& parent) const
{
    // A flat list: rows have no children.
    return parent.isValid() ? 0 : m_ids.size();
}

QVariant CameraList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.parent().isValid() || index.column() != 0 ||
        index.row() < 0 || index.row() >= m_ids.size() || role != CameraRole)
        return QVariant();
    return QVariant::fromValue<QObject*>(camera(m_ids.at(index.row())));
}

QHash<int, QByteArray> CameraList::roleNames() const
{
    static const QHash<int, QByteArray> names{
        {CameraRole, "camera"},
    };
    return names;
}

Camera* CameraList::camera(int id) const
{
    const auto it = m_cameras.constFind(id);
    return it == m_cameras.constEnd() ? nullptr : it.value().get();
}

bool CameraList::append(int id, const std::shared_ptr<Camera>& camera)
{
    if (!camera || m_present.contains(id))
        return false;
    // QML must never delete a camera that the list still holds.
    QQmlEngine::setObjectOwnership(camera.get(), QQmlEngine::CppOwnership);
    const int row = m_ids.size();
    beginInsertRows(QModelIndex(), row, row);
    m_ids.append(id);
    m_present.insert(id);
    m_cameras.insert(id, camera);
    endInsertRows();
    return true;
}

void CameraList::update(int id, const Camera& record)
{
    Camera* existing = camera(id);
    if (!existing)
        return;
    existing->setName(record.name());
    existing->setUrl(record.url());
}

void CameraList::remove(int id)
{
    if (!m_present.contains(id))
        return;
    const int row = m_ids.indexOf(id);
    beginRemoveRows(QModelIndex(), row, row);
    m_present.remove(id);
    m_ids.removeAt(row);
    // Released after the row is gone, so that no view still shows a deleted camera.
    const std::shared_ptr<Camera> released = m_cameras.take(id);
    endRemoveRows();
}
