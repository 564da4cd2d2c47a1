// SPDX-License-Identifier: MIT
// libvantor connections against a running vantor-sim: opening, threads, timeouts, faults and the
// release of connections, also from inside their own callbacks.
#include <atomic>
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QtTest>

#include "box.h"
#include "freeports.h"
#include "processstats.h"
#include "simprocess.h"
#include "vantor/vantor.h"

using namespace pelmar::vantor;

namespace {

using StatePair = std::pair<int, int>;

// Everything a test wants to know about what one connection called back.
struct Trace
{
    std::mutex mutex;
    std::vector<StatePair> states;
    std::vector<std::thread::id> threads;
    std::vector<ConnectionError> connectionErrors;

    void state(int now, int before)
    {
        std::lock_guard<std::mutex> lock(mutex);
        states.emplace_back(now, before);
        threads.push_back(std::this_thread::get_id());
    }
    void error(const ConnectionError& e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        connectionErrors.push_back(e);
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<StatePair> stateList()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return states;
    }
    int errorCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(connectionErrors.size());
    }
};

struct Handles
{
    Context context;
    Connection connection;
    Client client;
};

Handles makeHandles(const std::shared_ptr<Trace>& trace, ConnectionOptions options = ConnectionOptions())
{
    Handles h;
    h.context = Context(Logger([](const std::string&, LogLevel) {}, 0));
    ConnectionCallbacks cb;
    if (trace) {
        cb.stateChanged = [trace](int now, int before) { trace->state(now, before); };
        cb.connectionError = [trace](const ConnectionError& e) { trace->error(e); };
    }
    h.connection = Connection(cb, h.context, options);
    h.client = Client(ClientCallbacks(), h.connection);
    return h;
}

// Opens and waits; gives the error code, 0 on success.
int openAndWait(Connection& connection, int port, const std::string& host = "127.0.0.1", int timeoutMs = 8000)
{
    auto result = std::make_shared<Box<int>>();
    connection.open(
        host, port, [result] { result->set(0); }, [result](const ConnectionError& e) { result->set(e.code()); });
    if (!result->wait(timeoutMs))
        return -1;
    return result->get();
}

int signInAndWait(Client& client)
{
    auto result = std::make_shared<Box<int>>();
    client.signIn(
        "alice", "secret", [result](ObjectId) { result->set(0); },
        [result](const HandlerError& e) { result->set(e.code()); });
    return result->wait(8000) ? result->get() : -1;
}

// A request that the simulator can be made to leave unanswered; gives the box of its error code.
std::shared_ptr<Box<int>> startRequest(Client& client)
{
    auto result = std::make_shared<Box<int>>();
    client.getActuatorValue(
        32, [result](ValuePtr) { result->set(0); }, [result](const HandlerError& e) { result->set(e.code()); });
    return result;
}

} // namespace

class TestVantorConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openSucceedsOnALibraryThread();
    void openFailures_data();
    void openFailures();
    void versionMismatchIsRefused();
    void secondOpenIsRefused();
    void requestsWithoutConnectionFailOnALibraryThread();
    void emptyCallbacksAreNotCalled();
    void pendingRequestHandles();
    void closeFailsPendingRequests();
    void stalledServerTimesRequestsOut();
    void frozenServerLosesTheConnection();
    void droppedSessionLosesTheConnection();
    void killedServerFailsEverything();
    void releaseInsideCallbacks_data();
    void releaseInsideCallbacks();
    void connectReleaseCyclesLeaveNoThreads();

private:
    SimProcess m_sim;
};

void TestVantorConnection::initTestCase()
{
    QVERIFY2(m_sim.startFile(PLATFORM_SITES_DIR "/small.json"), qPrintable(m_sim.errorText()));
}

void TestVantorConnection::openSucceedsOnALibraryThread()
{
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace);
    QCOMPARE(h.connection.state(), Connection::Closed);
    auto openThread = std::make_shared<Box<std::thread::id>>();
    h.connection.open(
        "127.0.0.1", m_sim.serverPort(), [openThread] { openThread->set(std::this_thread::get_id()); },
        [](const ConnectionError&) {});
    QVERIFY(openThread->wait());
    QVERIFY(openThread->get() != std::this_thread::get_id());
    QCOMPARE(h.connection.state(), Connection::Open);
    QCOMPARE(trace->stateList(), (std::vector<StatePair>{{Connection::Opening, Connection::Closed},
                                                         {Connection::Open, Connection::Opening}}));
    {
        std::lock_guard<std::mutex> lock(trace->mutex);
        for (auto id : trace->threads)
            QCOMPARE(id, openThread->get()); // every callback on the one I/O thread
    }
    QCOMPARE(signInAndWait(h.client), 0);

    // A name that resolves works as well as an address.
    Handles byName = makeHandles(nullptr);
    QCOMPARE(openAndWait(byName.connection, m_sim.serverPort(), "localhost"), 0);
}

