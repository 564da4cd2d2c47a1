// SPDX-License-Identifier: MIT
#include "treenode.h"

#include <QCoreApplication>
#include <QQmlEngine>

#include "treemodel.h"

TreeNode::TreeNode(QObject* parent) : QObject(parent) {}

// Out of line, where TreeModel is complete.
TreeNode::~TreeNode() = default;

void TreeNode::setLabel(const QString& label)
{
    if (m_label == label)
        return;
    m_label = label;
    emit labelChanged();
}

void TreeNode::setId(const QString& id)
{
    if (m_id == id)
        return;
    m_id = id;
    emit idChanged();
}

void TreeNode::setIcon(const QString& icon)
{
    if (m_icon == icon)
        return;
    m_icon = icon;
    emit iconChanged();
}

QAbstractItemModel* TreeNode::childItems() const
{
    return m_childItems.get();
}

void TreeNode::setChildItems(const std::shared_ptr<TreeModel>& childItems)
{
    if (childItems)
        QQmlEngine::setObjectOwnership(childItems.get(), QQmlEngine::CppOwnership);
    m_childItems = childItems;
    emit childItemsChanged();
}

void TreeNode::setLevel(int level)
{
    if (m_level == level)
        return;
    m_level = level;
    emit levelChanged();
}

void TreeNode::setExpanded(bool expanded)
{
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    emit expandedChanged();
}
