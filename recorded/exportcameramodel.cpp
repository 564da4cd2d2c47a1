// SPDX-License-Identifier: MIT
#include "exportcameramodel.h"

#include <algorithm>

ExportCameraModel::ExportCameraModel(QObject* parent) : QAbstractListModel(parent) {}

int ExportCameraModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

QVariant ExportCameraModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case CameraRole:
        return row.camera;
    case StreamIdRole:
        return row.streamId;
    case ProgressRole:
        return row.progress;
    case StateRole:
        return int(row.state);
    case FileRole:
        return row.file;
    case ErrorRole:
        return row.error;
    default:
        return {};
    }
}

QHash<int, QByteArray> ExportCameraModel::roleNames() const
{
    static const QHash<int, QByteArray> names{
        {CameraRole, "camera"}, {StreamIdRole, "streamId"}, {ProgressRole, "progress"},
        {StateRole, "state"},   {FileRole, "file"},         {ErrorRole, "error"},
    };
    return names;
}

QVariantMap ExportCameraModel::get(int index) const
{
    if (index < 0 || index >= m_rows.size())
        return {};
    QVariantMap map;
    const QHash<int, QByteArray> names = roleNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        map.insert(QString::fromLatin1(it.value()), data(this->index(index), it.key()));
    return map;
}

void ExportCameraModel::reset(const QVector<Row>& rows)
{
    const int before = m_rows.size();
    beginResetModel();
    m_rows = rows;
    endResetModel();
    if (before != m_rows.size())
        emit countChanged();
}

void ExportCameraModel::setProgress(int index, qreal progress)
{
    if (index < 0 || index >= m_rows.size())
        return;
    progress = std::clamp(progress, 0.0, 1.0);
    if (m_rows[index].progress == progress)
        return;
    m_rows[index].progress = progress;
    changed(index, {ProgressRole});
}

void ExportCameraModel::setState(int index, State state, const QString& error)
{
    if (index < 0 || index >= m_rows.size())
        return;
    Row& row = m_rows[index];
    QVector<int> roles;
    if (row.state != state) {
        row.state = state;
        roles << StateRole;
    }
    if (row.error != error) {
        row.error = error;
        roles << ErrorRole;
    }
    const bool through = state == Done || state == Failed || state == NoRecording;
    if (through && row.progress != 1.0) {
        row.progress = 1.0;
        roles << ProgressRole;
    }
    if (!roles.isEmpty())
        changed(index, roles);
}

void ExportCameraModel::setFile(int index, const QString& file)
{
    if (index < 0 || index >= m_rows.size() || m_rows[index].file == file)
        return;
    m_rows[index].file = file;
    changed(index, {FileRole});
}

void ExportCameraModel::changed(int index, const QVector<int>& roles)
{
    const QModelIndex at = this->index(index);
    emit dataChanged(at, at, roles);
}
