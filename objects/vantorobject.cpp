#include "vantorobject.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QQmlEngine>

#include <vantor/vantor.h>

#include "actuatorwriter.h"

namespace {

ActuatorWriter* s_actuatorWriter = nullptr;

// Setting names, class names and parent ids repeat across the records of a site; one shared copy
// of each saves an allocation per use. Bounded, so that a site of unique texts cannot grow it.
class TextCache
{
public:
    QString text(const std::string& utf8)
    {
        const int size = static_cast<int>(utf8.size());
        // A raw view of the bytes for the lookup; only a new entry copies them.
        const auto found = m_texts.constFind(QByteArray::fromRawData(utf8.data(), size));
        if (found != m_texts.constEnd())
            return found.value();
        if (m_texts.size() >= kMaxEntries)
            m_texts.clear();
        const QString text = QString::fromStdString(utf8);
        m_texts.insert(QByteArray(utf8.data(), size), text);
        return text;
    }

    QString number(qint64 value)
    {
        const auto found = m_numbers.constFind(value);
        if (found != m_numbers.constEnd())
            return found.value();
        if (m_numbers.size() >= kMaxEntries)
            m_numbers.clear();
        const QString text = QString::number(value);
        m_numbers.insert(value, text);
        return text;
    }

private:
    static constexpr int kMaxEntries = 4096;
    QHash<QByteArray, QString> m_texts;
    QHash<qint64, QString> m_numbers;
};

TextCache& textCache()
{
    static thread_local TextCache cache;
    return cache;
}

} // namespace

VantorObject::VantorObject(QObject* parent) : QObject(parent) {}

VantorObject::~VantorObject() = default;

VantorSetting* VantorObject::settings() const
{
    if (!m_settings) {
        m_settings = std::make_unique<VantorSetting>();
        // QML reads the settings through a property; it must never take them over.
        QQmlEngine::setObjectOwnership(m_settings.get(), QQmlEngine::CppOwnership);
        for (const QPair<QString, QString>& setting : qAsConst(m_pendingSettings))
            m_settings->insert(setting.first, setting.second);
        m_pendingSettings.clear();
        m_pendingSettings.squeeze();
    }
    return m_settings.get();
}

VantorObjectPtr VantorObject::fromObject(const pelmar::vantor::Object& object)
{
    if (!object.isValid())
        return {};

    auto record = std::make_shared<VantorObject>();
    QQmlEngine::setObjectOwnership(record.get(), QQmlEngine::CppOwnership);

    const int type = object.type();
    if (type <= 0 || type > Stream) {
        qWarning() << "Unknow type: " << type;
        return {};
    }

    record->setType(static_cast<Type>(type));
    TextCache& cache = textCache();
    record->setCls(cache.text(object.className()));
    record->setId(QString::number(object.id()));
    record->setName(QString::fromStdString(object.name()));
    QStringList childIds;
    childIds.reserve(static_cast<int>(object.children().size()));
    for (pelmar::vantor::ObjectId child : object.children())
        childIds.append(QString::number(child));
    record->setChildIds(childIds);
    record->setParentId(cache.number(object.parent()));

    const pelmar::vantor::NameValueMap& settings = object.settings();
    const auto& names = settings.names();
    record->m_pendingSettings.reserve(static_cast<int>(names.size()));
    for (const std::string& name : names)
        record->m_pendingSettings.append({cache.text(name), QString::fromStdString(settings.value(name).toString())});

    std::string serial;
    switch (type) {
    case Device:
        serial = object.toDevice().serialNumber();
        break;
    case Sensor:
        serial = object.toSensor().serialNumber();
        break;
    case Actuator:
        serial = object.toActuator().serialNumber();
        break;
    case Stream:
        serial = object.toStream().serialNumber();
        break;
    case Location:
        break;
    default:
        qDebug() << "No serial for type: " << type;
        break;
    }
    record->setSerial(QString::fromStdString(serial));
    return record;
}

void VantorObject::setActuatorWriter(ActuatorWriter* writer)
{
    s_actuatorWriter = writer;
}

ActuatorWriter* VantorObject::actuatorWriter()
{
    return s_actuatorWriter;
}

void VantorObject::setType(Type type)
{
    if (m_type == type)
        return;
    m_type = type;
    emit typeChanged();
}

void VantorObject::setId(const QString& id)
{
    if (m_id == id)
        return;
    m_id = id;
    emit idChanged();
}

void VantorObject::setName(const QString& name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit nameChanged();
}

void VantorObject::setCls(const QString& cls)
{
    if (m_cls == cls)
        return;
    m_cls = cls;
    emit clsChanged();
}

void VantorObject::setPath(const QString& path)
{
    if (m_path == path)
        return;
    m_path = path;
    emit pathChanged();
}

void VantorObject::setChildIds(const QStringList& childIds)
{
    m_childIds = childIds;
    m_childIdIndex.clear();
    m_childIdIndexValid = false;
    emit childIdsChanged();
}

void VantorObject::setParentId(const QString& parentId)
{
    if (m_parentId == parentId)
        return;
    m_parentId = parentId;
    emit parentIdChanged();
}

void VantorObject::setSerial(const QString& serial)
{
    if (m_serial == serial)
        return;
    m_serial = serial;
    emit serialChanged();
}

void VantorObject::setValue(bool value)
{
    if (m_type != Actuator)
        return;
    if (!s_actuatorWriter) {
        qWarning() << "No server client to send actuator value, id:" << m_id << "value:" << value;
        return;
    }
    s_actuatorWriter->setActrValue(m_id, value);
}

void VantorObject::updateValue(const QVariant& value)
{
    m_value = value.toBool();
    m_valueKnown = true;
    emit valueChanged();
}

void VantorObject::addChildId(const QString& id)
{
    if (!m_childIdIndexValid) {
        QStringList unique;
        unique.reserve(m_childIds.size());
        m_childIdIndex.reserve(m_childIds.size() + 1);
        for (const QString& child : qAsConst(m_childIds)) {
            if (!m_childIdIndex.contains(child)) {
                m_childIdIndex.insert(child);
                unique.append(child);
            }
        }
        if (unique.size() != m_childIds.size())
            m_childIds = unique;
        m_childIdIndexValid = true;
    }
    if (!m_childIdIndex.contains(id)) {
        m_childIdIndex.insert(id);
        m_childIds.append(id);
    }
    emit childIdsChanged();
}
