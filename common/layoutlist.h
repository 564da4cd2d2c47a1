// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <vector>

#include <QAbstractListModel>

// A flat list of named layouts, each carrying its layout JSON text unchanged. Names need not be
// unique; order is insertion order.
class LayoutList : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        NameRole = Qt::UserRole + 1,
        JsonRole,
    };

    explicit LayoutList(QObject* parent = nullptr);
    ~LayoutList() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void clear();
    void append(const QString& name, const QString& json);

private:
    struct Entry
    {
        QString name;
        QString json;
    };
    std::vector<std::shared_ptr<const Entry>> m_entries;
};
