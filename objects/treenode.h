// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QAbstractItemModel>
#include <QObject>
#include <QString>

class TreeModel;

// One row of a tree level. A node with children owns the model of the next level.
class TreeNode : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString label READ label WRITE setLabel NOTIFY labelChanged)
    Q_PROPERTY(QString id READ id WRITE setId NOTIFY idChanged)
    Q_PROPERTY(QString icon READ icon WRITE setIcon NOTIFY iconChanged)
    Q_PROPERTY(QAbstractItemModel* childItems READ childItems NOTIFY childItemsChanged)
    Q_PROPERTY(int level READ level NOTIFY levelChanged)
    Q_PROPERTY(bool expanded READ expanded WRITE setExpanded NOTIFY expandedChanged)

public:
    explicit TreeNode(QObject* parent = nullptr);
    ~TreeNode() override;

    QString label() const { return m_label; }
    void setLabel(const QString& label);
    QString id() const { return m_id; }
    void setId(const QString& id);
    QString icon() const { return m_icon; }
    void setIcon(const QString& icon);
    // Null when the node has no child list.
    QAbstractItemModel* childItems() const;
    void setChildItems(const std::shared_ptr<TreeModel>& childItems);
    int level() const { return m_level; }
    void setLevel(int level);
    bool expanded() const { return m_expanded; }
    void setExpanded(bool expanded);

signals:
    void labelChanged();
    void idChanged();
    void iconChanged();
    void childItemsChanged();
    void levelChanged();
    void expandedChanged();

private:
    QString m_label;
    QString m_id;
    QString m_icon;
    std::shared_ptr<TreeModel> m_childItems;
    int m_level = 0;
    bool m_expanded = false;
};
