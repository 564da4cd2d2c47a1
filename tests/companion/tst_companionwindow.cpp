// SPDX-License-Identifier: MIT
// The companion's window, loaded in-process as the program loads it, against a test source on
// the address of a config.ini beside this executable.
#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QtTest>

#include "companiontypes.h"
#include "layoutlist.h"
#include "scopedconfig.h"
#include "sharedlayoutlist.h"
#include "testsource.h"

class TestCompanionWindow : public QObject
{
    Q_OBJECT

private:
    QQuickItem* item(const char* name) const
    {
        return m_window ? m_window->findChild<QQuickItem*>(QString::fromLatin1(name)) : nullptr;
    }

    int pageIndex() const { return item("pages")->property("currentIndex").toInt(); }

    // Requests travel in order, so once a marker layout has arrived everything before it has too.
    bool flushRequests()
    {
        const QString name = QStringLiteral("flush-%1").arg(++m_flushes);
        QMetaObject::invokeMethod(m_quickRpc, "setLayout", Q_ARG(QString, name), Q_ARG(QString, QString()));
        return QTest::qWaitFor([&] { return m_source->calls().contains("setLayout " + name + ' '); }, 10000);
    }

    QStringList callsSince(int before) const
    {
        QStringList calls = m_source->calls().mid(before);
        calls.erase(std::remove_if(calls.begin(), calls.end(),
                                   [](const QString& call) { return call.startsWith("setLayout flush-"); }),
                    calls.end());
        return calls;
    }

    // Views make their delegates when they next lay out, so this waits for one.
    QQuickItem* delegateAt(int row) const
    {
        QQuickItem* delegate = nullptr;
        const bool found = QTest::qWaitFor(
            [&] {
                QMetaObject::invokeMethod(item("layoutView"), "itemAtIndex", Q_RETURN_ARG(QQuickItem*, delegate),
                                          Q_ARG(int, row));
                return delegate != nullptr;
            },
            10000);
        return found ? delegate : nullptr;
    }

    // What assistive tools are told about an item: its role and its name.
    static QPair<QAccessible::Role, QString> accessibleOf(QQuickItem* item)
    {
        QAccessibleInterface* accessible = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
        if (!accessible)
            return {QAccessible::NoRole, QStringLiteral("(no accessible interface)")};
        return {accessible->role(), accessible->text(QAccessible::Name)};
    }

