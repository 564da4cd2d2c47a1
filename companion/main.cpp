// SPDX-License-Identifier: MIT
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>

#include "logfile.h"

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);

    // Relative on purpose: the log goes to the folder the companion was started in.
    LogFile::global().setPath(QByteArrayLiteral("tavrel.log"));
    qInstallMessageHandler(&LogFile::messageHandler);

    QQmlApplicationEngine engine;
    // Always frameless: the companion sits beside the client's window.
    engine.rootContext()->setContextProperty(QStringLiteral("debug"), false);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;
    return QCoreApplication::exec();
}
