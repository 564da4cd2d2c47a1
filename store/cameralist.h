// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QAbstractListModel>
#include <QMap>
#include <QSet>
#include <QVector>

#include "camera.h"

// The cameras of the local store for QML, one row per camera in the order they were first seen.
// The list owns its cameras; a camera keeps its object for as long as its row exists.
class CameraList : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        CameraRole = Qt::UserRole + 1,
    };
    Q_ENUM(Roles)

    explicit CameraList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool contains(int id) const { return m_present.contains(id); }
    QVector<int> ids() const { return m_ids; }
    Camera* camera(int id) const;

    // A new row at the end; false, and nothing changes, when the id already has a row.
    bool append(int id, const std::shared_ptr<Camera>& camera);
    // Copies name and url of the record into the existing camera of that id.
    void update(int id, const Camera& record);
    void remove(int id);

private:
    QVector<int> m_ids;
    QMap<int, std::shared_ptr<Camera>> m_cameras;
    QSet<int> m_present;
};
