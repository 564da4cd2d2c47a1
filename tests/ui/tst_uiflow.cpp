// SPDX-License-Identifier: MIT
// The client's real window, QML and controller in this process, against a simulated site: the
// sign-in from stored fields, a layout applied through the remote interface, live tiles, POS
// lines and a door.
#include <memory>

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
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
#include "uisite.h"
#include "uitestsupport.h"

using namespace uitest;

class TestUiFlow : public QObject
{
    Q_OBJECT

private:
    QQuickWindow* window() const
    {
        const auto roots = m_engine ? m_engine->rootObjects() : QList<QObject*>();
        return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
    }

    QQuickItem* firstNamed(const QString& name) const
    {
        const auto items = itemsNamed(window() ? window()->contentItem() : nullptr, name);
        return items.isEmpty() ? nullptr : items.first();
    }

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

    QString simOutput()
    {
        m_simOutput += QString::fromUtf8(m_sim.process().readAllStandardOutput());
        m_simOutput += QString::fromUtf8(m_sim.process().readAllStandardError());
        return m_simOutput;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QList<int> ports = freePorts(4);
        QCOMPARE(ports.size(), 4);
        m_serverPort = ports[0];
        m_ipcUrl = QStringLiteral("tcp://127.0.0.1:%1").arg(ports[1]);

        // The controller hosts the remote interface where config.ini beside the executable says.
        QVERIFY(writeFile(QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini"),
                          "[IPC]\nurl=" + m_ipcUrl.toUtf8() + "\n"));
        const QString sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(sitePath, siteFile()));

        QVERIFY(m_sim.start(QStringLiteral(SIM_BINARY),
                            {QStringLiteral("--site"), sitePath, QStringLiteral("--port"),
                             QString::number(m_serverPort), QStringLiteral("--gateway-port"), QString::number(ports[2]),
                             QStringLiteral("--pos-port"), QString::number(ports[3]), QStringLiteral("--media-dir"),
                             m_dir.filePath(QStringLiteral("media")), QStringLiteral("--verbose")},
                            m_dir.path()));
        QTRY_VERIFY2_WITH_TIMEOUT(simOutput().contains(QLatin1String("vantor-sim: ready")), qPrintable(simOutput()),
                                  15000);

