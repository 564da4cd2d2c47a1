#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include "vantorobject.h"

// Every record of the current server connection, indexed by id and by path.
class VantorObjectsRepository : public QObject
{
    Q_OBJECT
    Q_PROPERTY(VantorObject* root READ root NOTIFY rootChanged)

public:
    explicit VantorObjectsRepository(QObject* parent = nullptr);

    VantorObject* root() const { return m_root.get(); }

    // Null when absent; never adds an entry.
    Q_INVOKABLE VantorObject* objectById(const QString& id) const;
    VantorObjectPtr findById(const QString& id) const;
    VantorObjectPtr findByPath(const QString& path) const;
    const QHash<QString, VantorObjectPtr>& objects() const { return m_byId; }

    // Files the record and links it to the record at its parent path. False when the id is
    // already filed; the first record of an id stays.
    bool add(const VantorObjectPtr& object, const QString& separator);
    // Room for `size` records, so that filling the indexes does not rehash them again and again.
    void reserve(int size);
    void clear();

signals:
    void rootChanged();
    void dataChanged();

private:
    QHash<QString, VantorObjectPtr> m_byId;
    QHash<QString, VantorObjectPtr> m_byPath;
    VantorObjectPtr m_root;
};
