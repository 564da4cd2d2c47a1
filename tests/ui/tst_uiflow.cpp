// SPDX-License-Identifier: MIT
// The client's real window, QML and controller in this process, against a simulated site: the
// sign-in from stored fields, a layout applied through the remote interface, live tiles, POS
// lines, a bookmark from a live tile and a door.
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include "app.h"
#include "bookmarkstore.h"
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

    // The tile's toolbar button, and B on the selected tile: the dialog for that stream, from 10 s
    // before the press to the press, stored on the server with the operator as its author.
    void bookmarkFromALiveTile()
    {
        QQuickItem* camera = cameraFor(QString::fromLatin1(uitest::streamA));
        QVERIFY(camera);
        QQuickItem* page = firstNamed(QStringLiteral("layoutPage"));
        QVERIFY(page);
        auto* dialog = page->findChild<QObject*>(QStringLiteral("bookmarkDialog"));
        QVERIFY(dialog);
        clickCentre(camera); // selects the tile and folds its toolbar out
        QQuickItem* toolbar = itemsNamed(camera, QStringLiteral("toolbar")).value(0);
        QQuickItem* button = itemsNamed(camera, QStringLiteral("liveBookmarkButton")).value(0);
        QVERIFY(toolbar && button);
        QTRY_VERIFY(button->isVisible() && toolbar->height() >= button->height());
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        clickCentre(button);
        QTRY_VERIFY(dialog->property("opened").toBool());
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(dialog->property("streamId").toString(), QString::fromLatin1(uitest::streamA));
        const qint64 start = qint64(dialog->property("startMs").toDouble());
        const qint64 end = qint64(dialog->property("endMs").toDouble());
        QVERIFY2(end >= before && end <= after,
                 qPrintable(QStringLiteral("%1 not in %2..%3").arg(end).arg(before).arg(after)));
        QCOMPARE(end - start, qint64(10000));
        QVERIFY(firstNamed(QStringLiteral("bookmarkSubject"))->property("text").toString().startsWith("Cam A"));

        // Typed after a while: the span stays the one of the press.
        QTest::qWait(300);
        QVERIFY(firstNamed(QStringLiteral("bookmarkTitle"))->setProperty("text", QStringLiteral("Van at the gate")));
        QVERIFY(firstNamed(QStringLiteral("bookmarkNote"))->setProperty("text", QStringLiteral("White, no plates")));
        clickCentre(firstNamed(QStringLiteral("bookmarkSave")));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->property("opened").toBool(), 10000);

        BookmarkStore server;
        server.setClient(App::instance()->vantorClient());
        QSignalSpy fetched(&server, &BookmarkStore::fetched);
        server.fetch({QString::fromLatin1(uitest::streamA)});
        QVERIFY(fetched.wait(10000));
        QCOMPARE(server.rowCount(), 1);
        const Bookmark& stored = server.bookmarks().first();
        QCOMPARE(stored.title, QStringLiteral("Van at the gate"));
        QCOMPARE(stored.note, QStringLiteral("White, no plates"));
        QCOMPARE(stored.author, QString::fromLatin1(uitest::user));
        QCOMPARE(qint64(stored.startMs), start);
        QCOMPARE(qint64(stored.endMs), end);

        // The dialog gave the page its keys back; B acts on the selected tile.
        QTRY_VERIFY(page->hasActiveFocus());
        const qint64 beforeKey = QDateTime::currentMSecsSinceEpoch();
        QTest::keyClick(m_client.window(), Qt::Key_B);
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(dialog->property("streamId").toString(), QString::fromLatin1(uitest::streamA));
        QVERIFY(qint64(dialog->property("endMs").toDouble()) >= beforeKey);
        QCOMPARE(firstNamed(QStringLiteral("bookmarkTitle"))->property("text").toString(), QString());
        clickCentre(firstNamed(QStringLiteral("bookmarkCancel")));
        QTRY_VERIFY(!dialog->property("opened").toBool());
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
