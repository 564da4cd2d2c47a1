// SPDX-License-Identifier: MIT
// The companion's window in the languages it ships, loaded as the program loads it: with the
// translator for the system's language installed first.
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTranslator>
#include <QtTest>

#include "companiontypes.h"
#include "scopedconfig.h"
#include "testsource.h"

class TestCompanionTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerCompanionTypes();
        // Nobody listens there: the window stays on its signed-out page.
        m_config = std::make_unique<ScopedConfig>(ScopedConfig::forUrl(TestSource::freeUrl()));
        QVERIFY(m_config->written());
    }

    void windowTexts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("translated");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("hint");
        // The menu page's headings, then the page choices: in English whatever the language.
        QTest::addColumn<QStringList>("menu");
        const QStringList english{"Menu", "Layouts", "Playback", "Recorder"};

        QTest::newRow("Spanish") << "es_ES" << true << "Lista"
                                 << "Inicie sesión para continuar" << english;
        QTest::newRow("Portuguese") << "pt_BR" << true << "Lista"
                                    << "Faça login para continuar" << english;
        QTest::newRow("English is the source") << "en_GB" << false << "List"
                                               << "Login to continue" << english;
        QTest::newRow("no such translation") << "fr_FR" << false << "List"
                                             << "Login to continue" << english;
    }

    void windowTexts()
    {
        QFETCH(QString, locale);
        QFETCH(bool, translated);
        QFETCH(QString, title);
        QFETCH(QString, hint);
        QFETCH(QStringList, menu);

        QTranslator translator;
        QCOMPARE(translator.load(QLocale(locale), QStringLiteral("tavrel"), QStringLiteral("_"),
                                 QStringLiteral(":/translations/")),
                 translated);
        if (translated)
            QVERIFY(QCoreApplication::installTranslator(&translator));

        QQmlApplicationEngine engine;
        engine.rootContext()->setContextProperty(QStringLiteral("debug"), false);
        engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
        QCOMPARE(engine.rootObjects().size(), 1);
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        QVERIFY(window);
        QCOMPARE(window->title(), title);
        auto* loginHint = window->findChild<QQuickItem*>(QStringLiteral("loginHint"));
        QVERIFY(loginHint);
        QCOMPARE(loginHint->property("text").toString(), hint);

        QStringList shown;
        for (const char* heading : {"menuHeading", "layoutsHeading"}) {
            auto* text = window->findChild<QQuickItem*>(QString::fromLatin1(heading));
            QVERIFY2(text, heading);
            shown << text->property("text").toString();
        }
        auto* pageBox = window->findChild<QQuickItem*>(QStringLiteral("pageBox"));
        QVERIFY(pageBox);
        const int choices = pageBox->property("count").toInt();
        QCOMPARE(choices, 2);
        for (int i = 0; i < choices; ++i) {
            QString label;
            QVERIFY(QMetaObject::invokeMethod(pageBox, "textAt", Q_RETURN_ARG(QString, label), Q_ARG(int, i)));
            shown << label;
        }
        QCOMPARE(shown, menu);
        QCoreApplication::removeTranslator(&translator);
    }

private:
    std::unique_ptr<ScopedConfig> m_config;
};

QTEST_MAIN(TestCompanionTranslations)

#include "tst_companiontranslations.moc"
