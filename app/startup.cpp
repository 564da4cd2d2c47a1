// SPDX-License-Identifier: MIT
#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QStandardPaths>
#include <QtDebug>

#include <clocale>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "alarmcenter.h"
#include "app.h"
#include "clienttypes.h"
#include "eventlistmodel.h"
#include "eventstats.h"
#include "freememorytrimmer.h"
#include "logfile.h"
#include "mpvcorepool.h"
#include "settingsfile.h"
#include "tilestats.h"
#include "videorendermode.h"

namespace {

// Video tiles take players made ahead of time, so that a layout switch does not wait for nine of
// them to be made. STATION_CORE_POOL sets how many are kept at most; 0 makes each when needed.
constexpr int DefaultPlayerPool = 16;

void setUpPlayerPool()
{
    int capacity = DefaultPlayerPool;
    const QByteArray setting = qgetenv("STATION_CORE_POOL").trimmed();
    if (!setting.isEmpty()) {
        bool ok = false;
        const int value = setting.toInt(&ok);
        if (ok && value >= 0)
            capacity = value;
        else
            qWarning() << "STATION_CORE_POOL must be a number of players, 0 or more, not" << setting << "; keeping"
                       << capacity;
    }
    qInfo() << "Players made ahead of time: at most" << capacity;
    MpvCorePool::instance().setCapacity(capacity);
}

// Every video tile runs a player with threads of its own, and glibc gives contending threads
// arenas of their own, up to eight per core. Tiles come and go with each layout switch, and
// their freed memory stays scattered over all those arenas: a station that switched layouts a
// few hundred times held over 100 MB more than after its first switches, none of it in use.
// Two arenas keep that in bounds; MALLOC_ARENA_MAX in the environment still decides if set.
//
// Large blocks (decoded pictures, frame buffers, stream buffers) are mapped from the system on
// their own and go back to it when freed. By default the allocator raises that threshold each time
// such a block is freed, so that a wall's pictures end up inside the heap, scattered between
// blocks that live on, and stay there as free memory (after a 20 by 20 wall and back to 2 by 2,
// a heap of 996 MB held 130 MB in use). A fixed threshold keeps them out of it: the wall itself
// then took 1.2 GB, not 1.9 GB.
// MALLOC_MMAP_THRESHOLD_ in the environment still decides if set.
constexpr int LargeBlockBytes = 128 * 1024;

void tuneAllocator()
{
// The sanitizers bring an allocator of their own, which takes no such settings.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    if (qEnvironmentVariableIsEmpty("MALLOC_ARENA_MAX") && mallopt(M_ARENA_MAX, 2) != 1)
        qWarning() << "Could not limit the allocator's arenas";
    if (qEnvironmentVariableIsEmpty("MALLOC_MMAP_THRESHOLD_") && mallopt(M_MMAP_THRESHOLD, LargeBlockBytes) != 1)
        qWarning() << "Could not set the allocator's threshold for large blocks";
#endif
}

} // namespace

// Module "Native" 1.0: every native type the QML uses is registered here, as the application
// object is made, before any QML loads.
Q_COREAPP_STARTUP_FUNCTION(registerClientTypes)

void prepareClientApplication()
{
    tuneAllocator();
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

    // Before the login page restores its fields: the first write then keeps the file owner-only.
    protectSettingsFile(loginSettingsFilePath());

    VideoRenderMode::chooseSceneGraphBackend();
    setUpPlayerPool();
    installTileDiagnostics([] { return App::instance() ? App::instance()->layoutsList() : nullptr; });
    installEventDiagnostics([]() -> QAbstractItemModel* {
        return App::instance() && App::instance()->alarms() ? App::instance()->alarms()->model() : nullptr;
    });
    // Layout switches free hundreds of megabytes that the allocator would keep for the process.
    FreeMemoryTrimmer trimmer;
    trimmer.start();
    QQmlApplicationEngine engine;
    trimmer.setGarbageCollector([&engine] { engine.collectGarbage(); });

    const QString debugValue =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("DEBUG"), QStringLiteral("0"));
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
