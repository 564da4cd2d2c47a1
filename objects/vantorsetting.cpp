#include "vantorsetting.h"

#include <QCoreApplication>
#include <QQmlEngine>

VantorSetting::VantorSetting(QObject* parent) : QAbstractListModel(parent) {}

bool VantorSetting::contains(const QString& key) const
{
    return m_values.contains(key);
}

QString VantorSetting::prop(const QString& key) const
{
    return m_values.value(key);
}

void VantorSetting::insert(const QString& key, const QString& value)
{
    if (m_values.contains(key))
        return;
    const int row = m_keys.size();
    beginInsertRows(QModelIndex(), row, row);
    m_keys.append(key);
    m_values.insert(key, value);
    endInsertRows();
}

int VantorSetting::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_keys.size();
}

bool VantorSetting::isRow(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && !index.parent().isValid() && index.column() == 0 &&
           index.row() >= 0 && index.row() < m_keys.size();
}

QVariant VantorSetting::data(const QModelIndex& index, int role) const
{
    if (!isRow(index))
        return QVariant();
    const QString& key = m_keys.at(index.row());
    switch (role) {
    case KeyRole:
        return key;
    case ValueRole:
        return m_values.value(key);
    default:
        return QVariant();
    }
}

bool VantorSetting::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!isRow(index) || (role != KeyRole && role != ValueRole))
        return false;
    const int row = index.row();
    const QString key = m_keys.at(row);
    if (!m_values.contains(key))
        return false;

    if (role == ValueRole) {
        m_values.insert(key, value.toString());
        emit dataChanged(index, index, {ValueRole});
        return true;
    }

    // Take before inserting, so that renaming a key to itself keeps its value.
    const QString newKey = value.toString();
    const QString moved = m_values.take(key);
    m_values.insert(newKey, moved);
    m_keys[row] = newKey;
    emit dataChanged(index, index, {KeyRole, ValueRole});
    // Another row holding the new key now shows the moved value.
    for (int other = 0; other < m_keys.size(); ++other) {
        if (other != row && m_keys.at(other) == newKey) {
            const QModelIndex otherIndex = this->index(other);
            emit dataChanged(otherIndex, otherIndex, {ValueRole});
        }
    }
    return true;
}

Qt::ItemFlags VantorSetting::flags(const QModelIndex& index) const
{
    if (!isRow(index))
        return QAbstractListModel::flags(index);
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable;
}

QHash<int, QByteArray> VantorSetting::roleNames() const
{
    static const QHash<int, QByteArray> names{
        {KeyRole, "key"},
        {ValueRole, "value"},
    };
    return names;
}
