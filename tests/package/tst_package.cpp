// SPDX-License-Identifier: MIT
// The Debian packages as a site's IT gets them: scripts/package.sh makes them, dpkg-deb shows what
// they hold and need, and the programs run from the unpacked tree through the commands on the
// PATH: the simulator on the packaged demo site, the client to its login page on the packaged
// config.ini, and the companion beside it.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "freeports.h"
#include "programrun.h"
#include "replicaside.h"
#include "testfiles.h"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString StationPackage = QStringLiteral("pelmar-station");
const QString SimPackage = QStringLiteral("vantor-sim");
const QString ConfigFile = QStringLiteral("/etc/pelmar-station/config.ini");
// A whole Release build, when nothing of it is built yet.
constexpr int PackageBuildTimeoutMs = 50 * 60 * 1000;
constexpr int ToolTimeoutMs = 5 * 60 * 1000;

struct ToolRun
{
    int exitCode = -1;
    QString output;
    bool ok() const { return exitCode == 0; }
};

// A tool run to its end; standard error follows standard output in the text.
ToolRun runTool(const QString& program, const QStringList& arguments, int timeoutMs = ToolTimeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForStarted(10000)) {
        run.output = program + QStringLiteral(": ") + process.errorString();
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.output = program + QStringLiteral(" did not finish\n");
    }
    run.output += QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

bool haveTool(const QString& name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Two free neighbouring ports: the simulator puts gateway i of a site on the port given plus i.
int freePortPair()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = testsupport::freePort();
        if (port <= 0 || port >= 65535)
            continue;
        QTcpServer next;
        if (next.listen(QHostAddress::LocalHost, quint16(port + 1)))
            return port;
    }
    return 0;
}

