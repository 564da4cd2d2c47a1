// SPDX-License-Identifier: MIT
// vantor-sim as a program: the gateways' HTTP service, the POS publishers, the command line and
// its exit codes, and the demo site.
#include <set>
#include <thread>

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

#include <zmq.hpp>
#include <zmq_addon.hpp>

#include "box.h"
#include "freeports.h"
#include "numberedmedia.h"
#include "posgen.h"
#include "simprocess.h"
#include "vantor/vantor.h"

using namespace pelmar::vantor;

namespace {

struct HttpAnswer
{
    int status = 0;
    QByteArray body;
    QString contentType;
};

HttpAnswer httpGet(const QString& url)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("User-Agent", "PELMAR client");
    QNetworkReply* reply = manager.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    HttpAnswer answer;
    if (!finished.wait(20000))
        return answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    reply->deleteLater();
    return answer;
}

struct RunResult
{
    int exitCode = -1;
    QString errorText;
    QString outputText;
};

RunResult runSim(const QStringList& args)
{
    QProcess p;
    p.start(SimProcess::program(), args);
    RunResult r;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.errorText = QString::fromUtf8(p.readAllStandardError());
    r.outputText = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

QString writeFile(QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return path;
}

// Signs in to a simulator and fetches the objects and the layouts.
struct SiteView
{
    std::vector<Object> objects;
    ObjectId root = 0;
    NameValueMap layouts;
    const Object* find(ObjectId id) const
    {
        for (const auto& o : objects)
            if (o.id() == id)
                return &o;
        return nullptr;
    }
};

bool fetchSite(int port, const std::string& user, const std::string& password, SiteView& view)
{
    Context context{Logger()};
    Connection connection(ConnectionCallbacks(), context);
    Client client(ClientCallbacks(), connection);
    auto done = std::make_shared<Box<bool>>();
    auto result = std::make_shared<SiteView>();
    connection.open(
        "127.0.0.1", port,
        [client, user, password, done, result]() mutable {
            client.signIn(
                user, password,
                [client, done, result](ObjectId) mutable {
                    client.getObjects(
                        [client, done, result](const std::vector<Object>& o, ObjectId root) mutable {
                            result->objects = o;
                            result->root = root;
                            client.getDynamicAttribute(
                                1, "",
                                [done, result](const NameValueMap& m) {
                                    result->layouts = m;
                                    done->set(true);
                                },
                                [done](const HandlerError&) { done->set(false); });
                        },
                        [done](const HandlerError&) { done->set(false); });
                },
                [done](const HandlerError&) { done->set(false); });
        },
        [done](const ConnectionError&) { done->set(false); });
    if (!done->wait(10000) || !done->get())
        return false;
    view = *result;
    return true;
}

} // namespace

class TestVantorSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void posDocuments();
    void chunkMedia();
    void unknownPathsGive404_data();
    void unknownPathsGive404();
    void mediaWithoutFfmpegGives503();
    void numberedSlices_data();
    void numberedSlices();
    void numberedChunkMedia_data();
    void numberedChunkMedia();
    void numberedMediaFailuresGive503_data();
    void numberedMediaFailuresGive503();
    void posPublishersSendPredictedMessages();
    void helpListsTheOptions();
    void badCommandLines_data();
    void badCommandLines();
    void badSiteFiles_data();
    void badSiteFiles();
    void portsInUse_data();
    void portsInUse();
    void demoSiteServesAWholeSite();

private:
    QString gatewayUrl(qint64 gateway, const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_sim.gateway(gateway).http).arg(path);
    }

    bool startNumberedSite();

    SimProcess m_sim;
    // A site whose chunks are cut from a numbered file of its own, started by the first case that
    // needs it.
    std::unique_ptr<SimProcess> m_numberedSim;
    QTemporaryDir m_numberedDir;
};

namespace {
constexpr qint64 numberedFrames = 100;
}

void TestVantorSim::initTestCase()
{
    QVERIFY2(m_sim.startFile(PLATFORM_SITES_DIR "/small.json"), qPrintable(m_sim.errorText()));
}

