// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <vector>

#include <QAbstractListModel>
#include <QVariantMap>

#include "treenode.h"

// One level of a collapsible tree built from nested maps; a node's children form a model of the
// next level. The model owns its nodes and, through them, every deeper level. It only grows.
class TreeModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        LabelRole = Qt::UserRole + 1,
        IdRole,
        IconRole,
        ChildItemsRole,
        LevelRole,
        ExpandedRole,
    };
    Q_ENUM(Roles)

    explicit TreeModel(QObject* parent = nullptr);
    explicit TreeModel(int level, QObject* parent = nullptr);

    int level() const { return m_level; }
    TreeNode* node(int row) const;

    // Appends one node from "label", "icon" and a "childItems" list of such maps; other keys
    // are ignored. Always true.
    Q_INVOKABLE bool insertRow(const QVariantMap& obj);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Only "expanded" can be written.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QHash<int, QByteArray> roleNames() const override;

private:
    bool isRow(const QModelIndex& index) const;

    int m_level = 0;
    std::vector<std::shared_ptr<TreeNode>> m_nodes;
};