void TestVantorConnection::openFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("code");
    const int unused = testsupport::freePorts(1).value(0);
    QTest::newRow("nothing listening") << "127.0.0.1" << unused << int(ErrTimeout);
    QTest::newRow("bad host name") << "no-such-host.invalid" << unused << int(ErrHostNotFound);
    QTest::newRow("empty host") << "" << unused << int(ErrHostNotFound);
    QTest::newRow("port zero") << "127.0.0.1" << 0 << int(ErrInvalidArgument);
    QTest::newRow("port too large") << "127.0.0.1" << 70000 << int(ErrInvalidArgument);
}

void TestVantorConnection::openFailures()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(int, code);
    ConnectionOptions options;
    options.handshakeTimeoutMs = 600;
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace, options);
    auto error = std::make_shared<Box<ConnectionError>>();
    auto opened = std::make_shared<std::atomic<bool>>(false);
    QElapsedTimer clock;
    clock.start();
    h.connection.open(
        host.toStdString(), port, [opened] { *opened = true; }, [error](const ConnectionError& e) { error->set(e); });
    QVERIFY2(error->wait(3000), "on-error did not come within the handshake timeout");
    QVERIFY(!*opened);
    QCOMPARE(error->get().code(), code);
    QVERIFY(QString::fromStdString(error->get().toString()).endsWith(QStringLiteral("\nCode: %1").arg(code)));
    if (code == ErrTimeout)
        QVERIFY(clock.elapsed() >= 500);
    QCOMPARE(h.connection.state(), Connection::Closed);
    QCOMPARE(trace->errorCount(), 0); // open failures go to on-error only

    // The connection can be opened again after a failure.
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
}

void TestVantorConnection::versionMismatchIsRefused()
{
    SimProcess other;
    QVERIFY2(other.start(PLATFORM_SITES_DIR "/small.json", {"--protocol-version", "2"}), qPrintable(other.errorText()));
    Handles h = makeHandles(nullptr);
    QCOMPARE(openAndWait(h.connection, other.serverPort()), int(ErrVersionMismatch));
    QCOMPARE(h.connection.state(), Connection::Closed);
}

void TestVantorConnection::secondOpenIsRefused()
{
    Handles h = makeHandles(nullptr);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), int(ErrInvalidArgument));
    QCOMPARE(h.connection.state(), Connection::Open);
    QCOMPARE(signInAndWait(h.client), 0);
}

void TestVantorConnection::requestsWithoutConnectionFailOnALibraryThread()
{
    struct Outcome
    {
        int code;
        std::thread::id thread;
    };
    auto check = [](const std::function<void(ErrorCallback)>& request) {
        auto box = std::make_shared<Box<Outcome>>();
        request([box](const HandlerError& e) { box->set({e.code(), std::this_thread::get_id()}); });
        QVERIFY(box->wait());
        QCOMPARE(box->get().code, int(ErrNotConnected));
        QVERIFY(box->get().thread != std::this_thread::get_id());
    };

    Handles closed = makeHandles(nullptr); // never opened
    check([&](ErrorCallback e) { closed.client.getObjects({}, e); });
    Client nullClient;
    check([&](ErrorCallback e) { nullClient.signIn("a", "b", {}, e); });
    Client onNullConnection(ClientCallbacks{}, Connection{});
    check([&](ErrorCallback e) { onNullConnection.sendEvent(Event(), {}, e); });

    auto openError = std::make_shared<Box<std::thread::id>>();
    Connection().open("127.0.0.1", m_sim.serverPort(), {},
                      [openError](const ConnectionError&) { openError->set(std::this_thread::get_id()); });
    QVERIFY(openError->wait());
    QVERIFY(openError->get() != std::this_thread::get_id());
}