void TestVantorSim::posDocuments()
{
    const HttpAnswer a = httpGet(gatewayUrl(11, "/pos-data?strmId=21&from=1000&to=3000"));
    QCOMPARE(a.status, 200);
    QVERIFY(a.contentType.startsWith("application/json"));
    const QJsonObject doc = QJsonDocument::fromJson(a.body).object();
    QCOMPARE(doc.value("from").toVariant().toLongLong(), 1000);
    QCOMPARE(doc.value("to").toVariant().toLongLong(), 3000);
    const QJsonArray arr = doc.value("arr").toArray();
    QCOMPARE(arr.size(), 2);
    QCOMPARE(arr[0].toObject().value("time").toVariant().toLongLong(), 1500);
    QCOMPARE(arr[0].toObject().value("text").toString(), QStringLiteral("A"));
    QCOMPARE(arr[1].toObject().value("text").toString(), QStringLiteral("B\nB2"));

    // Generated receipts of a recording follow the seed and their number.
    const HttpAnswer g = httpGet(gatewayUrl(12, "/pos-data?strmId=23&from=11000&to=11999"));
    QCOMPARE(g.status, 200);
    const QJsonArray garr = QJsonDocument::fromJson(g.body).object().value("arr").toArray();
    QCOMPARE(garr.size(), 3);
    QCOMPARE(garr[1].toObject().value("time").toVariant().toLongLong(), 11400);
    QCOMPARE(garr[1].toObject().value("text").toString(), QString::fromStdString(vantorsim::posReceipt(42, 23, 4)));

    QCOMPARE(httpGet(gatewayUrl(11, "/pos-data?strmId=22&from=0&to=10")).body,
             QByteArray("{\"from\":0,\"to\":10,\"arr\":[]}"));
    QCOMPARE(httpGet(gatewayUrl(11, "/pos-data?strmId=23&from=0&to=99999")).status, 404); // another gateway's
    QCOMPARE(httpGet(gatewayUrl(11, "/pos-data?strmId=21&from=0")).status, 400);
    QCOMPARE(httpGet(gatewayUrl(11, "/pos-data?strmId=21&from=zero&to=1")).status, 400);
}

void TestVantorSim::chunkMedia()
{
    const HttpAnswer a = httpGet(gatewayUrl(11, "/21-1000-2000"));
    QCOMPARE(a.status, 200);
    QCOMPARE(a.contentType, QStringLiteral("video/mp4"));
    QVERIFY(a.body.size() > 10000);
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (ffprobe.isEmpty())
        QSKIP("ffprobe is not installed");
    QTemporaryDir dir;
    const QString path = writeFile(dir, "recorder", a.body); // the client's file has no extension either
    QProcess probe;
    probe.start(ffprobe, {"-v", "error", "-show_entries", "stream=codec_type,width,height", "-of", "compact", path});
    QVERIFY(probe.waitForFinished(20000));
    QCOMPARE(probe.exitCode(), 0);
    const QString info = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(info.contains("codec_type=video") && info.contains("width=640"), qPrintable(info));
}

void TestVantorSim::unknownPathsGive404_data()
{
    QTest::addColumn<qint64>("gateway");
    QTest::addColumn<QString>("path");
    QTest::newRow("root") << qint64(11) << "/";
    QTest::newRow("other path") << qint64(11) << "/index.html";
    QTest::newRow("unknown chunk") << qint64(11) << "/21-1000-2001";
    QTest::newRow("unknown stream") << qint64(11) << "/999-1000-2000";
    QTest::newRow("stream of another gateway") << qint64(12) << "/21-1000-2000";
    QTest::newRow("not numbers") << qint64(11) << "/a-b-c";
}

void TestVantorSim::unknownPathsGive404()
{
    QFETCH(qint64, gateway);
    QFETCH(QString, path);
    const HttpAnswer a = httpGet(gatewayUrl(gateway, path));
    QCOMPARE(a.status, 404);
    QVERIFY(!a.body.isEmpty());
    QVERIFY2(a.body.size() < 200, a.body.constData());
}

