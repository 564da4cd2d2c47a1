// SPDX-License-Identifier: MIT
#include <memory>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaClassInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "client_service.h"
#include "freeports.h"
#include "logcapture.h"
#include "replicaside.h"
#include "rpcsource.h"

namespace {

const int timeoutMs = 5000;

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
}

void writeConfig(const QByteArray& contents)
{
    QFile file(configPath());
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    file.write(contents);
    QVERIFY(file.flush());
    // QSettings keeps a parsed file while its time stamp and size stay the same; give every
    // version of the file a time of its own so that the next reader sees it.
    static int written = 0;
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(++written), QFileDevice::FileModificationTime));
}

void writeConfigUrl(const QString& url)
{
    writeConfig("[IPC]\nurl=" + url.toUtf8() + "\n");
}

QByteArray sourceClassInfo(const char* name)
{
    const QMetaObject& meta = client_ServiceSource::staticMetaObject;
    const int index = meta.indexOfClassInfo(name);
    return index < 0 ? QByteArray() : QByteArray(meta.classInfo(index).value());
}

const char* const securityWarning = "is not a loopback address: any host that reaches it can steer the client";

int countContaining(const QStringList& lines, const QString& part)
{
    int n = 0;
    for (const QString& line : lines)
        n += line.contains(part) ? 1 : 0;
    return n;
}

} // namespace

// One host with its service and one replica connected to it for the whole run, as the client and
// the companion are; other cases make hosts of their own.
class tst_RpcSource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void interfaceIdentity();
    void loginState();
    void layouts();
    void pageRequests_data();
    void pageRequests();
    void localSocketIsTheUsersOwn_data();
    void localSocketIsTheUsersOwn();

    void configFile_data();
    void configFile();
    void listenFailureReported();
    void nonLoopbackWarns_data();
    void nonLoopbackWarns();

private:
    QUrl m_url;
    std::unique_ptr<RpcSource> m_rpc;
    std::unique_ptr<ReplicaSide> m_replica;
};

void tst_RpcSource::initTestCase()
{
    QFile::remove(configPath());
    const int port = testsupport::freePort();
    QVERIFY(port != 0);
    m_url = QUrl(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
    writeConfigUrl(m_url.toString());

    LogCapture log;
    m_rpc = std::make_unique<RpcSource>();
    QFile::remove(configPath());
    QVERIFY(!m_rpc->source());
    QVERIFY(m_rpc->start());
    QVERIFY(m_rpc->source());

    // The file beside the executable decides where the host listens.
    QCOMPARE(m_rpc->url(), m_url);
    QVERIFY2(log.contains(QStringLiteral("IPC url: \"%1\"").arg(m_url.toString())), qPrintable(log.lines().join('\n')));
    QVERIFY2(log.contains(QStringLiteral("Listening on: QUrl(\"%1\")").arg(m_url.toString())),
             qPrintable(log.lines().join('\n')));
    QCOMPARE(countContaining(log.lines(), securityWarning), 0);

    m_replica = std::make_unique<ReplicaSide>(m_url);
    QVERIFY(m_replica->waitForSource(timeoutMs));
}

void tst_RpcSource::cleanupTestCase()
{
    m_replica.reset();
    m_rpc.reset();
    QFile::remove(configPath());
}

void tst_RpcSource::cleanup()
{
    QFile::remove(configPath());
}

void tst_RpcSource::interfaceIdentity()
{
    const QByteArray type = "client_Service";
    const QByteArray signature = "d1c736b368dac9ff0b1dfe712846f97ad41ec35a";
    QCOMPARE(sourceClassInfo(QCLASSINFO_REMOTEOBJECT_TYPE), type);
    QCOMPARE(sourceClassInfo(QCLASSINFO_REMOTEOBJECT_SIGNATURE), signature);
    QCOMPARE(ReplicaSide::typeName(), type);
    QCOMPARE(ReplicaSide::signature(), signature);
}

void tst_RpcSource::loginState()
{
    QSignalSpy loggedIn(m_replica.get(), &ReplicaSide::loggedIn);
    QSignalSpy loggedOut(m_replica.get(), &ReplicaSide::loggedOut);
    m_replica->requestLoginStatus();
    QTRY_COMPARE_WITH_TIMEOUT(loggedIn.count(), 1, timeoutMs);
    QCOMPARE(loggedIn.at(0).at(0).toBool(), false);

    // Every call reaches the replicas, also when the state stays the same.
    m_rpc->source()->setLoggedIn(true);
    m_rpc->source()->setLoggedIn(true);
    m_replica->requestLoginStatus();
    QTRY_COMPARE_WITH_TIMEOUT(loggedIn.count(), 4, timeoutMs);
    for (int i = 1; i < 4; ++i)
        QCOMPARE(loggedIn.at(i).at(0).toBool(), true);

    m_rpc->source()->publishLoggedOut();
    QTRY_COMPARE_WITH_TIMEOUT(loggedOut.count(), 1, timeoutMs);
    QCOMPARE(loggedIn.count(), 5);
    QCOMPARE(loggedIn.at(4).at(0).toBool(), false);
    m_replica->requestLoginStatus();
    QTRY_COMPARE_WITH_TIMEOUT(loggedIn.count(), 6, timeoutMs);
    QCOMPARE(loggedIn.at(5).at(0).toBool(), false);
}

void tst_RpcSource::layouts()
{
    QSignalSpy received(m_replica.get(), &ReplicaSide::layoutListChanged);
    m_replica->requestLayoutList();
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, timeoutMs);
    QVERIFY(received.at(0).at(0).toStringList().isEmpty());

    const QStringList names{QStringLiteral("Entrance"), QStringLiteral("Sala «Norte» ✓")};
    const QStringList jsons{QStringLiteral("{\"note\": \"a \\\"quoted\\\" `tick`\"}"), QStringLiteral("{}")};
    m_rpc->source()->setLayouts({client_Layout(names.at(0), jsons.at(0)), client_Layout(names.at(1), jsons.at(1))});
    m_replica->requestLayoutList();
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 3, timeoutMs);
    for (int i = 1; i < 3; ++i) {
        QCOMPARE(received.at(i).at(0).toStringList(), names);
        QCOMPARE(received.at(i).at(1).toStringList(), jsons);
    }

    // A fetch that finds nothing still tells the replicas.
    m_rpc->source()->setLayouts({});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 4, timeoutMs);
    QVERIFY(received.at(3).at(0).toStringList().isEmpty());

    QSignalSpy requested(m_rpc->source().get(), &client_Service::setLayoutRequested);
    m_replica->setLayout(names.at(1), jsons.at(0));
    QVERIFY(requested.wait(timeoutMs));
    QCOMPARE(requested.at(0), QVariantList({names.at(1), jsons.at(0)}));
}

