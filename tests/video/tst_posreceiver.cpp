// SPDX-License-Identifier: MIT
// POS subscriptions counted per publisher address, against real publishers on loopback.
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "logcapture.h"
#include "posreceiver.h"
#include "testpublisher.h"
#include "videotypes.h"

namespace {

constexpr int timeoutMs = 10000;
const QString ip = QStringLiteral("127.0.0.1");

} // namespace

class TestPosReceiver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerVideoTypes(); }

    void singletonInQml();
    void firstPortFixesTheEndpoint();
    void subscriberGoesWithTheLastUnsubscribe();
    void countsCallsNotChannels();
    void unknownAddressIsIgnored();
    void overlongMessageIsCutWithAWarning();
    void floodIsCappedWithACount();
};

void TestPosReceiver::singletonInQml()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.15\nimport Native 1.0\nQtObject { property var receiver: PosReceiver }", QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    auto* receiver = qvariant_cast<QObject*>(object->property("receiver"));
    QVERIFY(qobject_cast<PosReceiver*>(receiver));
    QCOMPARE(receiver->parent(), nullptr);
}

void TestPosReceiver::firstPortFixesTheEndpoint()
{
    TestPublisher first;
    TestPublisher second;
    PosReceiver receiver;
    QSignalSpy received(&receiver, &PosReceiver::posReceived);
    LogCapture log;

    receiver.subscribe(ip, first.port(), QStringLiteral("S1"));
    receiver.subscribe(ip, second.port(), QStringLiteral("S2"));
    QVERIFY(log.contains(QStringLiteral("Subscribed to channel: \"S1\"")));
    QVERIFY(log.contains(QStringLiteral("Subscribed to channel: \"S2\"")));
    QTRY_COMPARE_WITH_TIMEOUT(first.subscriptions(), (QStringList{"+S1", "+S2"}), timeoutMs);

    first.publish({"S2", "TOTAL 3.50\nCASH 5.00"});
    first.publish({"S1X", "prefix"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, timeoutMs);
    QCOMPARE(received.at(0), (QList<QVariant>{"S2", "TOTAL 3.50\nCASH 5.00"}));
    QCOMPARE(received.at(1), (QList<QVariant>{"S1X", "prefix"}));
    QVERIFY(second.subscriptions().isEmpty());
}

void TestPosReceiver::subscriberGoesWithTheLastUnsubscribe()
{
    TestPublisher first;
    TestPublisher second;
    PosReceiver receiver;
    QSignalSpy received(&receiver, &PosReceiver::posReceived);

    receiver.subscribe(ip, first.port(), QStringLiteral("S1"));
    receiver.subscribe(ip, first.port(), QStringLiteral("S2"));
    QTRY_COMPARE_WITH_TIMEOUT(first.subscriptions(), (QStringList{"+S1", "+S2"}), timeoutMs);

    LogCapture log;
    receiver.unsubscribe(ip, QStringLiteral("S1"));
    QVERIFY(log.contains(QStringLiteral("Unsubscribed channel: \"S1\"")));
    // One subscription left: the subscriber stays, on the first port.
    receiver.subscribe(ip, second.port(), QStringLiteral("S3"));
    QTRY_COMPARE_WITH_TIMEOUT(first.subscriptions(), (QStringList{"+S1", "+S2", "-S1", "+S3"}), timeoutMs);
    first.publish({"S3", "still here"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, timeoutMs);

    receiver.unsubscribe(ip, QStringLiteral("S2"));
    receiver.unsubscribe(ip, QStringLiteral("S3"));
    // All gone: the next subscription makes a new subscriber with its own port.
    receiver.subscribe(ip, second.port(), QStringLiteral("S4"));
    QTRY_COMPARE_WITH_TIMEOUT(second.subscriptions(), (QStringList{"+S4"}), timeoutMs);
    second.publish({"S4", "new endpoint"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, timeoutMs);
    QCOMPARE(received.last().at(1).toString(), QStringLiteral("new endpoint"));
}

void TestPosReceiver::countsCallsNotChannels()
{
    TestPublisher first;
    TestPublisher second;
    PosReceiver receiver;
    LogCapture log;

    // Two calls for one channel set the filter once but count twice; the filter stays while one
    // view still wants the channel.
    QSignalSpy received(&receiver, &PosReceiver::posReceived);
    receiver.subscribe(ip, first.port(), QStringLiteral("S1"));
    receiver.subscribe(ip, first.port(), QStringLiteral("S1"));
    QVERIFY(log.contains(QStringLiteral("Channel: \"S1\" already be subscribed")));
    receiver.unsubscribe(ip, QStringLiteral("S1"));
    receiver.subscribe(ip, second.port(), QStringLiteral("S2"));
    QTRY_COMPARE_WITH_TIMEOUT(first.subscriptions(), (QStringList{"+S1", "+S2"}), timeoutMs);
    first.publish({"S1", "for the view that stayed"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, timeoutMs);
    receiver.unsubscribe(ip, QStringLiteral("S1"));
    receiver.subscribe(ip, first.port(), QStringLiteral("S1"));
    QTRY_COMPARE_WITH_TIMEOUT(first.subscriptions(), (QStringList{"+S1", "+S2", "-S1", "+S1"}), timeoutMs);

    // A channel never subscribed still lowers the count: two more calls end the subscriber.
    receiver.unsubscribe(ip, QStringLiteral("never"));
    QVERIFY(log.contains(QStringLiteral("Channel: \"never\" is not in the set!")));
    receiver.unsubscribe(ip, QStringLiteral("S2"));
    receiver.subscribe(ip, second.port(), QStringLiteral("S5"));
    QTRY_COMPARE_WITH_TIMEOUT(second.subscriptions(), (QStringList{"+S5"}), timeoutMs);
}

void TestPosReceiver::unknownAddressIsIgnored()
{
    TestPublisher publisher;
    PosReceiver receiver;
    receiver.subscribe(ip, publisher.port(), QStringLiteral("S1"));
    LogCapture log;
    receiver.unsubscribe(QStringLiteral("10.0.0.1"), QStringLiteral("S1"));
    QCOMPARE(log.lines(), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(publisher.subscriptions(), (QStringList{"+S1"}), timeoutMs);

    // An address that cannot be an endpoint: counted, nothing arrives, nothing breaks.
    receiver.subscribe(QStringLiteral("no host here"), 1, QStringLiteral("S1"));
    receiver.unsubscribe(QStringLiteral("no host here"), QStringLiteral("S1"));
    QVERIFY(log.contains(QStringLiteral("virtual bool zmq_Subscriber::createSocket()")));

    // Dropping the last subscription from inside a handler, while its subscriber delivers.
    QSignalSpy received(&receiver, &PosReceiver::posReceived);
    connect(&receiver, &PosReceiver::posReceived, this, [&] { receiver.unsubscribe(ip, QStringLiteral("S1")); });
    publisher.publish({"S1", "one"});
    publisher.publish({"S1", "two"});
    QTRY_VERIFY_WITH_TIMEOUT(received.count() >= 1, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(publisher.subscriptions(), (QStringList{"+S1", "-S1"}), timeoutMs);
    QCOMPARE(received.count(), 1);
}

void TestPosReceiver::overlongMessageIsCutWithAWarning()
{
    TestPublisher publisher;
    PosReceiver receiver;
    QSignalSpy received(&receiver, &PosReceiver::posReceived);
    receiver.subscribe(ip, publisher.port(), QStringLiteral("S1"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+S1")), timeoutMs);

    LogCapture log;
    const QByteArray longest(PosReceiver::maxMessageLength, 'a');
    publisher.publish({"S1", longest});
    publisher.publish({"S1", "TOTAL 1.00\n" + QByteArray(1024 * 1024, 'b')});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, timeoutMs);
    QCOMPARE(received.at(0).at(1).toString().size(), PosReceiver::maxMessageLength);
    const QString cut = received.at(1).at(1).toString();
    QCOMPARE(cut.size(), PosReceiver::maxMessageLength);
    QVERIFY(cut.startsWith(QLatin1String("TOTAL 1.00\nbbb")));
    QCOMPARE(log.lines(QtWarningMsg),
             QStringList{QStringLiteral("POS message on channel \"S1\" of %1 characters cut to %2")
                             .arg(1024 * 1024 + 11)
                             .arg(PosReceiver::maxMessageLength)});
}

void TestPosReceiver::floodIsCappedWithACount()
{
    TestPublisher publisher;
    PosReceiver receiver;
    QSignalSpy received(&receiver, &PosReceiver::posReceived);
    receiver.subscribe(ip, publisher.port(), QStringLiteral("S1"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+S1")), timeoutMs);

    // Three seconds' worth at once: one second's share passes, in order.
    LogCapture log;
    const int burst = 3 * PosReceiver::defaultMaxMessagesPerSecond;
    for (int i = 0; i < burst; ++i)
        publisher.publish({"S1", QByteArray::number(i)});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), PosReceiver::defaultMaxMessagesPerSecond, timeoutMs);
    QCOMPARE(received.last().at(1).toString(), QString::number(PosReceiver::defaultMaxMessagesPerSecond - 1));
    QVERIFY(log.lines(QtWarningMsg).isEmpty());

    // The next second starts with a count of what was dropped, and passes messages again.
    // The limit counts by the second: the next one starts after this, whatever arrives.
    const int nextSecondOfTheLimit = 1100;
    QTest::qWait(nextSecondOfTheLimit);
    publisher.publish({"S1", "after the flood"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), PosReceiver::defaultMaxMessagesPerSecond + 1, timeoutMs);
    QCOMPARE(received.last().at(1).toString(), QStringLiteral("after the flood"));
    QCOMPARE(log.lines(QtWarningMsg),
             QStringList{QStringLiteral("Dropped %1 POS messages: more than %2 arrived in one second")
                             .arg(burst - PosReceiver::defaultMaxMessagesPerSecond)
                             .arg(PosReceiver::defaultMaxMessagesPerSecond)});

    // Without a limit the whole burst passes.
    receiver.setMaxMessagesPerSecond(0);
    received.clear();
    for (int i = 0; i < burst; ++i)
        publisher.publish({"S1", QByteArray::number(i)});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), burst, timeoutMs);
}

QTEST_GUILESS_MAIN(TestPosReceiver)
#include "tst_posreceiver.moc"