void TestVantorSim::mediaWithoutFfmpegGives503()
{
    QTemporaryDir emptyCache;
    SimProcess sim;
    QVERIFY2(sim.start(PLATFORM_SITES_DIR "/small.json",
                       {"--ffmpeg", "/nonexistent/ffmpeg", "--media-dir", emptyCache.path()}),
             qPrintable(sim.errorText()));
    const HttpAnswer a = httpGet(QStringLiteral("http://127.0.0.1:%1/21-1000-2000").arg(sim.gateway(11).http));
    QCOMPARE(a.status, 503);
    QVERIFY2(a.body.contains("/nonexistent/ffmpeg"), a.body.constData());
    // Everything else still works.
    QCOMPARE(
        httpGet(QStringLiteral("http://127.0.0.1:%1/pos-data?strmId=21&from=0&to=1").arg(sim.gateway(11).http)).status,
        200);
    sim.kill();
    sim.waitForExit();
    QVERIFY2(sim.errorText().contains("media requests get 503"), qPrintable(sim.errorText()));
}

void TestVantorSim::numberedSlices_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<qint64>("fileFrames");
    QTest::addColumn<qint64>("firstFrame");
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<int>("cutMs");
    QTest::newRow("on the grid") << qint64(0) << qint64(10000) << qint64(18000) << qint64(0) << qint64(250) << 0;
    QTest::newRow("a day's chunk") << qint64(1714554000000) << qint64(1714554010000) << qint64(18000) << qint64(0)
                                   << qint64(250) << 0;
    QTest::newRow("off the grid, past the file's end")
        << qint64(3893) << qint64(4093) << qint64(100) << qint64(97) << qint64(6) << 13;
    QTest::newRow("ends on the grid") << qint64(40) << qint64(80) << qint64(100) << qint64(1) << qint64(1) << 0;
    QTest::newRow("ends just past it") << qint64(40) << qint64(81) << qint64(100) << qint64(1) << qint64(2) << 0;
    QTest::newRow("no length") << qint64(1000) << qint64(1000) << qint64(100) << qint64(25) << qint64(1) << 0;
    QTest::newRow("before the epoch") << qint64(-13) << qint64(27) << qint64(100) << qint64(99) << qint64(2) << 27;
    QTest::newRow("longer than the file")
        << qint64(1000) << qint64(10000) << qint64(100) << qint64(25) << qint64(225) << 0;
}

void TestVantorSim::numberedSlices()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(qint64, fileFrames);
    QFETCH(qint64, firstFrame);
    QFETCH(qint64, frames);
    QFETCH(int, cutMs);
    const vantorsim::NumberedSlice slice = vantorsim::numberedSlice(start, end, fileFrames);
    QCOMPARE(slice.firstFrame, firstFrame);
    QCOMPARE(slice.frames, frames);
    QCOMPARE(slice.firstFrameCutMs, cutMs);
}

bool TestVantorSim::startNumberedSite()
{
    if (m_numberedSim)
        return m_numberedSim->running();
    m_numberedSim = std::make_unique<SimProcess>();
    const QString python = QStandardPaths::findExecutable("python3");
    QProcess make;
    make.start(python, {FRAMECODE_SCRIPT, "make", "--size", "320x180", "--bitrate", "200k", "--frames",
                        QString::number(numberedFrames), "--out", m_numberedDir.filePath("numbered.mp4")});
    if (!make.waitForFinished(60000) || make.exitCode() != 0) {
        qWarning("framecode.py make failed: %s", make.readAllStandardError().constData());
        return false;
    }
    // The chunks of the cases below; the media file is named relative to the site.
    const QByteArray site = R"({
  "chunkMedia": {"numbered": "numbered.mp4"},
  "objects": [
    {"id": 1, "name": "s", "type": 7},
    {"id": 11, "name": "g", "type": 2, "parent": 1, "gateway": {}},
    {"id": 21, "name": "c", "type": 10, "parent": 11}],
  "recordings": [{"stream": 21, "chunks": [
    {"start": 3893, "end": 4093}, {"start": 2000, "end": 3000}, {"start": 1040, "end": 1440},
    {"start": 1000, "end": 10000}, {"start": 1714554000013, "end": 1714554001013}]}]
})";
    const QString sitePath = writeFile(m_numberedDir, "site.json", site);
    m_numberedSim->setMediaDir(m_numberedDir.filePath("media"));
    return m_numberedSim->start(sitePath);
}