void tst_RpcSource::pageRequests_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<client_ServiceSource::ClientPage>("received");
    QTest::addColumn<int>("warnings");

    QTest::newRow("recorder") << 0 << client_ServiceSource::RECORDER << 0;
    QTest::newRow("playback") << 1 << client_ServiceSource::PLAYBACK << 0;
    QTest::newRow("settings") << 2 << client_ServiceSource::SETTINGS << 0;
    QTest::newRow("3") << 3 << client_ServiceSource::RECORDER << 1;
    QTest::newRow("255") << 255 << client_ServiceSource::RECORDER << 1;
}

void tst_RpcSource::pageRequests()
{
    QFETCH(int, sent);
    QFETCH(client_ServiceSource::ClientPage, received);
    QFETCH(int, warnings);

    LogCapture log;
    QSignalSpy requested(m_rpc->source().get(), &client_Service::jumpPageRequested);
    m_replica->jumpPage(sent);
    QVERIFY(requested.wait(timeoutMs));
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.at(0).at(0).value<client_ServiceSource::ClientPage>(), received);

    const QString warning =
        QStringLiteral("QtRO received an invalid enum value for typeClientPage, value = %1").arg(sent);
    QCOMPARE(log.lines(QtWarningMsg).count(warning), warnings);
    QCOMPARE(log.lines(QtWarningMsg).size(), warnings);
}

void tst_RpcSource::configFile_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("url");

    const QString fallback = QStringLiteral("tcp://127.0.0.1:12230");
    QTest::newRow("no file") << false << QByteArray() << fallback;
    QTest::newRow("no key") << true << QByteArray("[IPC]\nother=1\n[Main]\nurl=tcp://10.0.0.1:1\n") << fallback;
    QTest::newRow("key") << true << QByteArray("[IPC]\nurl=tcp://127.0.0.1:40123\n")
                         << QStringLiteral("tcp://127.0.0.1:40123");
    QTest::newRow("local socket") << true << QByteArray("[IPC]\nurl=local:station-remote\n")
                                  << QStringLiteral("local:station-remote");
}

