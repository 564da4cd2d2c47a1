// SPDX-License-Identifier: MIT
// What the fault tests share: the simulator on fixed ports (so that a restarted one is found where
// the first one was), the client's window in this process with a replica of its remote interface,
// and readings of this process's memory.
#pragma once

#include <memory>

#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

#include "clienttestmain.h"
#include "programrun.h"
#include "replicaside.h"
#include "startup.h"
#include "uitestsupport.h"

namespace faults {

struct SimPorts
{
    int server = 0;
    int gatewayHttp = 0;
    int pos = 0;
};

// Ports for the simulator and `extraCount` more, all from one probe so that none is handed out twice.
inline SimPorts freeSimPorts(QList<int>& extra, int extraCount)
{
    const QList<int> ports = uitest::freePorts(3 + extraCount);
    if (ports.size() != 3 + extraCount)
        return {};
    extra = ports.mid(3);
    return {ports[0], ports[1], ports[2]};
}

// vantor-sim on the given ports; a second start after a kill takes the same ones.
class SimRun
{
public:
    bool start(const QString& sitePath, const SimPorts& ports, const QString& workDir)
    {
        m_ports = ports;
        m_output.clear();
        const QStringList arguments{QStringLiteral("--site"),         sitePath,
                                    QStringLiteral("--port"),         QString::number(ports.server),
                                    QStringLiteral("--gateway-port"), QString::number(ports.gatewayHttp),
                                    QStringLiteral("--pos-port"),     QString::number(ports.pos),
                                    QStringLiteral("--media-dir"),    workDir + QStringLiteral("/media"),
                                    QStringLiteral("--verbose")};
        m_run = std::make_unique<ProgramRun>();
        if (!m_run->start(QStringLiteral(SIM_BINARY), arguments, workDir))
            return false;
        static_cast<void>(QTest::qWaitFor(
            [this] {
                return output().contains(QLatin1String("vantor-sim: ready")) ||
                       m_run->process().state() == QProcess::NotRunning;
            },
            20000));
        return output().contains(QLatin1String("vantor-sim: ready")) &&
               m_run->process().state() != QProcess::NotRunning;
    }

    // SIGKILL, as a crash or a power cut of the server would do.
    void kill()
    {
        if (!m_run)
            return;
        output();
        m_run->process().kill();
        m_run->process().waitForFinished(5000);
    }

    void stop()
    {
        if (m_run)
            m_run->stop();
    }

    bool running() const { return m_run && m_run->process().state() == QProcess::Running; }

    QString output()
    {
        if (m_run) {
            m_output += QString::fromUtf8(m_run->process().readAllStandardOutput());
            m_output += QString::fromUtf8(m_run->process().readAllStandardError());
        }
        return m_output;
    }

    const SimPorts& ports() const { return m_ports; }

private:
    std::unique_ptr<ProgramRun> m_run;
    QString m_output;
    SimPorts m_ports;
};

// The client's window, QML and controller, signed in from stored login fields.
class ClientUnderTest
{
public:
    // Stores the login fields and the remote interface's address, then loads the window.
    bool load(int serverPort, int ipcPort)
    {
        m_ipcUrl = QStringLiteral("tcp://127.0.0.1:%1").arg(ipcPort);
        if (!uitest::writeFile(QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini"),
                               "[IPC]\nurl=" + m_ipcUrl.toUtf8() + "\n"))
            return false;
        QSettings login;
        login.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        login.setValue(QStringLiteral("port"), QString::number(serverPort));
        login.setValue(QStringLiteral("user"), QStringLiteral("operator"));
        login.setValue(QStringLiteral("pass"), QStringLiteral("secret"));
        login.sync();
        if (login.status() != QSettings::NoError)
            return false;

        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->rootContext()->setContextProperty(QStringLiteral("debug"), false);
        m_engine->addImportPath(QStringLiteral("qrc:/qml"));
        m_engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
        return window() && QTest::qWaitForWindowExposed(window());
    }

    // The remote interface as the companion sees it.
    bool connectReplica()
    {
        m_replica = std::make_unique<ReplicaSide>(QUrl(m_ipcUrl));
        QObject::connect(m_replica.get(), &ReplicaSide::layoutListChanged, m_replica.get(),
                         [this](const QStringList& names, const QStringList& jsons) {
                             m_layoutNames = names;
                             m_layoutJsons = jsons;
                         });
        return m_replica->waitForSource(10000);
    }

    void unload()
    {
        m_replica.reset();
        m_engine.reset();
    }

    ReplicaSide* replica() const { return m_replica.get(); }

    // The layout text the client published under this name, as the companion received it.
    QString layoutJson(const QString& name) const
    {
        const int index = m_layoutNames.indexOf(name);
        return index >= 0 && index < m_layoutJsons.size() ? m_layoutJsons.at(index) : QString();
    }
    int layoutCount() const { return m_layoutNames.size(); }

    // Applies a published layout as the companion would: its name and text, back to the client.
    bool applyLayout(const QString& name)
    {
        const QString json = layoutJson(name);
        if (json.isEmpty() || !m_replica)
            return false;
        m_replica->setLayout(name, json);
        return true;
    }

    QQuickWindow* window() const
    {
        const auto roots = m_engine ? m_engine->rootObjects() : QList<QObject*>();
        return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
    }

    QQuickItem* firstNamed(const QString& name) const
    {
        const auto items = uitest::itemsNamed(window() ? window()->contentItem() : nullptr, name);
        return items.isEmpty() ? nullptr : items.first();
    }

    QList<QQuickItem*> cells() const
    {
        return uitest::itemsNamed(firstNamed(QStringLiteral("layoutPage")), QStringLiteral("cell"));
    }

    // The tile of a cell: a camera holder's view, or the door view itself.
    static QQuickItem* tileOf(QQuickItem* cell)
    {
        auto* item = cell ? cell->property("item").value<QQuickItem*>() : nullptr;
        if (item && item->property("view").isValid())
            return item->property("view").value<QQuickItem*>();
        return item;
    }

    QList<QQuickItem*> cameras() const
    {
        QList<QQuickItem*> found;
        for (QQuickItem* cell : cells()) {
            if (cell->property("cellType").toInt() == 1 && tileOf(cell))
                found << tileOf(cell);
        }
        return found;
    }

    QQuickItem* cameraFor(const QString& streamId) const
    {
        for (QQuickItem* cell : cells()) {
            if (cell->property("streamId").toString() == streamId && cell->property("cellType").toInt() == 1)
                return tileOf(cell);
        }
        return nullptr;
    }

    QQuickItem* door() const
    {
        for (QQuickItem* cell : cells()) {
            if (cell->property("cellType").toInt() == 2)
                return tileOf(cell);
        }
        return nullptr;
    }

    void click(QQuickItem* item) const
    {
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }

private:
    QString m_ipcUrl;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<ReplicaSide> m_replica;
    QStringList m_layoutNames;
    QStringList m_layoutJsons;
};

// Resident memory of this process in KiB, or -1.
inline qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

using uitest::runClientTest;

} // namespace faults
