// SPDX-License-Identifier: MIT
// The client's window, QML and controller in the test's own process, signed in from stored login
// fields, with a replica of its remote interface as the companion would hold it.
#pragma once

#include <memory>

#include <QCoreApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QtTest>

#include "quickitems.h"
#include "replicaside.h"
#include "testfiles.h"

namespace testsupport {

class InProcessClient
{
public:
    // Stores the login fields and the remote interface's address, then loads the window.
    bool load(int serverPort, int ipcPort, const QString& user = QStringLiteral("operator"),
              const QString& password = QStringLiteral("secret"))
    {
        m_ipcUrl = QStringLiteral("tcp://127.0.0.1:%1").arg(ipcPort);
        if (!writeFile(QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini"),
                       "[IPC]\nurl=" + m_ipcUrl.toUtf8() + "\n"))
            return false;
        QSettings login;
        login.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        login.setValue(QStringLiteral("port"), QString::number(serverPort));
        login.setValue(QStringLiteral("user"), user);
        login.setValue(QStringLiteral("pass"), password);
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

    // Connects the replica, asks for the layout list and waits until at least `count` layouts
    // arrived, as the companion gets them when it starts.
    bool listLayouts(int count, int timeoutMs = 30000)
    {
        if (!connectReplica())
            return false;
        m_replica->requestLayoutList();
        return QTest::qWaitFor([&] { return layoutCount() >= count; }, timeoutMs);
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

    QQuickItem* firstNamed(const QString& name) const { return testsupport::firstNamed(window(), name); }

    QList<QQuickItem*> cells() const
    {
        return itemsNamed(firstNamed(QStringLiteral("layoutPage")), QStringLiteral("cell"));
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

    void click(QQuickItem* item) const { clickCentre(item); }

private:
    QString m_ipcUrl;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<ReplicaSide> m_replica;
    QStringList m_layoutNames;
    QStringList m_layoutJsons;
};

} // namespace testsupport
