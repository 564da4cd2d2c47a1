// SPDX-License-Identifier: MIT
// Runs the QML test files of this folder against the client's real resources and native types.
#include <QCoreApplication>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSettings>
#include <QTemporaryDir>
#include <QtQml>
#include <QtQuickTest>

#include <clocale>

#include "clienttypes.h"
#include "freeports.h"
#include "stallingstream.h"
#include "teststation.h"

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // libmpv refuses to start under a locale with another decimal separator.
        std::setlocale(LC_NUMERIC, "C");
        // The login fields live in the user's settings store; tests keep theirs apart.
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        QCoreApplication::setApplicationName(QStringLiteral("PELMAR"));
        QCoreApplication::setOrganizationDomain(QStringLiteral("pelmar.example"));

        QSettings ini(QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("IPC/url"), QStringLiteral("tcp://127.0.0.1:%1").arg(testsupport::freePort()));
        // Few enough that a layout of a test can go beyond it.
        ini.setValue(QStringLiteral("Video/maxTiles"), 4);
        ini.sync();
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        // The station's files of the working folder (the local store, the events journal) are
        // this run's own: no run sees the events of the one before. The test files are read
        // after this move, so -input names them with absolute paths, as ctest does.
        QDir::setCurrent(m_work.path());
        registerClientTypes();
        engine->addImportPath(QStringLiteral("qrc:/qml"));
        engine->rootContext()->setContextProperty(QStringLiteral("debug"), false);
        qmlRegisterSingletonType<TestStation>("StationTest", 1, 0, "TestStation",
                                              [](QQmlEngine*, QJSEngine*) -> QObject* { return new TestStation(); });
        qmlRegisterType<StallingStream>("StationTest", 1, 0, "StallingStream");
    }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_work;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qml, Setup)

#include "tst_qml.moc"