void TestVantorSim::numberedChunkMedia_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::newRow("off the grid, past the file's end") << qint64(3893) << qint64(4093);
    QTest::newRow("on a key frame of the file") << qint64(2000) << qint64(3000);
    QTest::newRow("on the grid, between key frames") << qint64(1040) << qint64(1440);
    QTest::newRow("longer than the file") << qint64(1000) << qint64(10000);
    QTest::newRow("now-like time, off the grid") << qint64(1714554000013) << qint64(1714554001013);
}

// Every frame of a chunk shows the number of the moments it covers: floor(T / 40) mod F.
void TestVantorSim::numberedChunkMedia()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    if (QStandardPaths::findExecutable("python3").isEmpty() || QStandardPaths::findExecutable("ffmpeg").isEmpty() ||
        QStandardPaths::findExecutable("ffprobe").isEmpty())
        QSKIP("needs python3, ffmpeg and ffprobe");
    QVERIFY2(startNumberedSite(), qPrintable(m_numberedSim ? m_numberedSim->errorText() : QString()));

    const QString url =
        QStringLiteral("http://127.0.0.1:%1/21-%2-%3").arg(m_numberedSim->gateway(11).http).arg(start).arg(end);
    const HttpAnswer a = httpGet(url);
    QVERIFY2(a.status == 200, a.body.constData());
    QCOMPARE(a.contentType, QStringLiteral("video/mp4"));
    QTemporaryDir dir;
    const QString path = writeFile(dir, "recorder", a.body);
    QProcess read;
    read.start(QStandardPaths::findExecutable("python3"), {FRAMECODE_SCRIPT, "read", path});
    QVERIFY(read.waitForFinished(60000));
    QVERIFY2(read.exitCode() == 0, read.readAllStandardError().constData());
    QList<qint64> times, numbers;
    for (const QByteArray& line : read.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 2)
            continue;
        QVERIFY2(fields[1] != "-", qPrintable("frame at " + fields[0] + " ms does not read"));
        times << fields[0].toLongLong();
        numbers << fields[1].toLongLong();
    }
    QVERIFY(!times.isEmpty());
    QCOMPARE(times.first(), qint64(0));
    const auto expected = [](qint64 moment) {
        return ((moment / 40) % numberedFrames + numberedFrames) % numberedFrames;
    };
    for (int i = 0; i < times.size(); ++i) {
        const qint64 from = start + times[i];
        const qint64 to = start + (i + 1 < times.size() ? times[i + 1] : times[i] + 40); // the moments it shows
        QVERIFY2(
            expected(from) == numbers[i] && expected(to - 1) == numbers[i],
            qPrintable(QStringLiteral("frame %1 shows %2 from %3 to %4 ms").arg(i).arg(numbers[i]).arg(from).arg(to)));
    }
    // It lasts the chunk's length, to within a frame.
    const qint64 last = start + times.last() + 40;
    QVERIFY2(last >= end && last < end + 40,
             qPrintable(QStringLiteral("ends at %1, the chunk at %2").arg(last).arg(end)));

    // Made once: the same answer again, from the media folder.
    QCOMPARE(httpGet(url).body, a.body);
}

void TestVantorSim::numberedMediaFailuresGive503_data()
{
    QTest::addColumn<QString>("ffmpeg");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no ffmpeg") << "/nonexistent/ffmpeg"
                               << "cannot run /nonexistent/ffprobe";
    QTest::newRow("a file that is no video") << "ffmpeg"
                                             << "cannot read the numbered file";
}

void TestVantorSim::numberedMediaFailuresGive503()
{
    QFETCH(QString, ffmpeg);
    QFETCH(QString, reason);
    if (ffmpeg == "ffmpeg" && QStandardPaths::findExecutable("ffprobe").isEmpty())
        QSKIP("ffprobe is not installed");
    QTemporaryDir dir;
    // The site file itself stands for a numbered file that is not one.
    const QString site = writeFile(dir, "site.json", R"({"chunkMedia": {"numbered": "site.json"},
        "objects": [{"id": 11, "name": "g", "type": 2, "gateway": {}}, {"id": 21, "name": "c", "type": 10, "parent": 11}],
        "recordings": [{"stream": 21, "chunks": [{"start": 3893, "end": 4093}]}]})");
    SimProcess sim;
    sim.setMediaDir(dir.filePath("media"));
    QVERIFY2(sim.start(site, {"--ffmpeg", ffmpeg}), qPrintable(sim.errorText()));
    const QString gateway = QStringLiteral("http://127.0.0.1:%1").arg(sim.gateway(11).http);
    const HttpAnswer a = httpGet(gateway + "/21-3893-4093");
    QCOMPARE(a.status, 503);
    QVERIFY2(a.body.contains(reason.toUtf8()), a.body.constData());
    QCOMPARE(httpGet(gateway + "/pos-data?strmId=21&from=0&to=1").status, 200);
    QVERIFY2(sim.errorText().contains("no numbered media for the chunk 3893-4093"), qPrintable(sim.errorText()));
}

