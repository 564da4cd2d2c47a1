// SPDX-License-Identifier: MIT
#include "layoutlist.h"

LayoutList::LayoutList(QObject* parent) : QAbstractListModel(parent) {}

LayoutList::~LayoutList() = default;

int LayoutList::rowCount(const QModelIndex& parent) const
{
    // A flat list: rows have no children, or views would recurse into every row.
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_entries.size());
}

QVariant LayoutList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.column() < 0 || index.row() >= rowCount())
        return QVariant();
    const Entry& entry = *m_entries[static_cast<std::size_t>(index.row())];
    switch (role) {
    case NameRole:
        return entry.name;
    case JsonRole:
        return entry.json;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> LayoutList::roleNames() const
{
    static const QHash<int, QByteArray> roles{{NameRole, "name"}, {JsonRole, "json"}};
    return roles;
}

void LayoutList::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

void LayoutList::append(const QString& name, const QString& json)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.push_back(std::make_shared<const Entry>(Entry{name, json}));
    endInsertRows();
}
