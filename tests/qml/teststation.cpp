// SPDX-License-Identifier: MIT
#include "teststation.h"

#include <memory>

#include <QSettings>
#include <QtDebug>

#include "alarmcenter.h"
#include "app.h"
#include "eventlistmodel.h"
#include "logcapture.h"
#include "mpvobject.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

TestStation::TestStation(QObject* parent) : QObject(parent) {}

TestStation::~TestStation()
{
    if (VantorObject::actuatorWriter() == this)
        VantorObject::setActuatorWriter(nullptr);
}

VantorObject* TestStation::addObject(const QVariantMap& description)
{
    App* app = App::instance();
    if (!app) {
        qWarning() << "TestStation::addObject: no App yet";
        return nullptr;
    }
    VantorObjectsRepository* repository = app->vantorRepository();
    // One root for all, so that each object is filed under it without complaint.
    if (!repository->root()) {
        auto root = std::make_shared<VantorObject>();
        root->setId(QStringLiteral("900000"));
        root->setName(QStringLiteral("Site"));
        root->setType(VantorObject::Location);
        root->setPath(QStringLiteral("Site"));
        repository->add(root, QStringLiteral(","));
    }
    auto object = std::make_shared<VantorObject>();
    object->setId(description.value(QStringLiteral("id")).toString());
    object->setName(description.value(QStringLiteral("name")).toString());
    object->setType(static_cast<VantorObject::Type>(description.value(QStringLiteral("type")).toInt()));
    object->setCls(description.value(QStringLiteral("cls")).toString());
    const QString path = description.value(QStringLiteral("path"), QStringLiteral("Site,") + object->id()).toString();
    object->setPath(path);
    const QVariantMap settings = description.value(QStringLiteral("settings")).toMap();
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        object->settings()->insert(it.key(), it.value().toString());
    if (!repository->add(object, QStringLiteral(",")))
        return repository->objectById(object->id());
    return object.get();
}

void TestStation::clearObjects()
{
    if (App* app = App::instance()) {
        app->vantorRepository()->clear();
        emit app->vantorRepository()->dataChanged();
    }
}

void TestStation::announceObjects()
{
    if (App* app = App::instance())
        emit app->vantorRepository()->dataChanged();
}

void TestStation::report(VantorObject* object, bool value)
{
    if (object)
        object->updateValue(value);
}

void TestStation::captureWrites()
{
    VantorObject::setActuatorWriter(this);
}

void TestStation::clearWrites()
{
    m_writes.clear();
    emit writesChanged();
}

void TestStation::setActrValue(const QString& id, bool value)
{
    m_writes.append(QVariantMap{{QStringLiteral("id"), id}, {QStringLiteral("value"), value}});
    emit writesChanged();
}

void TestStation::storeLoginFields(const QVariantMap& fields)
{
    QSettings settings;
    settings.clear();
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

void TestStation::reportSignedIn()
{
    // The application then fetches objects and layouts; without a connection the requests fail
    // and the objects the tests added stay.
    if (App* app = App::instance())
        emit app->vantorClient()->loggedIn(1);
}

void TestStation::reportConnectionClosed()
{
    // No server address is set in these tests: each reconnection attempt fails at once, without
    // a connection that could report anything later.
    if (App* app = App::instance())
        emit app->vantorClient()->connectionStateChanged(VantorClient::Closed, VantorClient::Open);
}

void TestStation::raiseEvent(const QVariantMap& description, bool updated)
{
    App* app = App::instance();
    if (!app || !app->alarms()) {
        qWarning() << "TestStation::raiseEvent: no alarm center yet";
        return;
    }
    pelmar::vantor::Event event;
    event.className = description.value(QStringLiteral("className")).toString().toStdString();
    event.eventId = description.value(QStringLiteral("eventId")).toLongLong();
    event.sourceId = description.value(QStringLiteral("sourceId")).toLongLong();
    event.timestamp = description.value(QStringLiteral("timestamp")).toLongLong();
    event.priority = description.value(QStringLiteral("priority")).toInt();
    const QVariantMap fields = description.value(QStringLiteral("fields")).toMap();
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        event.fields.setValue(it.key().toStdString(), pelmar::vantor::StringValue(it.value().toString().toStdString()));
    app->alarms()->handleServerEvent(event, updated);
    app->alarms()->model()->publishPending();
}

void TestStation::setRenderDelay(int ms)
{
    MpvObject::setRenderDelayForTesting(ms);
}

void TestStation::assumeHardwareDecoder(const QString& name)
{
    MpvObject::setAssumedHardwareDecoderForTesting(name);
}

void TestStation::startLogCapture()
{
    m_log.reset();
    m_log = std::make_unique<LogCapture>();
}

void TestStation::stopLogCapture()
{
    m_log.reset();
}

QStringList TestStation::logLines() const
{
    return m_log ? m_log->lines() : QStringList();
}