void TestVantorSim::posPublishersSendPredictedMessages()
{
    zmq::context_t context;
    struct Sub
    {
        zmq::socket_t socket;
        std::map<std::string, std::uint64_t> lastK;
        int messages = 0;
    };
    std::vector<std::unique_ptr<Sub>> subs;
    for (qint64 gw : {11, 12}) {
        auto sub = std::make_unique<Sub>(Sub{zmq::socket_t(context, zmq::socket_type::sub), {}, 0});
        sub->socket.set(zmq::sockopt::linger, 0);
        sub->socket.set(zmq::sockopt::subscribe, "");
        sub->socket.connect("tcp://127.0.0.1:" + std::to_string(m_sim.gateway(gw).pos));
        subs.push_back(std::move(sub));
    }
    QCOMPARE(m_sim.command("pos-rate 20"), QStringLiteral("ok"));
    const std::set<std::string> expected[2] = {{"21", "22"}, {"23"}};
    QDeadlineTimer deadline(10000);
    while ((subs[0]->messages < 8 || subs[1]->messages < 4) && !deadline.hasExpired()) {
        zmq::pollitem_t items[] = {{subs[0]->socket.handle(), 0, ZMQ_POLLIN, 0},
                                   {subs[1]->socket.handle(), 0, ZMQ_POLLIN, 0}};
        zmq::poll(items, 2, std::chrono::milliseconds(200));
        for (int i = 0; i < 2; ++i) {
            if (!(items[i].revents & ZMQ_POLLIN))
                continue;
            std::vector<zmq::message_t> frames;
            QVERIFY(zmq::recv_multipart(subs[i]->socket, std::back_inserter(frames)));
            QCOMPARE(frames.size(), std::size_t(2));
            const std::string topic = frames[0].to_string();
            const std::string text = frames[1].to_string();
            QVERIFY2(expected[i].count(topic), topic.c_str());
            // The first line carries the message number; the rest follows from it.
            const QRegularExpressionMatch m =
                QRegularExpression("^POS (\\d+) #(\\d+)\n").match(QString::fromStdString(text));
            QVERIFY2(m.hasMatch(), text.c_str());
            QCOMPARE(m.captured(1).toStdString(), topic);
            const std::uint64_t k = m.captured(2).toULongLong();
            QCOMPARE(text, vantorsim::posReceipt(42, std::stoll(topic), k));
            auto last = subs[i]->lastK.find(topic);
            if (last != subs[i]->lastK.end())
                QCOMPARE(k, last->second + 1);
            subs[i]->lastK[topic] = k;
            ++subs[i]->messages;
        }
    }
    QCOMPARE(m_sim.command("pos-rate 0"), QStringLiteral("ok"));
    QVERIFY2(subs[0]->messages >= 8 && subs[1]->messages >= 4, "too few POS messages arrived");
    QCOMPARE(subs[0]->lastK.size(), std::size_t(2));
}

void TestVantorSim::helpListsTheOptions()
{
    const RunResult r = runSim({"--help"});
    QCOMPARE(r.exitCode, 0);
    for (const char* option : {"--site", "--bind", "--port", "--control-port", "--gateway-port", "--pos-port",
                               "--gateway-address", "--pos-rate", "--seed", "--door-delay", "--media-dir", "--ffmpeg",
                               "--protocol-version", "--no-value-reports", "--verbose", "--help"})
        QVERIFY2(r.outputText.contains(option), option);
    QVERIFY(r.outputText.contains("vantor-sim: ready"));
}

