#pragma once

#include <QAbstractListModel>
#include <QMap>
#include <QString>
#include <QVector>

// Name/value pairs of one server object, in the order the server listed them.
class VantorSetting : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Roles {
        KeyRole = Qt::UserRole + 1,
        ValueRole,
    };
    Q_ENUM(Roles)

    explicit VantorSetting(QObject* parent = nullptr);

    Q_INVOKABLE bool contains(const QString& key) const;
    Q_INVOKABLE QString prop(const QString& key) const;

    // The first value of a key stays; a repeated key is ignored.
    void insert(const QString& key, const QString& value);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    bool isRow(const QModelIndex& index) const;

    QVector<QString> m_keys;
    QMap<QString, QString> m_values;
};
