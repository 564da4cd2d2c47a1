// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>

#include "actuatorwriter.h"

class LogCapture;
class VantorObject;

// What the QML tests need of the native side beyond the registered types: server objects put
// into the application's repository, and actuator writes that are recorded instead of sent, so
// that a test plays the server's reports itself.
class TestStation : public QObject, public ActuatorWriter
{
    Q_OBJECT
    Q_PROPERTY(QVariantList writes READ writes NOTIFY writesChanged)

public:
    explicit TestStation(QObject* parent = nullptr);
    ~TestStation() override;

    QVariantList writes() const { return m_writes; }

    // Keys: id, name, type (VantorObject type number), cls, path, settings (a map of texts).
    Q_INVOKABLE VantorObject* addObject(const QVariantMap& description);
    // Empties the application's repository and announces the rebuild.
    Q_INVOKABLE void clearObjects();
    Q_INVOKABLE void announceObjects();
    // Plays a server report of a sensor or actuator value.
    Q_INVOKABLE void report(VantorObject* object, bool value);
    // Routes actuator writes here from now on.
    Q_INVOKABLE void captureWrites();
    Q_INVOKABLE void clearWrites();
    // Writes the login page's fields to the settings store, as an earlier run would have.
    Q_INVOKABLE void storeLoginFields(const QVariantMap& fields);
    // Play what the server client reports, so that the application itself changes state: a
    // finished sign-in, and a connection that closed after one.
    Q_INVOKABLE void reportSignedIn();
    Q_INVOKABLE void reportConnectionClosed();
    // Slows the drawing of every video frame by this much (0: full speed), as a machine that
    // cannot keep up would.
    Q_INVOKABLE void setRenderDelay(int ms);
    // Video items made from now on take their decoder for this hardware decoder (empty: what the
    // player reports), as on a machine that has one.
    Q_INVOKABLE void assumeHardwareDecoder(const QString& name);
    // The log from startLogCapture on, until stopLogCapture; its lines are not printed meanwhile.
    Q_INVOKABLE void startLogCapture();
    Q_INVOKABLE void stopLogCapture();
    Q_INVOKABLE QStringList logLines() const;
    // A folder of this test run, removed at its end: for files the pages write (exports,
    // snapshots).
    Q_INVOKABLE QString temporaryFolder() const { return m_folder.path(); }
    // Plays an event of the server into the application's alarm center, shown at once (not with
    // the model's next batch). Keys: className, sourceId, priority, eventId, timestamp (ms) and
    // fields (a map of texts); updated: the server's update of an event it sent (its end).
    Q_INVOKABLE void raiseEvent(const QVariantMap& event, bool updated = false);

    void setActrValue(const QString& id, bool value) override;

signals:
    void writesChanged();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<LogCapture> m_log;
    QVariantList m_writes;
};