        // What an earlier run of the login page stored: all four fields, so it signs in at once.
        QSettings login;
        login.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        login.setValue(QStringLiteral("port"), QString::number(m_serverPort));
        login.setValue(QStringLiteral("user"), QString::fromLatin1(user));
        login.setValue(QStringLiteral("pass"), QString::fromLatin1(password));
        login.sync();
        QCOMPARE(login.status(), QSettings::NoError);

        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->rootContext()->setContextProperty(QStringLiteral("debug"), false);
        m_engine->addImportPath(QStringLiteral("qrc:/qml"));
        m_engine->load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
        QVERIFY2(window(), "main.qml gives a window");
        QVERIFY(QTest::qWaitForWindowExposed(window()));
    }

    void cleanupTestCase()
    {
        m_replica.reset();
        m_engine.reset();
        m_sim.stop();
    }

    void signsInFromStoredFields()
    {
        QTRY_VERIFY2_WITH_TIMEOUT(firstNamed(QStringLiteral("mainPage")), qPrintable(simOutput()), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!firstNamed(QStringLiteral("loginPage")), 5000);
        QVERIFY2(firstNamed(QStringLiteral("layoutPage")), "the main page starts on the layout page");
    }

    void remoteLayoutBuildsTiles()
    {
        m_replica = std::make_unique<ReplicaSide>(QUrl(m_ipcUrl));
        QVERIFY2(m_replica->waitForSource(10000), "the client hosts its remote interface");

        QStringList names;
        QStringList jsons;
        connect(m_replica.get(), &ReplicaSide::layoutListChanged, this,
                [&names, &jsons](const QStringList& newNames, const QStringList& newJsons) {
                    names = newNames;
                    jsons = newJsons;
                });
        m_replica->requestLayoutList();
        QTRY_VERIFY_WITH_TIMEOUT(!names.isEmpty(), 15000);
        const QString json = jsons.value(names.indexOf(QString::fromLatin1(layoutName)));
        QVERIFY2(!json.isEmpty(), "the site's layout reaches the remote side");

        m_replica->setLayout(QString::fromLatin1(layoutName), json);
        QTRY_COMPARE_WITH_TIMEOUT(cells().size(), 4, 10000);
        QVERIFY(cameraFor(QString::fromLatin1(streamA)));
        QVERIFY(cameraFor(QString::fromLatin1(streamB)));
        QVERIFY(door());
        QCOMPARE(cameraFor(QString::fromLatin1(streamA))->property("cameraName").toString(), QStringLiteral("Cam A"));
    }

    void cameraTileLoadsItsStream()
    {
        QQuickItem* camera = cameraFor(QString::fromLatin1(streamA));
        QVERIFY(camera);
        auto* player = camera->property("backend").value<QObject*>();
        QVERIFY(player);
        QTRY_VERIFY_WITH_TIMEOUT(!player->property("filePath").toString().isEmpty(), 30000);
        QVERIFY2(player->property("filePath").toString().startsWith(QLatin1String("av://lavfi:testsrc2=size=320x240")),
                 qPrintable(player->property("filePath").toString()));
        QTRY_VERIFY_WITH_TIMEOUT(camera->property("videoLoaded").toBool(), 15000);
    }

    void posLinesReachTheirTileOnly()
    {
        QQuickItem* cameraA = cameraFor(QString::fromLatin1(streamA));
        QQuickItem* cameraB = cameraFor(QString::fromLatin1(streamB));
        QVERIFY(cameraA && cameraB);
        const QString headA = QStringLiteral("POS %1 #").arg(QLatin1String(streamA));
        const QString headB = QStringLiteral("POS %1 #").arg(QLatin1String(streamB));
        QTRY_VERIFY_WITH_TIMEOUT(posLinesOf(cameraA).filter(headA).size() >= 1, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(posLinesOf(cameraB).filter(headB).size() >= 1, 15000);
        QVERIFY2(posLinesOf(cameraA).filter(headB).isEmpty(), qPrintable(posLinesOf(cameraA).join('|')));
        QVERIFY2(posLinesOf(cameraB).filter(headA).isEmpty(), qPrintable(posLinesOf(cameraB).join('|')));
    }

    void doorFollowsTheSimulator()
    {
        QQuickItem* doorView = door();
        QVERIFY(doorView);
        auto* button = doorView->property("buttonOpenClose").value<QQuickItem*>();
        auto* picture = itemsNamed(doorView, QStringLiteral("doorPicture")).value(0);
        QVERIFY(button && picture);
        // The actuator's value arrives from the server after the layout was applied.
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
        QCOMPARE(button->property("text").toString(), QStringLiteral("Close"));
        // The sensor's value came with the objects: the door's true state, not an unknown one.
        QCOMPARE(picture->property("source").toUrl(), QUrl(QStringLiteral("qrc:/images/door-opened.png")));
        auto* unknown = itemsNamed(doorView, QStringLiteral("doorStateUnknown")).value(0);
        QVERIFY(unknown && !unknown->isVisible());

        const QPointF centre = button->mapToScene(QPointF(button->width() / 2, button->height() / 2));
        QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
        QTRY_COMPARE_WITH_TIMEOUT(button->property("text").toString(), QStringLiteral("Open"), 10000);
        QVERIFY2(simOutput().contains(QLatin1String("setActuatorValue -> ok")), qPrintable(simOutput().right(2000)));
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(picture->property("source").toUrl(),
                                  QUrl(QStringLiteral("qrc:/images/door-closed.png")), 10000);
    }

private:
    QTemporaryDir m_dir;
    ProgramRun m_sim;
    QString m_simOutput;
    int m_serverPort = 0;
    QString m_ipcUrl;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<ReplicaSide> m_replica;
};

int main(int argc, char* argv[])
{
    return uitest::runClientTest<TestUiFlow>(argc, argv);
}

#include "tst_uiflow.moc"