    void clickDelegate(int row)
    {
        QQuickItem* delegate = delegateAt(row);
        QVERIFY2(delegate, "no delegate for the row");
        const QPointF centre = delegate->mapToScene(QPointF(delegate->width() / 2, delegate->height() / 2));
        QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }

private slots:
    void initTestCase()
    {
        registerCompanionTypes();
        m_source = std::make_unique<TestSource>(TestSource::freeUrl());
        m_config = std::make_unique<ScopedConfig>(ScopedConfig::forUrl(m_source->url()));
        QVERIFY(m_config->written());
        m_source->setLayouts({{"Lobby", "{\"a\":1}"}, {"Yard", "{\"b\":2}"}});
        QVERIFY(m_source->start());
        m_tester = std::make_unique<QAbstractItemModelTester>(sharedLayoutList(),
                                                              QAbstractItemModelTester::FailureReportingMode::QtTest);

        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->rootContext()->setContextProperty(QStringLiteral("debug"), false);
        m_engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
        QCOMPARE(m_engine->rootObjects().size(), 1);
        m_window = qobject_cast<QQuickWindow*>(m_engine->rootObjects().first());
        QVERIFY(m_window);
        m_quickRpc = m_engine->singletonInstance<QObject*>(qmlTypeId("Native", 1, 0, "QuickRpc"));
        QVERIFY(m_quickRpc);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanupTestCase()
    {
        // The list is not the engine's: QuickRpc fills it too, so it outlives the engine.
        QPointer<LayoutList> list = sharedLayoutList();
        m_engine.reset();
        QVERIFY(list);
        m_tester.reset();
        m_source.reset();
    }

    void windowIsFramelessAndStartsSignedOut()
    {
        QCOMPARE(m_window->title(), QStringLiteral("List"));
        QVERIFY(m_window->flags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(m_window->width(), 640);
        QCOMPARE(m_window->height(), 480);
        QCOMPARE(pageIndex(), 0);
        QCOMPARE(item("loginHint")->property("text").toString(), QStringLiteral("Login to continue"));
    }

    void controlsTellTheirNameAndRole_data()
    {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");

        QTest::newRow("signed-out hint") << "loginHint" << int(QAccessible::StaticText) << "Login to continue";
        QTest::newRow("menu heading") << "menuHeading" << int(QAccessible::Heading) << "Menu";
        QTest::newRow("page choice") << "pageBox" << int(QAccessible::ComboBox) << "Page";
        QTest::newRow("layouts heading") << "layoutsHeading" << int(QAccessible::Heading) << "Layouts";
        QTest::newRow("layout list") << "layoutView" << int(QAccessible::List) << "Layouts";
    }

    void controlsTellTheirNameAndRole()
    {
        QFETCH(QString, objectName);
        QFETCH(int, role);
        QFETCH(QString, name);

        QQuickItem* control = item(objectName.toLatin1().constData());
        QVERIFY2(control, qPrintable(objectName));
        const auto told = accessibleOf(control);
        QCOMPARE(int(told.first), role);
        QCOMPARE(told.second, name);
    }

    void firstSelectionSendsPlaybackOnce()
    {
        // The combo box picked its first entry while the window was built, before the link was up.
        QTRY_COMPARE_WITH_TIMEOUT(m_source->count(QStringLiteral("requestLoginStatus")), 1, 10000);
        QVERIFY(flushRequests());
        QCOMPARE(callsSince(0), (QStringList{"requestLoginStatus", "jumpPage 1"}));
        QCOMPARE(item("pageBox")->property("currentText").toString(), QStringLiteral("Playback"));
        QCOMPARE(pageIndex(), 0);
    }

    void signingInShowsMenuAndLayouts()
    {
        QSignalSpy changed(m_quickRpc, SIGNAL(loggedInChanged()));
        m_source->setLoggedIn(true);
        QTRY_COMPARE_WITH_TIMEOUT(pageIndex(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(item("layoutView")->property("count").toInt(), 2, 10000);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(sharedLayoutList()->data(sharedLayoutList()->index(1, 0), LayoutList::NameRole).toString(),
                 QStringLiteral("Yard"));
    }

    void layoutRowsTellTheirName()
    {
        for (int row = 0; row < 2; ++row) {
            const auto told = accessibleOf(delegateAt(row));
            QCOMPARE(int(told.first), int(QAccessible::ListItem));
            QCOMPARE(told.second, row == 0 ? QStringLiteral("Lobby") : QStringLiteral("Yard"));
        }
    }

    void pageChoicesSendTheirPage()
    {
        QQuickItem* box = item("pageBox");
        m_window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        box->forceActiveFocus();
        QVERIFY(box->hasActiveFocus());
        const int before = m_source->calls().size();

        QTest::keyClick(m_window, Qt::Key_Down);
        QCOMPARE(box->property("currentText").toString(), QStringLiteral("Recorder"));
        QTest::keyClick(m_window, Qt::Key_Up);
        // Already on the first entry: nothing changes, nothing is sent.
        QTest::keyClick(m_window, Qt::Key_Up);
        QCOMPARE(box->property("currentText").toString(), QStringLiteral("Playback"));
        QVERIFY(flushRequests());
        QCOMPARE(callsSince(before), (QStringList{"jumpPage 0", "jumpPage 1"}));
    }

    void clickingALayoutSendsIt()
    {
        const int before = m_source->calls().size();
        clickDelegate(1);
        clickDelegate(0);
        QVERIFY(flushRequests());
        QCOMPARE(callsSince(before), (QStringList{"setLayout Yard {\"b\":2}", "setLayout Lobby {\"a\":1}"}));
    }

    void layoutNamesShowAsPlainText()
    {
        m_source->setLayouts({{"<b>Gate</b>", "{}"}});
        QTRY_COMPARE_WITH_TIMEOUT(item("layoutView")->property("count").toInt(), 1, 10000);
        QQuickItem* delegate = delegateAt(0);
        QVERIFY(delegate);
        auto* label = delegate->property("contentItem").value<QQuickItem*>();
        QVERIFY(label);
        QCOMPARE(label->property("text").toString(), QStringLiteral("<b>Gate</b>"));
        QCOMPARE(label->property("textFormat").toInt(), 0); // Text.PlainText
    }

    void lostConnectionShowsTheSignedOutPage()
    {
        m_source->stop();
        QTRY_COMPARE_WITH_TIMEOUT(pageIndex(), 0, 10000);
        // The last list stays until the next refill.
        QCOMPARE(item("layoutView")->property("count").toInt(), 1);

        m_source->setLayouts({{"Lobby", "{}"}, {"Yard", "{}"}, {"Gate", "{}"}});
        QVERIFY(m_source->start());
        QTRY_COMPARE_WITH_TIMEOUT(pageIndex(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(item("layoutView")->property("count").toInt(), 3, 10000);
        // The combo box kept its selection, so nothing was sent again for it.
        QCOMPARE(m_source->count(QStringLiteral("jumpPage 1")), 2);
    }

private:
    std::unique_ptr<TestSource> m_source;
    std::unique_ptr<ScopedConfig> m_config;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow* m_window = nullptr;
    QObject* m_quickRpc = nullptr;
    int m_flushes = 0;
};

QTEST_MAIN(TestCompanionWindow)
#include "tst_companionwindow.moc"