// Whether the running process has the file mapped: the library it loaded, not just one of that name.
bool processMaps(qint64 pid, const QString& path)
{
    const QString maps = readFile(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.contains(QLatin1Char(' ') + QFileInfo(path).canonicalFilePath() + QLatin1Char('\n'));
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

private:
    QString packagePath(const QString& name) const { return m_packages.value(name); }
    QString unpacked(const QString& path) const { return m_root.filePath(path.mid(1)); }
    QString field(const QString& package, const QString& name) const
    {
        return runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), packagePath(package), name})
            .output.trimmed();
    }

    QProcessEnvironment programEnvironment(const QTemporaryDir& home) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        // Only the packaged library may be found, through the executables' own search path.
        env.remove(QStringLiteral("LD_LIBRARY_PATH"));
        env.remove(QStringLiteral("DEBUG"));
        return env;
    }

    // The unpacked station reads the unpacked config.ini, edited for the test: the packaged link
    // points to /etc, outside the unpacked tree, so a relative one takes its place.
    void useUnpackedConfig(const QString& url, int maxTiles)
    {
        const QString link = unpacked(QStringLiteral("/usr/lib/pelmar-station/config.ini"));
        QFile::remove(link);
        QVERIFY(QFile::link(QStringLiteral("../../../etc/pelmar-station/config.ini"), link));
        QString config = m_shippedConfig;
        config.replace(QStringLiteral("url=tcp://127.0.0.1:12230"), QStringLiteral("url=") + url);
        config.replace(QStringLiteral("maxTiles=64"), QStringLiteral("maxTiles=%1").arg(maxTiles));
        QVERIFY(writeFile(unpacked(ConfigFile), config.toUtf8()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(haveTool(QStringLiteral("dpkg-deb")), "dpkg-deb is needed to look into the packages");
        QString folder = qEnvironmentVariable("STATION_PACKAGE_DIR");
        if (folder.isEmpty()) {
            // scripts/package.sh builds its own Release tree and installs the tools it needs.
            folder = QStringLiteral(PACKAGE_BUILD_DIR);
            const ToolRun build = runTool(
                QStringLiteral("bash"),
                {QStringLiteral(STATION_SOURCE_DIR "/scripts/package.sh"), QStringLiteral("--build-dir"), folder},
                PackageBuildTimeoutMs);
            QVERIFY2(build.ok(), qPrintable(build.output.right(6000)));
        }
        for (const QString& name : {StationPackage, SimPackage}) {
            const QStringList found =
                QDir(folder).entryList({name + QStringLiteral("_*.deb")}, QDir::Files, QDir::Name);
            QVERIFY2(found.size() == 1, qPrintable(QStringLiteral("one %1 package in %2, found: %3")
                                                       .arg(name, folder, found.join(QStringLiteral(", ")))));
            m_packages.insert(name, QDir(folder).filePath(found.first()));
        }
        QVERIFY(m_root.isValid());
        for (const QString& path : m_packages) {
            const ToolRun unpack = runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), path, m_root.path()});
            QVERIFY2(unpack.ok(), qPrintable(unpack.output));
        }
        m_shippedConfig = readFile(unpacked(ConfigFile));
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QStringList>("needed");
        // Computed from the binaries, then the modules and plugins Qt loads at run time, and the
        // program the simulator makes media with. Names, or patterns where they carry a version.
        QTest::newRow("station") << StationPackage
                                 << QStringList{"libc6",
                                                "libqt5core5a",
                                                "libqt5quick5",
                                                "libqt5remoteobjects5",
                                                "libmpv[0-9]+",
                                                "libzmq5",
                                                "qml-module-qtquick-controls2",
                                                "qml-module-qt-labs-settings",
                                                "libqt5sql5-sqlite",
                                                "libqt5svg5",
                                                "libqt5multimedia5-plugins"};
        QTest::newRow("simulator") << SimPackage << QStringList{"libc6", "libzmq5", "libcpp-httplib[0-9.]+", "ffmpeg"};
    }

    void controlFields()
    {
        QFETCH(QString, package);
        QFETCH(QStringList, needed);
        QCOMPARE(field(package, QStringLiteral("Package")), package);
        const QString version = field(package, QStringLiteral("Version"));
        QVERIFY2(QRegularExpression(QStringLiteral("^%1-[0-9]+$").arg(QRegularExpression::escape(STATION_VERSION)))
                     .match(version)
                     .hasMatch(),
                 qPrintable(version));
        QVERIFY(!field(package, QStringLiteral("Maintainer")).isEmpty());
        const QString description = field(package, QStringLiteral("Description"));
        QVERIFY2(description.count(QLatin1Char('\n')) >= 2, qPrintable(description));

        const QString depends = field(package, QStringLiteral("Depends"));
        QStringList names;
        for (const QString& alternative : depends.split(QRegularExpression(QStringLiteral("[,|]"))))
            names << alternative.trimmed().section(QLatin1Char(' '), 0, 0).section(QLatin1Char(':'), 0, 0);
        for (const QString& pattern : needed) {
            const QRegularExpression name(QRegularExpression::anchoredPattern(pattern));
            QVERIFY2(names.indexOf(name) >= 0, qPrintable(pattern + QStringLiteral(" missing from: ") + depends));
        }
        // The client library travels inside each package.
        QVERIFY2(!depends.contains(QLatin1String("vantor")), qPrintable(depends));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("allowed");
        QTest::newRow("station")
            << StationPackage
            << QStringList{"/usr/bin/pelmar-client",
                           "/usr/bin/pelmar-tavrel",
                           "/usr/lib/pelmar-station/client",
                           "/usr/lib/pelmar-station/tavrel",
                           "/usr/lib/pelmar-station/libvantor.so.1",
                           "/usr/lib/pelmar-station/config.ini",
                           "/etc/pelmar-station/config.ini",
                           "/usr/share/applications/example.pelmar.station.desktop",
                           "/usr/share/applications/example.pelmar.tavrel.desktop",
                           "/usr/share/icons/hicolor/scalable/apps/example.pelmar.station.svg",
                           "/usr/share/icons/hicolor/scalable/apps/example.pelmar.tavrel.svg",
                           "/usr/share/metainfo/example.pelmar.station.metainfo.xml",
                           "/usr/share/metainfo/example.pelmar.tavrel.metainfo.xml",
                           "/usr/share/man/man1/pelmar-client.1.gz",
                           "/usr/share/man/man1/pelmar-tavrel.1.gz",
                           "/usr/share/doc/pelmar-station/copyright",
                           "/usr/share/doc/pelmar-station/changelog.Debian.gz"}
            << "^\\./(etc/pelmar-station/|usr/bin/pelmar-|usr/lib/pelmar-station/"
               "|usr/share/(applications|icons/hicolor|metainfo|man/man1|doc/pelmar-station)(/|$)"
               "|(etc|usr|usr/bin|usr/lib|usr/share|usr/share/doc|usr/share/icons|usr/share/man)/$|$)";
        QTest::newRow("simulator")
            << SimPackage
            << QStringList{"/usr/bin/vantor-sim",
                           "/usr/lib/vantor-sim/vantor-sim",
                           "/usr/lib/vantor-sim/libvantor.so.1",
                           "/usr/share/vantor-sim/sites/demo.json",
                           "/usr/share/man/man1/vantor-sim.1.gz",
                           "/usr/share/doc/vantor-sim/copyright",
                           "/usr/share/doc/vantor-sim/changelog.Debian.gz"}
            << "^\\./(usr/bin/vantor-sim$|usr/lib/vantor-sim/|usr/share/(vantor-sim|man/man1|doc/"
               "vantor-sim)(/|$)|(usr|usr/bin|usr/lib|usr/share|usr/share/doc|usr/share/man)/$|$)";
    }

    void contents()
    {
        QFETCH(QString, package);
        QFETCH(QStringList, files);
        QFETCH(QString, allowed);
        const ToolRun listing =
            runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), packagePath(package)});
        QVERIFY2(listing.ok(), qPrintable(listing.output));
        QStringList paths;
        const QRegularExpression allowedPath(allowed);
        for (const QString& line : listing.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            // mode owner/group size date time path [-> target]
            const QStringList columns = line.simplified().split(QLatin1Char(' '));
            QVERIFY2(columns.size() >= 6, qPrintable(line));
            QVERIFY2(columns.at(1) == QLatin1String("root/root"), qPrintable(line));
            const QString path = columns.at(5);
            QVERIFY2(allowedPath.match(path).hasMatch(),
                     qPrintable(QStringLiteral("unexpected in the package: ") + line));
            // Nothing of the tests, the benchmarks or the development files.
            QVERIFY2(!path.contains(QRegularExpression(QStringLiteral("test|bench|/include/|\\.a$|\\.so$"))),
                     qPrintable(line));
            paths << path.mid(1);
        }
        for (const QString& file : files)
            QVERIFY2(paths.contains(file), qPrintable(file + QStringLiteral(" missing from ") + package));

        // The changelog entry is of this version.
        const ToolRun changelog = runTool(
            QStringLiteral("gzip"),
            {QStringLiteral("-dc"), unpacked(QStringLiteral("/usr/share/doc/%1/changelog.Debian.gz").arg(package))});
        QVERIFY2(changelog.output.startsWith(
                     QStringLiteral("%1 (%2) ").arg(package, field(package, QStringLiteral("Version")))),
                 qPrintable(changelog.output));
    }

    void layoutOfTheInstalledStation()
    {
        // Commands on the PATH lead to the executables in their own folder; config.ini beside them
        // is the configuration file in /etc.
        QCOMPARE(QFileInfo(unpacked(QStringLiteral("/usr/bin/pelmar-client"))).symLinkTarget(),
                 unpacked(QStringLiteral("/usr/lib/pelmar-station/client")));
        QCOMPARE(QFileInfo(unpacked(QStringLiteral("/usr/bin/pelmar-tavrel"))).symLinkTarget(),
                 unpacked(QStringLiteral("/usr/lib/pelmar-station/tavrel")));
        QCOMPARE(QFileInfo(unpacked(QStringLiteral("/usr/bin/vantor-sim"))).symLinkTarget(),
                 unpacked(QStringLiteral("/usr/lib/vantor-sim/vantor-sim")));
        QCOMPARE(QFile::symLinkTarget(unpacked(QStringLiteral("/usr/lib/pelmar-station/config.ini"))), ConfigFile);
        for (const char* program :
             {"/usr/lib/pelmar-station/client", "/usr/lib/pelmar-station/tavrel", "/usr/lib/vantor-sim/vantor-sim"})
            QVERIFY2(QFileInfo(unpacked(QString::fromLatin1(program))).isExecutable(), program);

        const ToolRun conffiles =
            runTool(QStringLiteral("dpkg-deb"),
                    {QStringLiteral("--info"), packagePath(StationPackage), QStringLiteral("conffiles")});
        QCOMPARE(conffiles.output.trimmed(), ConfigFile);

        // The shipped settings are the programs' defaults, each key once.
        QCOMPARE(m_shippedConfig.count(QStringLiteral("\nurl=tcp://127.0.0.1:12230\n")), 1);
        QCOMPARE(m_shippedConfig.count(QStringLiteral("\nmaxTiles=64\n")), 1);
    }

    void desktopFilesAndMetadataValidate()
    {
        if (!haveTool(QStringLiteral("desktop-file-validate")) || !haveTool(QStringLiteral("appstreamcli")))
            QSKIP("desktop-file-validate or appstreamcli is not installed (scripts/package.sh installs both)");
        for (const char* id : {"example.pelmar.station", "example.pelmar.tavrel"}) {
            const QString desktop = unpacked(QStringLiteral("/usr/share/applications/%1.desktop").arg(id));
            const ToolRun entry = runTool(QStringLiteral("desktop-file-validate"), {desktop});
            QVERIFY2(entry.ok() && entry.output.isEmpty(), qPrintable(entry.output));
            // The entry starts the command on the PATH, shows the packaged icon, and has all three languages.
            const QString text = readFile(desktop);
            const QString command = text.section(QStringLiteral("\nExec="), 1).section(QLatin1Char('\n'), 0, 0);
            QVERIFY2(QFileInfo::exists(unpacked(QStringLiteral("/usr/bin/") + command)), qPrintable(command));
            QVERIFY(text.contains(QStringLiteral("\nIcon=%1\n").arg(id)));
            for (const char* key : {"Name[es]=", "Name[pt]=", "Comment[es]=", "Comment[pt]="})
                QVERIFY2(text.contains(QLatin1Char('\n') + QLatin1String(key)), key);

            const QString metainfo = unpacked(QStringLiteral("/usr/share/metainfo/%1.metainfo.xml").arg(id));
            const ToolRun metadata = runTool(QStringLiteral("appstreamcli"),
                                             {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
            QVERIFY2(metadata.ok(), qPrintable(metadata.output));
            const QString xml = readFile(metainfo);
            for (const char* language : {"es", "pt"}) {
                QVERIFY2(xml.contains(QStringLiteral("<name xml:lang=\"%1\">").arg(language)), language);
                QVERIFY2(xml.contains(QStringLiteral("<summary xml:lang=\"%1\">").arg(language)), language);
            }
            QVERIFY2(xml.contains(QStringLiteral("<release version=\"%1\"").arg(STATION_VERSION)), qPrintable(xml));
        }
    }

    void lintianFindsNoErrors()
    {
        if (!haveTool(QStringLiteral("lintian")))
            QSKIP("lintian is not installed (scripts/package.sh installs it)");
        const ToolRun lintian =
            runTool(QStringLiteral("lintian"), {QStringLiteral("--fail-on"), QStringLiteral("error"),
                                                packagePath(StationPackage), packagePath(SimPackage)});
        QVERIFY2(lintian.ok(), qPrintable(lintian.output));
        const QStringList errors =
            lintian.output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^E: ")));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    }

    void simulatorStartsOnTheDemoSite()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const int serverPort = testsupport::freePort();
        const int gatewayPorts = freePortPair();
        const int posPorts = freePortPair();
        QVERIFY(serverPort > 0 && gatewayPorts > 0 && posPorts > 0);

        ProgramRun sim;
        sim.process().setProcessChannelMode(QProcess::MergedChannels);
        // Every gateway of the demo site on loopback, on ports of the test's own.
        QVERIFY(sim.start(unpacked(QStringLiteral("/usr/bin/vantor-sim")),
                          {QStringLiteral("--site"), unpacked(QStringLiteral("/usr/share/vantor-sim/sites/demo.json")),
                           QStringLiteral("--port"), QString::number(serverPort), QStringLiteral("--gateway-address"),
                           QStringLiteral("127.0.0.1"), QStringLiteral("--gateway-port"), QString::number(gatewayPorts),
                           QStringLiteral("--pos-port"), QString::number(posPorts), QStringLiteral("--media-dir"),
                           home.filePath(QStringLiteral("media"))},
                          home.path(), programEnvironment(home)));
        QByteArray output;
        const bool ready = QTest::qWaitFor(
            [&] {
                output += sim.process().readAll();
                return output.contains("vantor-sim: ready") || sim.process().state() == QProcess::NotRunning;
            },
            30000);
        QVERIFY2(ready && output.contains("vantor-sim: ready"), output.constData());
        QVERIFY2(!output.contains("warning"), output.constData());
        QVERIFY(processMaps(sim.process().processId(), unpacked(QStringLiteral("/usr/lib/vantor-sim/libvantor.so.1"))));
    }

    void stationStartsThroughItsCommands()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const int ipcPort = testsupport::freePort();
        QVERIFY(ipcPort > 0);
        const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(ipcPort);
        useUnpackedConfig(url, 9);

        // No login fields are stored, so the client stays on its login page.
        ProgramRun client;
        QVERIFY(client.start(unpacked(QStringLiteral("/usr/bin/pelmar-client")), {}, home.path(),
                             programEnvironment(home)));
        const QString clientLog = home.filePath(QStringLiteral("data/PELMAR/clientLogs.txt"));
        // The remote interface is where the edited config.ini says: the client found the file.
        ReplicaSide replica{QUrl(url)};
        QVERIFY2(replica.waitForSource(30000), qPrintable(readFile(clientLog)));
        QSignalSpy loginState(&replica, &ReplicaSide::loggedIn);
        replica.requestLoginStatus();
        QTRY_COMPARE_WITH_TIMEOUT(loginState.count(), 1, 10000);
        QCOMPARE(loginState.first().first().toBool(), false);
        QVERIFY2(readFile(clientLog).contains(QLatin1String("Camera tiles that play at most: 9")),
                 qPrintable(readFile(clientLog)));
        QCOMPARE(client.process().state(), QProcess::Running);
        QVERIFY(processMaps(client.process().processId(),
                            unpacked(QStringLiteral("/usr/lib/pelmar-station/libvantor.so.1"))));

        // The companion reads the same file and looks for the client there.
        ProgramRun tavrel;
        QVERIFY(tavrel.start(unpacked(QStringLiteral("/usr/bin/pelmar-tavrel")), {}, home.path(),
                             programEnvironment(home)));
        const QString tavrelLog = home.filePath(QStringLiteral("tavrel.log"));
        QTRY_VERIFY2_WITH_TIMEOUT(readFile(tavrelLog).contains(QStringLiteral("Connecting to: QUrl(\"%1\")").arg(url)),
                                  qPrintable(readFile(tavrelLog)), 20000);
        QTRY_VERIFY2_WITH_TIMEOUT(readFile(tavrelLog).contains(QLatin1String("isLoggedIn: false")),
                                  qPrintable(readFile(tavrelLog)), 20000);
        QCOMPARE(tavrel.process().state(), QProcess::Running);
    }

private:
    QMap<QString, QString> m_packages;
    QTemporaryDir m_root;
    QString m_shippedConfig;
};

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