void tst_RpcSource::configFile()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, contents);
    QFETCH(QString, url);

    if (present)
        writeConfig(contents);
    LogCapture log;
    RpcSource rpc;
    QCOMPARE(rpc.url(), QUrl(url));
    QCOMPARE(log.lines(QtDebugMsg), QStringList{QStringLiteral("IPC url: \"%1\"").arg(url)});
    QVERIFY(QFile::exists(configPath()) == present);
}

void tst_RpcSource::listenFailureReported()
{
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    writeConfigUrl(QStringLiteral("tcp://127.0.0.1:%1").arg(occupant.serverPort()));

    LogCapture log;
    RpcSource rpc;
    QVERIFY(!rpc.start());
    // The controller connects to the service whether or not the host listens.
    QVERIFY(rpc.source());
    const QStringList warnings = log.lines(QtWarningMsg);
    QVERIFY2(warnings.contains(QStringLiteral("bool RpcSource::start()")), qPrintable(warnings.join('\n')));
    QCOMPARE(countContaining(warnings, QStringLiteral("  Err: cannot listen on")), 1);
}

void tst_RpcSource::nonLoopbackWarns_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("warns");

    QTest::newRow("loopback") << QStringLiteral("127.0.0.1") << false;
    QTest::newRow("localhost") << QStringLiteral("localhost") << false;
    // Documentation address: nothing here owns it, so the host does not open a port to the network.
    QTest::newRow("other host") << QStringLiteral("192.0.2.1") << true;
    QTest::newRow("local socket") << QString() << false;
}

void tst_RpcSource::nonLoopbackWarns()
{
    QFETCH(QString, host);
    QFETCH(bool, warns);

    // A socket name without a folder would put the socket in the shared temporary folder.
    QTemporaryDir socketDir;
    QVERIFY(socketDir.isValid());
    if (host.isEmpty())
        writeConfigUrl(QStringLiteral("local:") + socketDir.filePath(QStringLiteral("station-rpc")));
    else
        writeConfigUrl(QStringLiteral("tcp://%1:%2").arg(host).arg(testsupport::freePort()));

    LogCapture log;
    RpcSource rpc;
    rpc.start();
    QVERIFY2(countContaining(log.lines(QtWarningMsg), securityWarning) == (warns ? 1 : 0),
             qPrintable(log.lines().join(QLatin1Char('\n'))));
}

void tst_RpcSource::localSocketIsTheUsersOwn_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("another user holds the name") << QStringLiteral("foreign");
    QTest::newRow("made open to all by the umask") << QStringLiteral("open");
}

// A local socket is steered by whoever may write it: the client listens only on a socket of its
// user that nobody else may write, and never on a name another user holds.
void tst_RpcSource::localSocketIsTheUsersOwn()
{
    QFETCH(QString, situation);
    QTemporaryDir socketDir;
    QVERIFY(socketDir.isValid());
    const QString path = socketDir.filePath(QStringLiteral("station-rpc"));
    writeConfigUrl(QStringLiteral("local:") + path);

    QLocalServer squatter;
    if (situation == QLatin1String("foreign")) {
        if (::geteuid() != 0)
            QSKIP("making a socket of another user needs root");
        QVERIFY(squatter.listen(path));
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    }

    const mode_t previousMask = ::umask(situation == QLatin1String("open") ? 0 : 022);
    LogCapture log;
    RpcSource rpc;
    const bool listening = rpc.start();
    ::umask(previousMask);
    QVERIFY(rpc.source());

    if (situation == QLatin1String("foreign")) {
        QVERIFY(!listening);
        QCOMPARE(countContaining(log.lines(QtWarningMsg), QStringLiteral("belongs to another user")), 1);
        QCOMPARE(QFileInfo(path).ownerId(), 65534u);
        return;
    }
    QVERIFY2(listening, qPrintable(log.lines().join(QLatin1Char('\n'))));
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_uid, ::geteuid());
    QCOMPARE(st.st_mode & 022, mode_t(0));
    QCOMPARE(countContaining(log.lines(QtInfoMsg), QStringLiteral("made it owner-only")),
             situation == QLatin1String("open") ? 1 : 0);
    // And it is a working socket.
    QLocalSocket socket;
    socket.connectToServer(path);
    QVERIFY(socket.waitForConnected(timeoutMs));
}

QTEST_GUILESS_MAIN(tst_RpcSource)
#include "tst_rpcsource.moc"
