// SPDX-License-Identifier: MIT
// The companion's connection layer against a source hosted by the test.
#include <QFile>
#include <QPointer>
#include <QRemoteObjectNode>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "logcapture.h"
#include "rep_client_service_replica.h"
#include "rpcreplica.h"
#include "scopedconfig.h"
#include "testsource.h"

class TestRpcReplica : public QObject
{
    Q_OBJECT

private slots:
    void addressComesFromConfigBesideTheExecutable_data()
    {
        QTest::addColumn<bool>("writeFile");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected");
        const QString fallback = QStringLiteral("tcp://127.0.0.1:12230");
        QTest::newRow("no file") << false << QByteArray() << fallback;
        QTest::newRow("url set") << true << QByteArray("[IPC]\nurl=tcp://127.0.0.1:4567\n")
                                 << QStringLiteral("tcp://127.0.0.1:4567");
        QTest::newRow("local socket") << true << QByteArray("[IPC]\nurl=local:tavrel-test\n")
                                      << QStringLiteral("local:tavrel-test");
        QTest::newRow("other keys only") << true << QByteArray("[IPC]\nport=4567\n[Other]\nurl=tcp://x:1\n")
                                         << fallback;
        QTest::newRow("empty file") << true << QByteArray() << fallback;
    }

    void addressComesFromConfigBesideTheExecutable()
    {
        QFETCH(bool, writeFile);
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        QFile::remove(RpcReplica::configFilePath());
        std::unique_ptr<ScopedConfig> config;
        if (writeFile) {
            config = std::make_unique<ScopedConfig>(contents);
            QVERIFY(config->written());
        }

        LogCapture log;
        RpcReplica rpc;
        QCOMPARE(rpc.hostUrl(), QUrl(expected));
        QVERIFY2(log.contains(QStringLiteral("IPC url: \"%1\"").arg(expected)), qPrintable(log.lines().join('\n')));
        QVERIFY(!rpc.replica());

        // The file is the client's too; the companion only reads it.
        QCOMPARE(QFile::exists(RpcReplica::configFilePath()), writeFile);
        if (writeFile) {
            QFile file(RpcReplica::configFilePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), contents);
        }
    }

    void followsTheHostComingAndGoing()
    {
        TestSource source(TestSource::freeUrl());
        RpcReplica rpc(source.url());
        QSignalSpy connected(&rpc, &RpcReplica::connectedToHost);
        QSignalSpy disconnected(&rpc, &RpcReplica::disconnectedFromHost);

        LogCapture log;
        // Started before the client: it waits at the fast heartbeat.
        rpc.connectToHost();
        QVERIFY(rpc.replica());
        QRemoteObjectNode* node = rpc.replica()->node();
        QVERIFY(node);
        QCOMPARE(node->heartbeatInterval(), 500);
        QVERIFY(log.contains(QStringLiteral("Connecting to: QUrl(\"%1\")").arg(source.url().toString())));
        QVERIFY(log.lines().filter(QRegularExpression("^Service instance: client_ServiceReplica\\(0x")).size() == 1);
        QVERIFY(!rpc.replica()->isReplicaValid());

        QVERIFY(source.start());
        QVERIFY(connected.wait(10000));
        QCOMPARE(rpc.replica()->state(), QRemoteObjectReplica::Valid);
        QCOMPARE(node->heartbeatInterval(), 5000);
        QCOMPARE(disconnected.count(), 0);
        QVERIFY(log.contains(QStringLiteral("client_ServiceReplica::initialized")));
        QVERIFY2(log.contains(QStringLiteral("client_ServiceReplica::stateChanged(new: QRemoteObjectReplica::Valid , "
                                             "old: QRemoteObjectReplica::Default )")),
                 qPrintable(log.lines().join('\n')));

        // The client goes away.
        source.stop();
        QVERIFY(disconnected.wait(10000));
        QVERIFY(rpc.replica()->state() != QRemoteObjectReplica::Valid);
        QCOMPARE(node->heartbeatInterval(), 500);
        QCOMPARE(connected.count(), 1);

        // And comes back on the same address: the replica is valid again without any help.
        QVERIFY(source.start());
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 10000);
        QCOMPARE(rpc.replica()->state(), QRemoteObjectReplica::Valid);
        QCOMPARE(node->heartbeatInterval(), 5000);
    }

    void unusableAddressIsLoggedAndLeftInvalid_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("unknown scheme") << QUrl(QStringLiteral("foo://127.0.0.1:1"));
        QTest::newRow("empty") << QUrl();
        QTest::newRow("no scheme") << QUrl(QStringLiteral("127.0.0.1:12230"));
    }

    void unusableAddressIsLoggedAndLeftInvalid()
    {
        QFETCH(QUrl, url);
        LogCapture log;
        RpcReplica rpc(url);
        QSignalSpy connected(&rpc, &RpcReplica::connectedToHost);
        rpc.connectToHost();
        QVERIFY2(log.lines(QtWarningMsg).contains(QStringLiteral("connectToNode() failed")),
                 qPrintable(log.lines().join('\n')));
        // The program runs on with a replica that never becomes valid.
        QVERIFY(rpc.replica());
        QVERIFY(!rpc.replica()->isReplicaValid());
        QCOMPARE(connected.count(), 0);
    }

    void connectingAgainReplacesNodeAndReplica()
    {
        TestSource source(TestSource::freeUrl());
        QVERIFY(source.start());
        RpcReplica rpc(source.url());
        QSignalSpy connected(&rpc, &RpcReplica::connectedToHost);
        rpc.connectToHost();
        QVERIFY(connected.wait(10000));
        QPointer<client_ServiceReplica> first = rpc.replica();
        QPointer<QRemoteObjectNode> firstNode = first->node();

        rpc.connectToHost();
        QVERIFY(first.isNull());
        QVERIFY(firstNode.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 10000);
        QCOMPARE(rpc.replica()->state(), QRemoteObjectReplica::Valid);
    }

    // On a local socket the companion talks only to its own user's client: another user's socket
    // under the name is not connected to (said once), and the companion connects once the socket
    // is its user's.
    void anotherUsersSocketIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("making a socket of another user needs root");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("station"));
        TestSource source(QUrl(QStringLiteral("local:") + path));
        QVERIFY(source.start());
        const QByteArray name = QFile::encodeName(path);
        QCOMPARE(::chown(name.constData(), 65534, 65534), 0);

        LogCapture log;
        RpcReplica rpc(source.url());
        QSignalSpy connected(&rpc, &RpcReplica::connectedToHost);
        rpc.connectToHost();
        QVERIFY(rpc.replica());
        QVERIFY(!connected.wait(2000));
        QCOMPARE(log.lines(QtWarningMsg).filter(QStringLiteral("belongs to another user")).count(), 1);

        QCOMPARE(::chown(name.constData(), ::geteuid(), ::getegid()), 0);
        QVERIFY(connected.wait(10000));
        QCOMPARE(rpc.replica()->state(), QRemoteObjectReplica::Valid);
    }
};

QTEST_GUILESS_MAIN(TestRpcReplica)
#include "tst_rpcreplica.moc"
