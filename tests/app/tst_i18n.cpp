// SPDX-License-Identifier: MIT
#include <memory>

#include <QCoreApplication>
#include <QLocale>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "clienttypes.h"
#include "i18n.h"
#include "logcapture.h"

namespace {

// The window title, the one message of the translation bundle.
QString title()
{
    return QCoreApplication::translate("main", "Client");
}

} // namespace

class tst_I18n : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerClientTypes(); }

    void startsWithSystemLocale();
    void switches_data();
    void switches();
    void backToEnglish();
    void unknownLanguageKeepsCurrent();
    void sameNameIsIgnored();
    void qmlRetranslates();
};

void tst_I18n::startsWithSystemLocale()
{
    I18n i18n;
    QCOMPARE(i18n.locale(), QLocale::system().name());
    QCOMPARE(i18n.localeNotify(), QString());
    // Nothing is installed until the first change.
    QCOMPARE(title(), QStringLiteral("Client"));
}

void tst_I18n::switches_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("title");

    QTest::newRow("pt") << QStringLiteral("pt") << QStringLiteral("Cliente");
    QTest::newRow("es") << QStringLiteral("es") << QStringLiteral("Cliente");
    QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("Client");
    // A country variant falls back to its language's file.
    QTest::newRow("pt_BR") << QStringLiteral("pt_BR") << QStringLiteral("Cliente");
    QTest::newRow("es_AR") << QStringLiteral("es_AR") << QStringLiteral("Cliente");
}

void tst_I18n::switches()
{
    QFETCH(QString, locale);
    QFETCH(QString, title);

    LogCapture log;
    I18n i18n;
    QSignalSpy changed(&i18n, &I18n::localeChanged);
    i18n.setLocale(locale);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(i18n.locale(), locale);
    QCOMPARE(::title(), title);
    QCOMPARE(log.lines(QtInfoMsg), QStringList{QStringLiteral("Changed locale to: \"%1\"").arg(locale)});
    QCOMPARE(log.lines(QtWarningMsg), QStringList());
}

void tst_I18n::backToEnglish()
{
    I18n i18n;
    QSignalSpy changed(&i18n, &I18n::localeChanged);
    i18n.setLocale(QStringLiteral("pt"));
    QCOMPARE(title(), QStringLiteral("Cliente"));
    i18n.setLocale(QStringLiteral("en"));
    QCOMPARE(title(), QStringLiteral("Client"));
    QCOMPARE(changed.count(), 2);
    i18n.setLocale(QStringLiteral("es"));
    QCOMPARE(title(), QStringLiteral("Cliente"));
    QCOMPARE(changed.count(), 3);
}

void tst_I18n::unknownLanguageKeepsCurrent()
{
    I18n i18n;
    i18n.setLocale(QStringLiteral("pt"));
    QSignalSpy changed(&i18n, &I18n::localeChanged);

    LogCapture log;
    i18n.setLocale(QStringLiteral("fr"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(i18n.locale(), QStringLiteral("pt"));
    QCOMPARE(log.lines(QtWarningMsg), QStringList{QStringLiteral("Failed to apply locale: \"fr\"")});
    QCOMPARE(log.lines(QtInfoMsg), QStringList());
    // The translation in use stays in use.
    QCOMPARE(title(), QStringLiteral("Cliente"));
}

void tst_I18n::sameNameIsIgnored()
{
    LogCapture log;
    I18n i18n;
    QSignalSpy changed(&i18n, &I18n::localeChanged);

    // Even the start value, with nothing installed yet.
    i18n.setLocale(i18n.locale());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(title(), QStringLiteral("Client"));

    const QString other = i18n.locale() == QLatin1String("pt") ? QStringLiteral("es") : QStringLiteral("pt");
    i18n.setLocale(other);
    i18n.setLocale(other);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(log.lines(QtInfoMsg).size(), 1);
}

void tst_I18n::qmlRetranslates()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.0\n"
                      "import Native 1.0\n"
                      "QtObject {\n"
                      "    property string title: qsTranslate('main', 'Client') + I18n.localeNotify\n"
                      "    property string bare: qsTranslate('main', 'Client')\n"
                      "    property bool accessor: CppAccessor !== null && CppAccessor !== undefined\n"
                      "    function choose(name) { I18n.locale = name; return I18n.locale }\n"
                      "}\n",
                      QUrl());
    std::unique_ptr<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QVERIFY(root->property("accessor").toBool());
    QCOMPARE(root->property("title").toString(), QStringLiteral("Client"));

    QVariant chosen;
    QVERIFY(QMetaObject::invokeMethod(root.get(), "choose", Q_RETURN_ARG(QVariant, chosen),
                                      Q_ARG(QVariant, QStringLiteral("pt"))));
    QCOMPARE(chosen.toString(), QStringLiteral("pt"));
    QCOMPARE(root->property("title").toString(), QStringLiteral("Cliente"));
    // Without the suffix a text keeps the translation it was made with.
    QCOMPARE(root->property("bare").toString(), QStringLiteral("Client"));

    QTest::ignoreMessage(QtWarningMsg, "Failed to apply locale: \"fr\"");
    QVERIFY(QMetaObject::invokeMethod(root.get(), "choose", Q_RETURN_ARG(QVariant, chosen),
                                      Q_ARG(QVariant, QStringLiteral("fr"))));
    QCOMPARE(chosen.toString(), QStringLiteral("pt"));
    QCOMPARE(root->property("title").toString(), QStringLiteral("Cliente"));
}

QTEST_GUILESS_MAIN(tst_I18n)
#include "tst_i18n.moc"
