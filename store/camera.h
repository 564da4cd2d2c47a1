// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

// A camera of the local store.
class Camera : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int id READ id WRITE setId NOTIFY idChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString url READ url WRITE setUrl NOTIFY urlChanged)

public:
    explicit Camera(QObject* parent = nullptr);

    int id() const { return m_id; }
    void setId(int id);
    QString name() const { return m_name; }
    void setName(const QString& name);
    QString url() const { return m_url; }
    void setUrl(const QString& url);

signals:
    void idChanged();
    void nameChanged();
    void urlChanged();

private:
    int m_id = 0;
    QString m_name;
    QString m_url;
};
