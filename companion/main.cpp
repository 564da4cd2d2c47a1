// SPDX-License-Identifier: MIT
#include <QGuiApplication>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTranslator>

#include "logfile.h"

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);

    // Relative on purpose: the log goes to the folder the companion was started in.
    LogFile::global().setPath(QByteArrayLiteral("tavrel.log"));
    qInstallMessageHandler(&LogFile::messageHandler);

    // The companion speaks the system's language where it has a translation, else English.
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("tavrel"), QStringLiteral("_"), QStringLiteral(":/translations/")))
        QCoreApplication::installTranslator(&translator);

    QQmlApplicationEngine engine;
    // Always frameless: the companion sits beside the client's window.
    engine.rootContext()->setContextProperty(QStringLiteral("debug"), false);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;
    return QCoreApplication::exec();
}
