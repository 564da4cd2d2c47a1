// SPDX-License-Identifier: MIT
#include "startup.h"

#include <clocale>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QStandardPaths>
#include <QtDebug>

#include "logfile.h"

void prepareClientApplication()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setApplicationName(QStringLiteral("PELMAR"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("pelmar.example"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
}

QString clientLogFilePath()
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation);
    const QString dir = locations.isEmpty() ? QDir::currentPath() : locations.first();
    return QStringLiteral("%1/clientLogs.txt").arg(dir);
}

int runClient(const QUrl& mainQml)
{
    // libmpv parses numbers with the C library and refuses to run under a locale with a decimal comma.
    std::setlocale(LC_NUMERIC, "C");

    const QString logPath = clientLogFilePath();
    // An operator who must report a problem needs the log, so the folder is made when missing.
    QDir().mkpath(QFileInfo(logPath).absolutePath());
    LogFile::global().setPath(logPath.toUtf8());
    qInstallMessageHandler(&LogFile::messageHandler);

    QQmlApplicationEngine engine;

    const QString debugValue = QProcessEnvironment::systemEnvironment().value(QStringLiteral("DEBUG"),
                                                                              QStringLiteral("0"));
    qDebug() << "DEBUG:" << debugValue;
    const bool debugMode = debugValue == QLatin1String("1");
    qDebug() << "Debug mode:" << debugMode;
    engine.rootContext()->setContextProperty(QStringLiteral("debug"), debugMode);

    engine.addImportPath(QStringLiteral("qrc:/qml"));
    engine.load(mainQml);
    if (engine.rootObjects().isEmpty())
        return -1;
    return QCoreApplication::exec();
}