void TestVantorSim::badCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no site") << QStringList{} << "no site file";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    QTest::newRow("missing value") << QStringList{"--site"} << "missing an argument";
    QTest::newRow("stray argument") << QStringList{"--site", "x", "extra"} << "unexpected argument \"extra\"";
    QTest::newRow("bad port") << QStringList{"--site", "x", "--port", "99999"} << "--port needs a port number";
    QTest::newRow("bad rate") << QStringList{"--site", "x", "--pos-rate", "fast"} << "--pos-rate";
}

void TestVantorSim::badCommandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const RunResult r = runSim(args);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.errorText.contains(message), qPrintable(r.errorText));
}

void TestVantorSim::badSiteFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QByteArray() << "cannot open the site file";
    QTest::newRow("not json") << QByteArray("{\"objects\": [") << "not valid JSON";
    QTest::newRow("bad object") << QByteArray("{\"objects\": [{\"id\": 1, \"type\": 7}]}") << "objects[0] (id 1)";
    QTest::newRow("colliding gateways")
        << QByteArray("{\"objects\": [{\"id\": 1, \"name\": \"g\", \"type\": 2, \"gateway\": {\"httpPort\": 41001}},\n "
                      "                                     {\"id\": 2, \"name\": \"h\", \"type\": 2, \"gateway\": "
                      "{\"httpPort\": 41001}}]}")
        << "both use 127.0.0.1:41001";
    // The site's own events: every key is checked, and the message names its place.
    const auto withEvents = [](const char* events, const char* doorSettings = "{}") {
        return QByteArray("{\"objects\": [{\"id\": 1, \"name\": \"s\", \"type\": 7},\n"
                          " {\"id\": 2, \"name\": \"d\", \"type\": 8, \"className\": \"sensor.DOOR\", "
                          "\"settings\": ") +
               doorSettings + "},\n {\"id\": 3, \"name\": \"c\", \"type\": 10}],\n \"events\": " + events + "}";
    };
    QTest::newRow("unknown events key") << withEvents("{\"sed\": 1}") << "events: unknown key \"sed\"";
    QTest::newRow("access at a camera") << withEvents("{\"access\": [{\"door\": 3, \"holders\": [\"A\"]}]}")
                                        << "events: access[0]: \"door\" 3 is not a door sensor";
    QTest::newRow("access without holders")
        << withEvents("{\"access\": [{\"door\": 2, \"everySeconds\": 5}]}") << "events: access[0]: \"holders\"";
    QTest::newRow("motion of no time")
        << withEvents("{\"cameras\": [{\"stream\": 3, \"motionEverySeconds\": 5, \"motionSeconds\": 0}]}")
        << "events: cameras[0]: \"motionSeconds\" must lie between 1";
    QTest::newRow("negative period") << withEvents("{\"forced\": [{\"door\": 2, \"everySeconds\": -1}]}")
                                     << "events: forced[0]: \"everySeconds\" must lie between 0";
    QTest::newRow("held open for text") << withEvents("{}", "{\"heldOpenSeconds\": \"long\"}")
                                        << "object 2: setting \"heldOpenSeconds\"";
    // The numbered chunk media: a path, relative to the site file, of a file that is there.
    const QByteArray camera = "{\"objects\": [{\"id\": 1, \"name\": \"c\", \"type\": 10}], \"chunkMedia\": ";
    QTest::newRow("numbered media not a path") << camera + "{\"numbered\": 5}}"
                                               << "chunkMedia: \"numbered\" must be the path of an MP4 file";
    QTest::newRow("numbered media missing") << camera + "{\"numbered\": \"absent.mp4\"}}"
                                            << "chunkMedia: \"numbered\": cannot read $DIR/absent.mp4";
    QTest::newRow("chunk media key misspelt") << camera + "{\"numberd\": \"x.mp4\"}}"
                                              << "chunkMedia: unknown key \"numberd\"";
}

void TestVantorSim::badSiteFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = content.isEmpty() ? dir.filePath("absent.json") : writeFile(dir, "site.json", content);
    QStringList args = {"--site", path, "--port", QString::number(testsupport::freePorts(1).value(0))};
    if (QTest::currentDataTag() == QByteArray("colliding gateways"))
        args << "--gateway-address"
             << "127.0.0.1"
             << "--pos-port"
             << "41000"; // 41000+1 meets HTTP 41001
    const RunResult r = runSim(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.errorText.contains("bad site file: " + path), qPrintable(r.errorText));
    message.replace("$DIR", dir.path());
    QVERIFY2(r.errorText.contains(message), qPrintable(r.errorText));
    QVERIFY(!r.outputText.contains("ready"));
}

