#pragma once

#include <memory>

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "vantorsetting.h"

namespace pelmar::vantor {
class Object;
}

class ActuatorWriter;
class VantorObject;

using VantorObjectPtr = std::shared_ptr<VantorObject>;

// One server object as QML sees it.
class VantorObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Type type READ type WRITE setType NOTIFY typeChanged)
    Q_PROPERTY(QString id READ id WRITE setId NOTIFY idChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString cls READ cls WRITE setCls NOTIFY clsChanged)
    Q_PROPERTY(QString path READ path WRITE setPath NOTIFY pathChanged)
    Q_PROPERTY(QStringList childIds READ childIds WRITE setChildIds NOTIFY childIdsChanged)
    Q_PROPERTY(QString parentId READ parentId WRITE setParentId NOTIFY parentIdChanged)
    Q_PROPERTY(QString serial READ serial WRITE setSerial NOTIFY serialChanged)
    Q_PROPERTY(VantorSetting* settings READ settings NOTIFY settingsChanged)
    Q_PROPERTY(bool value READ value WRITE setValue NOTIFY valueChanged)
    // False until the server has reported a value: `value` is then only a default.
    Q_PROPERTY(bool valueKnown READ valueKnown NOTIFY valueChanged)

public:
    // The numbers are the server's object type numbers.
    enum Type {
        User = 1,
        Device = 2,
        Service = 3,
        Group = 4,
        Script = 5,
        Policy = 6,
        Location = 7,
        Sensor = 8,
        Actuator = 9,
        Stream = 10,
    };
    Q_ENUM(Type)

    explicit VantorObject(QObject* parent = nullptr);
    ~VantorObject() override;

    // An empty pointer for an invalid object or a type the client does not know.
    static VantorObjectPtr fromObject(const pelmar::vantor::Object& object);

    // Where actuator writes go; not owned. Null until the application sets its server client.
    static void setActuatorWriter(ActuatorWriter* writer);
    static ActuatorWriter* actuatorWriter();

    Type type() const { return m_type; }
    QString id() const { return m_id; }
    QString name() const { return m_name; }
    QString cls() const { return m_cls; }
    QString path() const { return m_path; }
    QStringList childIds() const { return m_childIds; }
    QString parentId() const { return m_parentId; }
    QString serial() const { return m_serial; }
    // Made on first use from the fetched pairs: most records of a large site are never asked for
    // their settings, and a list model costs more than the record itself.
    VantorSetting* settings() const;
    bool value() const { return m_value; }
    bool valueKnown() const { return m_valueKnown; }

    void setType(Type type);
    void setId(const QString& id);
    void setName(const QString& name);
    void setCls(const QString& cls);
    void setPath(const QString& path);
    void setChildIds(const QStringList& childIds);
    void setParentId(const QString& parentId);
    void setSerial(const QString& serial);
    // A request to the server for actuators; the stored value follows the server's report.
    void setValue(bool value);

    // Applies a value reported by the server; notifies every time.
    void updateValue(const QVariant& value);

    // Same result as appending `id` to childIds and dropping repeated ids, without copying the
    // list, so that linking many children stays linear. Always notifies.
    void addChildId(const QString& id);

signals:
    void typeChanged();
    void idChanged();
    void nameChanged();
    void clsChanged();
    void pathChanged();
    void childIdsChanged();
    void parentIdChanged();
    void serialChanged();
    void settingsChanged();
    void valueChanged();

private:
    Type m_type{};
    QString m_id;
    QString m_name;
    QString m_cls;
    QString m_path;
    QStringList m_childIds;
    QString m_parentId;
    QString m_serial;
    mutable std::unique_ptr<VantorSetting> m_settings;
    // Settings fetched before the model exists, in server order; moved into it on first use.
    mutable QVector<QPair<QString, QString>> m_pendingSettings;
    bool m_value = false;
    bool m_valueKnown = false;

    // Ids of m_childIds, built on the first addChildId after the list was set.
    QSet<QString> m_childIdIndex;
    bool m_childIdIndexValid = false;
};
