// SPDX-License-Identifier: MIT
#include "treemodel.h"

#include <QCoreApplication>
#include <QQmlEngine>

TreeModel::TreeModel(QObject* parent) : TreeModel(0, parent) {}

TreeModel::TreeModel(int level, QObject* parent) : QAbstractListModel(parent), m_level(level) {}

TreeNode* TreeModel::node(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_nodes.size()))
        return nullptr;
    return m_nodes[static_cast<size_t>(row)].get();
}

bool TreeModel::insertRow(const QVariantMap& obj)
{
    const int row = static_cast<int>(m_nodes.size());
    auto node = std::make_shared<TreeNode>();
    node->setLevel(m_level);
    if (obj.contains(QStringLiteral("label")))
        node->setLabel(obj.value(QStringLiteral("label")).toString());
    if (obj.contains(QStringLiteral("icon")))
        node->setIcon(obj.value(QStringLiteral("icon")).toString());
    if (obj.contains(QStringLiteral("childItems"))) {
        // An empty list still gives a child model: the view shows an expander with nothing under it.
        auto children = std::make_shared<TreeModel>(m_level + 1);
        const QVariantList items = obj.value(QStringLiteral("childItems")).toList();
        for (const QVariant& item : items)
            children->insertRow(item.toMap());
        node->setChildItems(children);
    }

    beginInsertRows(QModelIndex(), row, row);
    m_nodes.push_back(node);
    endInsertRows();
    return true;
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    // Children live in models of their own, never under a row of this one.
    return parent.isValid() ? 0 : static_cast<int>(m_nodes.size());
}

bool TreeModel::isRow(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && !index.parent().isValid() && index.column() == 0 &&
           index.row() >= 0 && index.row() < static_cast<int>(m_nodes.size());
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    if (!isRow(index))
        return QVariant();
    const TreeNode* n = m_nodes[static_cast<size_t>(index.row())].get();
    switch (role) {
    case Qt::DisplayRole:
    case LabelRole:
        return n->label();
    case IdRole:
        return n->id();
    case IconRole:
        return n->icon();
    case ChildItemsRole:
        return QVariant::fromValue<QAbstractItemModel*>(n->childItems());
    case LevelRole:
        return n->level();
    case ExpandedRole:
        return n->expanded();
    default:
        return QVariant();
    }
}

bool TreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != ExpandedRole || !isRow(index) || !value.isValid())
        return false;
    m_nodes[static_cast<size_t>(index.row())]->setExpanded(value.toBool());
    emit dataChanged(index, index, {ExpandedRole});
    return true;
}

QHash<int, QByteArray> TreeModel::roleNames() const
{
    static const QHash<int, QByteArray> names{
        {LabelRole, "label"},           {IdRole, "id"},       {IconRole, "icon"},
        {ChildItemsRole, "childItems"}, {LevelRole, "level"}, {ExpandedRole, "expanded"},
    };
    return names;
}