void TestVantorSim::portsInUse_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("server") << "--port";
    QTest::newRow("control") << "--control-port";
    QTest::newRow("gateway HTTP") << "--gateway-port";
    QTest::newRow("POS") << "--pos-port";
}

void TestVantorSim::portsInUse()
{
    QFETCH(QString, which);
    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
    const QString taken = QString::number(squatter.serverPort());
    const QList<int> ports = testsupport::freePorts(4);
    QTemporaryDir dir;
    // One gateway, so that no port is counted up from the ones given.
    const QString site =
        writeFile(dir, "site.json", "{\"objects\": [{\"id\": 1, \"name\": \"g\", \"type\": 2, \"gateway\": {}}]}");
    QStringList args = {"--site", site, "--gateway-address", "127.0.0.1"};
    const QStringList options = {"--port", "--control-port", "--gateway-port", "--pos-port"};
    for (int i = 0; i < options.size(); ++i)
        args << options[i] << (options[i] == which ? taken : QString::number(ports[i]));
    const RunResult r = runSim(args);
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.errorText.contains("cannot bind 127.0.0.1:" + taken), qPrintable(r.errorText));
}

void TestVantorSim::demoSiteServesAWholeSite()
{
    SimProcess demo;
    QVERIFY2(demo.startFile(DEMO_SITE), qPrintable(demo.errorText()));
    SiteView site;
    QVERIFY(fetchSite(demo.serverPort(), "operator", "operator", site));
    SiteView asAdmin;
    QVERIFY(fetchSite(demo.serverPort(), "admin", "admin", asAdmin));
    QCOMPARE(site.root, ObjectId(1));

    std::map<int, int> types;
    std::map<std::string, std::pair<int, int>> doors; // layout -> (sensors, door actuators)
    std::set<ObjectId> gateways;
    for (const auto& o : site.objects) {
        ++types[o.type()];
        if (o.type() == 2 && o.settings().contains("address")) {
            gateways.insert(o.id());
            QVERIFY(o.settings().contains("posPort"));
        }
        const std::string layout = o.settings().value("layout").toString();
        if (o.type() == 8 && !layout.empty())
            ++doors[layout].first;
        if (o.type() == 9 && o.className() == "actuator.DOOR" && !layout.empty())
            ++doors[layout].second;
    }
    QVERIFY(types[7] >= 1);
    QCOMPARE(types[1], 2);
    QCOMPARE(types[10], 6);
    QCOMPARE(gateways.size(), std::size_t(2));
    QCOMPARE(doors.size(), std::size_t(2));
    for (const auto& [layout, pair] : doors)
        QCOMPARE(pair, std::make_pair(1, 1));

    // Stream URLs are lavfi sources written as templates; expanded, ffmpeg's lavfi accepts each.
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    std::set<std::string> urls;
    for (const auto& o : site.objects) {
        if (o.type() != 10)
            continue;
        const QString url = QString::fromStdString(o.settings().value("url").toString());
        QVERIFY2(url.startsWith("av://lavfi:") && url.contains("{EQU}"), qPrintable(url));
        urls.insert(url.toStdString());
        QVERIFY(gateways.count(o.parent()));
        if (ffprobe.isEmpty())
            continue;
        const QString graph = url.mid(11).replace("{EQU}", "=").replace("{SMC}", ";");
        QProcess probe;
        probe.start(ffprobe, {"-v", "error", "-f", "lavfi", "-show_entries", "stream=codec_type", "-of", "csv", graph});
        QVERIFY(probe.waitForFinished(20000));
        QVERIFY2(probe.exitCode() == 0 && probe.readAllStandardOutput().contains("video"), qPrintable(graph));
    }
    QCOMPARE(urls.size(), std::size_t(6)); // a different picture on every camera

    // Four layouts: a 2x2, a 3x3 with a tile spanning cells, one with doors, and "Alarms" (a 2x2 with
    // both doors and an alarm cell for any object).
    QCOMPARE(site.layouts.size(), std::size_t(4));
    bool plain2x2 = false, spanning3x3 = false, withDoors = false, alarms = false;
    for (const auto& name : site.layouts.names()) {
        QJsonParseError error;
        const QJsonObject layout =
            QJsonDocument::fromJson(QByteArray::fromStdString(site.layouts.value(name).toString()), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, name.c_str());
        const int rows = layout.value("numRows").toInt(), cols = layout.value("numCols").toInt();
        const QJsonArray elements = layout.value("elements").toArray();
        QVERIFY(!elements.isEmpty());
        int cells = 0;
        bool spans = false, door = false, alarm = false;
        for (const auto& v : elements) {
            const QJsonObject e = v.toObject();
            for (const char* key : {"row", "col", "rowSpan", "colSpan"})
                QVERIFY2(e.value(key).isDouble(), key);
            const int row = e.value("row").toInt(), col = e.value("col").toInt();
            const int rowSpan = e.value("rowSpan").toInt(), colSpan = e.value("colSpan").toInt();
            QVERIFY(row >= 0 && col >= 0 && row + rowSpan <= rows && col + colSpan <= cols);
            cells += rowSpan * colSpan;
            spans |= rowSpan * colSpan > 1;
            const QString type = e.value("type").toString();
            if (type == "alarm") {
                QVERIFY(!e.contains("objectId")); // any object's alarms
                alarm = true;
                continue;
            }
            QVERIFY(e.value("deviceId").isString() && e.value("objectId").isString());
            const Object* target = site.find(e.value("objectId").toString().toLongLong());
            QVERIFY2(target, qPrintable(e.value("objectId").toString()));
            if (type == "video") {
                QCOMPARE(target->type(), 10);
                QCOMPARE(target->parent(), e.value("deviceId").toString().toLongLong());
            } else {
                QCOMPARE(type, QStringLiteral("door"));
                QCOMPARE(target->type(), 8); // a door cell shows the door's sensor
                door = true;
            }
        }
        QCOMPARE(cells, rows * cols); // the tiles cover the grid without overlapping
        plain2x2 |= rows == 2 && cols == 2 && !door && !alarm;
        spanning3x3 |= rows == 3 && cols == 3 && spans;
        withDoors |= door;
        alarms |= name == "Alarms" && rows == 2 && cols == 2 && door && alarm;
    }
    QVERIFY(plain2x2 && spanning3x3 && withDoors && alarms);

    // Each door names a camera that sees it.
    for (ObjectId door : {31, 33}) {
        const ObjectId camera = std::stoll(site.find(door)->settings().value("cameras").toString());
        QVERIFY2(site.find(camera) && site.find(camera)->type() == 10, std::to_string(door).c_str());
    }

    // A day of recordings with POS text through it, fetched as the recorded page does. The day is
    // the one the simulator started on; the range also takes the day before and after, for a test
    // that runs across midnight.
    const QDate today = QDate::currentDate();
    const qint64 from = QDateTime(today.addDays(-1), QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 to = QDateTime(today.addDays(2), QTime(0, 0)).toMSecsSinceEpoch();
    const HttpAnswer pos = httpGet(QStringLiteral("http://127.0.0.1:%1/pos-data?strmId=21&from=%2&to=%3")
                                       .arg(demo.gateway(11).http)
                                       .arg(from)
                                       .arg(to));
    QCOMPARE(pos.status, 200);
    const QJsonArray receipts = QJsonDocument::fromJson(pos.body).object().value("arr").toArray();
    // One every 20 s of recording: thousands in a day, and through all of it.
    QVERIFY2(receipts.size() > 2000, qPrintable(QString::number(receipts.size())));
    const qint64 first = receipts.first().toObject().value("time").toVariant().toLongLong();
    const qint64 last = receipts.last().toObject().value("time").toVariant().toLongLong();
    QVERIFY2(last - first > 20 * 3600 * 1000, qPrintable(QStringLiteral("%1 .. %2").arg(first).arg(last)));
    QCOMPARE(demo.command("quit"), QStringLiteral("ok"));
    QVERIFY(demo.waitForExit());
    QCOMPARE(demo.process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestVantorSim)
#include "tst_vantorsim.moc"
