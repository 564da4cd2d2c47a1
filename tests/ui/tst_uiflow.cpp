// SPDX-License-Identifier: MIT
// The client's real window, QML and controller in this process, against a simulated site: the
// sign-in from stored fields, a layout applied through the remote interface, live tiles, POS
// lines and a door.
#include <QTemporaryDir>
#include <QtTest>

#include "clienttestmain.h"
#include "freeports.h"
#include "inprocessclient.h"
#include "simprocess.h"
#include "testfiles.h"
#include "uisite.h"

using namespace testsupport;

class TestUiFlow : public QObject
{
    Q_OBJECT

private:
    QQuickItem* firstNamed(const QString& name) const { return m_client.firstNamed(name); }
    QList<QQuickItem*> cells() const { return m_client.cells(); }
    QQuickItem* cameraFor(const QString& streamId) const { return m_client.cameraFor(streamId); }
    QQuickItem* door() const { return m_client.door(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(sitePath, uitest::siteFile()));
        QVERIFY2(m_sim.start(sitePath, {QStringLiteral("--verbose")}), qPrintable(m_sim.output()));
        // The controller hosts the remote interface where config.ini beside the executable says;
        // the login fields are what an earlier run of the login page stored.
        QVERIFY(m_client.load(m_sim.serverPort(), freePort(), QString::fromLatin1(uitest::user),
                              QString::fromLatin1(uitest::password)));
    }

    void cleanupTestCase()
    {
        m_client.unload();
        m_sim.stop();
    }

    void signsInFromStoredFields()
    {
        QTRY_VERIFY2_WITH_TIMEOUT(firstNamed(QStringLiteral("mainPage")), qPrintable(m_sim.output()), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!firstNamed(QStringLiteral("loginPage")), 5000);
        QVERIFY2(firstNamed(QStringLiteral("layoutPage")), "the main page starts on the layout page");
    }

    void remoteLayoutBuildsTiles()
    {
        QVERIFY2(m_client.listLayouts(1), "the client hosts its remote interface and lists its layouts");
        QVERIFY2(m_client.applyLayout(QString::fromLatin1(uitest::layoutName)),
                 "the site's layout reaches the remote side");
        QTRY_COMPARE_WITH_TIMEOUT(cells().size(), 4, 10000);
        QVERIFY(cameraFor(QString::fromLatin1(uitest::streamA)));
        QVERIFY(cameraFor(QString::fromLatin1(uitest::streamB)));
        QVERIFY(door());
        QCOMPARE(cameraFor(QString::fromLatin1(uitest::streamA))->property("cameraName").toString(),
                 QStringLiteral("Cam A"));
    }

    void cameraTileLoadsItsStream()
    {
        QQuickItem* camera = cameraFor(QString::fromLatin1(uitest::streamA));
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
        QQuickItem* cameraA = cameraFor(QString::fromLatin1(uitest::streamA));
        QQuickItem* cameraB = cameraFor(QString::fromLatin1(uitest::streamB));
        QVERIFY(cameraA && cameraB);
        const QString headA = QStringLiteral("POS %1 #").arg(QLatin1String(uitest::streamA));
        const QString headB = QStringLiteral("POS %1 #").arg(QLatin1String(uitest::streamB));
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

        clickCentre(button);
        QTRY_COMPARE_WITH_TIMEOUT(button->property("text").toString(), QStringLiteral("Open"), 10000);
        QVERIFY2(m_sim.output().contains(QLatin1String("setActuatorValue -> ok")),
                 qPrintable(m_sim.output().right(2000)));
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(picture->property("source").toUrl(),
                                  QUrl(QStringLiteral("qrc:/images/door-closed.png")), 10000);
    }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    InProcessClient m_client;
};

int main(int argc, char* argv[])
{
    return runClientTest<TestUiFlow>(argc, argv);
}

#include "tst_uiflow.moc"
