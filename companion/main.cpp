// SPDX-License-Identifier: MIT
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTranslator>

#include "companiontypes.h"
#include "logfile.h"
#include "quickrpc.h"

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("The station's companion: the client's sign-in, layouts and pages."));
    options.addHelpOption();
    const QCommandLineOption startLayout(QStringLiteral("layout"),
                                         QStringLiteral("Show this layout of the client's once it offers it."),
                                         QStringLiteral("name"));
    options.addOption(startLayout);
    const QCommandLineOption startPage(QStringLiteral("page"),
                                       QStringLiteral("With the start layout, show this page (playback or recorder)."),
                                       QStringLiteral("page"));
    options.addOption(startPage);
    options.process(app);
    QuickRpc::setStartLayout(options.value(startLayout));
    QuickRpc::setStartPage(options.value(startPage));

    // Relative on purpose: the log goes to the folder the companion was started in.
    LogFile::global().setPath(QByteArrayLiteral("tavrel.log"));
    qInstallMessageHandler(&LogFile::messageHandler);

    // The companion speaks the system's language where it has a translation, else English.
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("tavrel"), QStringLiteral("_"), QStringLiteral(":/translations/")))
        QCoreApplication::installTranslator(&translator);

    registerCompanionTypes();
    QQmlApplicationEngine engine;
    // Always frameless: the companion sits beside the client's window.
    engine.rootContext()->setContextProperty(QStringLiteral("debug"), false);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;
    return QCoreApplication::exec();
}
