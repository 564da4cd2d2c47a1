// SPDX-License-Identifier: MIT
// The ZeroMQ subscriber on the event loop, against a real publisher on loopback.
#include <QSignalSpy>
#include <QtTest>

#include <poll.h>

#include "logcapture.h"
#include "testpublisher.h"
#include "zmq_context.h"
#include "zmq_subscriber.h"

namespace {

constexpr int timeoutMs = 10000;

// Reaches the socket so that a test can wait for its handle without running the event loop.
class ProbedSubscriber : public zmq_Subscriber
{
public:
    using zmq_Subscriber::zmq_Subscriber;
    zmq::fd_t handle() const { return m_socket->get(zmq::sockopt::fd); }
    // Reading the events is one of the operations that take in the handle's signal.
    int pendingEvents() const { return m_socket->get(zmq::sockopt::events); }
};

using Message = QPair<QString, QString>;

QList<Message> messagesOf(const QSignalSpy& spy)
{
    QList<Message> result;
    for (const QList<QVariant>& arguments : spy)
        result << Message(arguments.at(0).toString(), arguments.at(1).toString());
    return result;
}

} // namespace

class TestZmqSubscriber : public QObject
{
    Q_OBJECT

private slots:
    void framesOfAMessage_data();
    void framesOfAMessage();
    void burstArrivesWholeAndInOrder();
    void longBurstLetsTheEventLoopRun();
    void messagesRightAfterSubscribeDoNotWait();
    void filtersChangeOncePerChannel();
    void startAndStop();
    void malformedEndpoint_data();
    void malformedEndpoint();
    void contextIsMadeOnce();
};

void TestZmqSubscriber::framesOfAMessage_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QList<Message>>("expected");
    QTest::addColumn<bool>("dropped");

    const Message after(QStringLiteral("CAM1"), QStringLiteral("after"));
    QTest::newRow("two frames, two-line text")
        << QList<QByteArray>{"CAM1", "TOTAL 3.50\nCASH 5.00"}
        << QList<Message>{Message("CAM1", "TOTAL 3.50\nCASH 5.00"), after} << false;
    QTest::newRow("three frames: the third is ignored")
        << QList<QByteArray>{"CAM1", "text", "extra"} << QList<Message>{Message("CAM1", "text"), after} << false;
    QTest::newRow("one frame: dropped") << QList<QByteArray>{"CAM1"} << QList<Message>{after} << true;
    QTest::newRow("UTF-8 and an empty text")
        << QList<QByteArray>{"CAM1", ""} << QList<Message>{Message("CAM1", ""), after} << false;
    QTest::newRow("prefix of the channel passes the filter")
        << QList<QByteArray>{"CAM1X", QString::fromUtf8("Käse 1,20 €").toUtf8()}
        << QList<Message>{Message("CAM1X", QString::fromUtf8("Käse 1,20 €")), after} << false;
}