void TestVantorConnection::emptyCallbacksAreNotCalled()
{
    Handles h = makeHandles(nullptr); // no connection callbacks at all
    h.connection.open("127.0.0.1", m_sim.serverPort(), {}, {});
    QTRY_COMPARE(h.connection.state(), Connection::Open);
    h.client.signIn("alice", "secret", {}, {});
    h.client.getObjects({}, {});
    h.client.getDynamicAttribute(999, "", {}, {}); // fails, with no one to tell
    Connection(ConnectionCallbacks(), Context()).open("127.0.0.1", 1, {}, {});
    // The thread is still alive and answers.
    QCOMPARE(signInAndWait(h.client), 0);
}

void TestVantorConnection::pendingRequestHandles()
{
    Handles h = makeHandles(nullptr);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QCOMPARE(m_sim.command("stall on"), QStringLiteral("ok"));
    PendingRequest first = h.client.signIn("alice", "secret", {}, {});
    PendingRequest second = h.client.getObjects({}, {});
    QVERIFY(first.id() != 0);
    QVERIFY(first.id() != second.id());
    QVERIFY(!first.isFinished());
    QCOMPARE(m_sim.command("stall off"), QStringLiteral("ok"));
    h.connection.close();
    QTRY_VERIFY(first.isFinished() && second.isFinished());
    QVERIFY(PendingRequest().isFinished());
}

void TestVantorConnection::closeFailsPendingRequests()
{
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QCOMPARE(signInAndWait(h.client), 0);
    QCOMPARE(m_sim.command("stall on"), QStringLiteral("ok"));
    auto pending = startRequest(h.client);
    h.connection.close();
    QVERIFY(pending->wait());
    QCOMPARE(m_sim.command("stall off"), QStringLiteral("ok"));
    QCOMPARE(pending->get(), int(ErrConnectionLost));
    QTRY_COMPARE(h.connection.state(), Connection::Closed);
    const auto states = trace->stateList();
    QCOMPARE(states.back(), StatePair(Connection::Closed, Connection::Closing));
    QCOMPARE(states[states.size() - 2], StatePair(Connection::Closing, Connection::Open));
    QCOMPARE(trace->errorCount(), 0); // closing on purpose is no connection error
    // Requests after the close fail at once.
    QCOMPARE(signInAndWait(h.client), int(ErrNotConnected));
}

void TestVantorConnection::stalledServerTimesRequestsOut()
{
    ConnectionOptions options;
    options.requestTimeoutMs = 400;
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace, options);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QCOMPARE(signInAndWait(h.client), 0);
    QCOMPARE(m_sim.command("stall on"), QStringLiteral("ok"));
    QElapsedTimer clock;
    clock.start();
    auto pending = startRequest(h.client);
    QVERIFY(pending->wait(3000));
    QCOMPARE(pending->get(), int(ErrTimeout));
    QVERIFY(clock.elapsed() >= 350);
    QCOMPARE(m_sim.command("stall off"), QStringLiteral("ok"));
    // Heartbeats went on, so the connection itself is fine.
    QCOMPARE(h.connection.state(), Connection::Open);
    QCOMPARE(trace->errorCount(), 0);
    auto next = startRequest(h.client);
    QVERIFY(next->wait());
    QCOMPARE(next->get(), 0);
}

void TestVantorConnection::frozenServerLosesTheConnection()
{
    ConnectionOptions options;
    options.heartbeatIntervalMs = 100;
    options.heartbeatMissesAllowed = 3;
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace, options);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QCOMPARE(signInAndWait(h.client), 0);
    QCOMPARE(m_sim.command("freeze on"), QStringLiteral("ok"));
    auto pending = startRequest(h.client);
    QVERIFY(pending->wait(3000));
    QCOMPARE(m_sim.command("freeze off"), QStringLiteral("ok"));
    QCOMPARE(pending->get(), int(ErrConnectionLost));
    QTRY_COMPARE(trace->errorCount(), 1);
    QCOMPARE(trace->connectionErrors.front().code(), int(ErrConnectionLost));
    QTRY_COMPARE(h.connection.state(), Connection::Closed);
    const auto states = trace->stateList();
    QCOMPARE(states.back(), StatePair(Connection::Closed, Connection::Closing));
}