void TestZmqSubscriber::framesOfAMessage()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QList<Message>, expected);
    QFETCH(bool, dropped);

    TestPublisher publisher;
    zmq_Subscriber subscriber(publisher.endpoint());
    QSignalSpy received(&subscriber, &zmq_Subscriber::messageReceived);
    QVERIFY(subscriber.start());
    subscriber.subscribe(QStringLiteral("CAM1"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+CAM1")), timeoutMs);

    LogCapture log;
    publisher.publish(std::vector<QByteArray>(frames.begin(), frames.end()));
    // A message behind it shows that the first was handled, whatever became of it.
    publisher.publish({"CAM1", "after"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), expected.size(), timeoutMs);
    QCOMPARE(messagesOf(received), expected);
    const bool logged = log.lines().filter(QStringLiteral("Dropped a message of 1 frame(s)")).size() == 1;
    QCOMPARE(logged, dropped);
}

void TestZmqSubscriber::burstArrivesWholeAndInOrder()
{
    TestPublisher publisher;
    zmq_Subscriber subscriber(publisher.endpoint());
    QStringList texts;
    connect(&subscriber, &zmq_Subscriber::messageReceived, this,
            [&texts](const QString&, const QString& message) { texts << message; });
    QVERIFY(subscriber.start());
    subscriber.subscribe(QStringLiteral("S1"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+S1")), timeoutMs);

    const int count = 10000;
    for (int i = 0; i < count; ++i)
        publisher.publish({"S1", QByteArray::number(i)});
    QTRY_COMPARE_WITH_TIMEOUT(texts.size(), count, timeoutMs);
    for (int i = 0; i < count; ++i)
        QCOMPARE(texts.at(i), QString::number(i));
}

void TestZmqSubscriber::longBurstLetsTheEventLoopRun()
{
    TestPublisher publisher;
    ProbedSubscriber subscriber(publisher.endpoint());
    int count = 0;
    int sinceTick = 0;
    int mostBetweenTicks = 0;
    connect(&subscriber, &zmq_Subscriber::messageReceived, this, [&](const QString&, const QString&) {
        ++count;
        mostBetweenTicks = qMax(mostBetweenTicks, ++sinceTick);
    });
    QVERIFY(subscriber.start());
    subscriber.subscribe(QStringLiteral("S1"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+S1")), timeoutMs);

    // Far more than one pass takes is waiting before the event loop looks at the socket.
    const int total = 5000;
    for (int i = 0; i < total; ++i)
        publisher.publish({"S1", QByteArray::number(i)});
    pollfd handle{static_cast<int>(subscriber.handle()), POLLIN, 0};
    QVERIFY(::poll(&handle, 1, timeoutMs) == 1);
    QTest::qSleep(300);

    QTimer tick;
    tick.setInterval(0);
    connect(&tick, &QTimer::timeout, this, [&sinceTick] { sinceTick = 0; });
    tick.start();
    QTRY_COMPARE_WITH_TIMEOUT(count, total, timeoutMs);
    // ZeroMQ holds up to a thousand messages on this side; a pass takes a few hundred at most.
    QVERIFY2(mostBetweenTicks <= 512, qPrintable(QString::number(mostBetweenTicks)));
}

void TestZmqSubscriber::messagesRightAfterSubscribeDoNotWait()
{
    TestPublisher publisher;
    ProbedSubscriber subscriber(publisher.endpoint());
    QSignalSpy received(&subscriber, &zmq_Subscriber::messageReceived);
    QVERIFY(subscriber.start());
    subscriber.subscribe(QStringLiteral("A"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+A")), timeoutMs);

    // A message reaches the socket while the event loop is busy elsewhere, and an operation on the
    // socket takes in the handle's signal before the loop sees it: the handle stays quiet now.
    // Changing a filter must still bring the message in, with nothing published after it.
    publisher.publish({"A", "first"});
    pollfd handle{static_cast<int>(subscriber.handle()), POLLIN, 0};
    QVERIFY(::poll(&handle, 1, timeoutMs) == 1);
    QVERIFY(subscriber.pendingEvents() & ZMQ_POLLIN);
    subscriber.subscribe(QStringLiteral("B"));
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, timeoutMs);
    QCOMPARE(messagesOf(received), (QList<Message>{Message("A", "first")}));

    // Published right after the new filter is in place.
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+B")), timeoutMs);
    publisher.publish({"B", "second"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, timeoutMs);
    QCOMPARE(received.last().at(1).toString(), QStringLiteral("second"));

    // Unsubscribing is the same kind of operation.
    publisher.publish({"B", "third"});
    QVERIFY(::poll(&handle, 1, timeoutMs) == 1);
    QVERIFY(subscriber.pendingEvents() & ZMQ_POLLIN);
    subscriber.unsubscribe(QStringLiteral("A"));
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 3, timeoutMs);
    QCOMPARE(received.last().at(1).toString(), QStringLiteral("third"));
}

void TestZmqSubscriber::filtersChangeOncePerChannel()
{
    TestPublisher publisher;
    zmq_Subscriber subscriber(publisher.endpoint());
    QVERIFY(subscriber.start());
    LogCapture log;
    subscriber.subscribe(QStringLiteral("S1"));
    subscriber.subscribe(QStringLiteral("S1"));
    QVERIFY(log.contains(QStringLiteral("Channel: \"S1\" already be subscribed")));
    subscriber.unsubscribe(QStringLiteral("S9"));
    QVERIFY(log.contains(QStringLiteral("Channel: \"S9\" is not in the set!")));
    // The last change in order shows that all before it have arrived.
    subscriber.subscribe(QStringLiteral("S2"));
    subscriber.unsubscribe(QStringLiteral("S1"));
    subscriber.unsubscribe(QStringLiteral("S1"));
    QVERIFY(log.contains(QStringLiteral("Channel: \"S1\" is not in the set!")));
    subscriber.subscribe(QStringLiteral("END"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+END")), timeoutMs);
    QCOMPARE(publisher.subscriptions(), (QStringList{"+S1", "+S2", "-S1", "+END"}));
}

void TestZmqSubscriber::startAndStop()
{
    TestPublisher publisher;
    auto* subscriber = new zmq_Subscriber(publisher.endpoint());
    QSignalSpy started(subscriber, &zmq_Connection::started);
    QSignalSpy stopped(subscriber, &zmq_Connection::stopped);

    subscriber->stop();
    QCOMPARE(stopped.count(), 0);
    // Without a socket, channels are ignored rather than remembered.
    subscriber->subscribe(QStringLiteral("S1"));

    LogCapture log;
    QVERIFY(subscriber->start());
    QCOMPARE(started.count(), 1);
    const QStringList lines = log.lines();
    QVERIFY(lines.contains(QStringLiteral("bool zmq_Connection::start()")));
    QVERIFY(!lines.filter(QRegularExpression(QStringLiteral("^  Socket number:  \\d+$"))).isEmpty());
    subscriber->subscribe(QStringLiteral("S1"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.subscriptions().contains(QStringLiteral("+S1")), timeoutMs);

    subscriber->stop();
    subscriber->stop();
    QCOMPARE(stopped.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(publisher.subscriptions(), (QStringList{"+S1", "-S1"}), timeoutMs);

    // Started again, it keeps its channel and takes new ones; destroying it stops it.
    QVERIFY(subscriber->start());
    QSignalSpy received(subscriber, &zmq_Subscriber::messageReceived);
    subscriber->subscribe(QStringLiteral("S2"));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.subscriptions(), (QStringList{"+S1", "-S1", "+S1", "+S2"}), timeoutMs);
    publisher.publish({"S1", "kept"});
    publisher.publish({"S2", "again"});
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, timeoutMs);
    QCOMPARE(received.at(0).at(1).toString(), QStringLiteral("kept"));
    delete subscriber;
    QCOMPARE(stopped.count(), 2);
}

void TestZmqSubscriber::malformedEndpoint_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no port") << "tcp://127.0.0.1";
    QTest::newRow("unknown transport") << "nonsense://127.0.0.1:5556";
    QTest::newRow("empty") << "";
    QTest::newRow("port not a number") << "tcp://127.0.0.1:pos";
}

void TestZmqSubscriber::malformedEndpoint()
{
    QFETCH(QString, address);
    zmq_Subscriber subscriber(address);
    QSignalSpy started(&subscriber, &zmq_Connection::started);
    QSignalSpy stopped(&subscriber, &zmq_Connection::stopped);
    LogCapture log;
    QVERIFY(!subscriber.start());
    QCOMPARE(started.count(), 0);
    const QStringList lines = log.lines();
    const int at = lines.indexOf(QStringLiteral("virtual bool zmq_Subscriber::createSocket()"));
    QVERIFY2(at >= 0, qPrintable(lines.join('\n')));
    QVERIFY2(at + 1 < lines.size() && lines.at(at + 1).startsWith(QStringLiteral("  Err: \"")),
             qPrintable(lines.join('\n')));
    // Nothing is left to watch: no notifier child, and calls on it do nothing.
    QVERIFY(subscriber.findChildren<QSocketNotifier*>().isEmpty());
    subscriber.subscribe(QStringLiteral("S1"));
    subscriber.unsubscribe(QStringLiteral("S1"));
    subscriber.stop();
    QCOMPARE(stopped.count(), 0);
}

void TestZmqSubscriber::contextIsMadeOnce()
{
    zmq_Context& first = zmq_Context::instance();
    LogCapture log;
    zmq_Context& second = zmq_Context::instance();
    zmq_Context::instance();
    QCOMPARE(&first, &second);
    QCOMPARE(log.lines(), (QStringList{"static zmq_Context& zmq_Context::instance()",
                                       "static zmq_Context& zmq_Context::instance()"}));
}

QTEST_GUILESS_MAIN(TestZmqSubscriber)
#include "tst_zmqsubscriber.moc"