void TestVantorConnection::droppedSessionLosesTheConnection()
{
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace);
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QVERIFY(m_sim.command("drop").startsWith("ok"));
    QTRY_COMPARE(trace->errorCount(), 1);
    QTRY_COMPARE(h.connection.state(), Connection::Closed);
    // A new open gets a new session.
    QCOMPARE(openAndWait(h.connection, m_sim.serverPort()), 0);
    QCOMPARE(signInAndWait(h.client), 0);
}

void TestVantorConnection::killedServerFailsEverything()
{
    SimProcess doomed;
    QVERIFY2(doomed.startFile(PLATFORM_SITES_DIR "/small.json"), qPrintable(doomed.errorText()));
    ConnectionOptions options;
    options.heartbeatIntervalMs = 100;
    options.heartbeatMissesAllowed = 3;
    auto trace = std::make_shared<Trace>();
    Handles h = makeHandles(trace, options);
    QCOMPARE(openAndWait(h.connection, doomed.serverPort()), 0);
    QCOMPARE(signInAndWait(h.client), 0);
    QCOMPARE(doomed.command("stall on"), QStringLiteral("ok"));
    auto pending = startRequest(h.client);
    doomed.kill();
    QVERIFY(pending->wait(3000));
    QCOMPARE(pending->get(), int(ErrConnectionLost));
    QTRY_COMPARE(h.connection.state(), Connection::Closed);
    QCOMPARE(trace->errorCount(), 1);
    auto after = startRequest(h.client);
    QVERIFY(after->wait());
    QCOMPARE(after->get(), int(ErrNotConnected));
}

void TestVantorConnection::releaseInsideCallbacks_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("on-open") << "open";
    QTest::newRow("on-error of open") << "open error";
    QTest::newRow("request success") << "request";
    QTest::newRow("state change") << "state";
    QTest::newRow("connection error") << "connection error";
}

void TestVantorConnection::releaseInsideCallbacks()
{
    QFETCH(QString, where);
    const int before = testsupport::threadCount();
    auto holder = std::make_shared<std::optional<Handles>>();
    auto released = std::make_shared<Box<bool>>();
    // Drops the only handles from inside the callback, on the I/O thread itself.
    auto release = [holder, released] {
        holder->reset();
        released->set(true);
    };

    ConnectionCallbacks cb;
    if (where == "state")
        cb.stateChanged = [release](int now, int) {
            if (now == Connection::Open)
                release();
        };
    if (where == "connection error")
        cb.connectionError = [release](const ConnectionError&) { release(); };
    ConnectionOptions options;
    options.handshakeTimeoutMs = 300;
    Context context(Logger{});
    holder->emplace(Handles{context, Connection(cb, context, options), Client()});
    (*holder)->client = Client(ClientCallbacks(), (*holder)->connection);
    context = Context();

    const int port = where == "open error" ? testsupport::freePorts(1).value(0) : m_sim.serverPort();
    Client client = (*holder)->client;
    auto opened = std::make_shared<Box<bool>>();
    (*holder)->connection.open(
        "127.0.0.1", port,
        [where, release, client, opened]() mutable {
            opened->set(true);
            if (where == "open")
                release();
            else if (where == "request")
                client.signIn("alice", "secret", [release](ObjectId) { release(); }, {});
        },
        [where, release](const ConnectionError&) {
            if (where == "open error")
                release();
        });
    client = Client(); // the callbacks hold the last client handle where needed
    if (where == "connection error") {
        QVERIFY(opened->wait());
        QVERIFY(m_sim.command("drop").startsWith("ok"));
    }
    QVERIFY2(released->wait(5000), "the releasing callback did not run");
    // The detached I/O thread finishes on its own.
    QTRY_COMPARE(testsupport::threadCount(), before);
}

void TestVantorConnection::connectReleaseCyclesLeaveNoThreads()
{
    auto cycle = [this] {
        Handles h = makeHandles(std::make_shared<Trace>());
        return openAndWait(h.connection, m_sim.serverPort()) == 0 && signInAndWait(h.client) == 0;
    };
    QVERIFY(cycle()); // first use of anything lazily started
    const int before = testsupport::threadCount();
    for (int i = 0; i < 200; ++i)
        QVERIFY2(cycle(), qPrintable(QStringLiteral("cycle %1 failed").arg(i)));
    QTRY_COMPARE(testsupport::threadCount(), before);
}

QTEST_GUILESS_MAIN(TestVantorConnection)
#include "tst_vantorconnection.moc"
