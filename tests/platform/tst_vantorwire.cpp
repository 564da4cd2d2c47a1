// SPDX-License-Identifier: MIT
// The parts of the platform stand-ins that need no process: the wire form of values and records,
// the POS receipt generator and the site file reader.
#include <cmath>
#include <limits>

#include <QtTest>

#include "posgen.h"
#include "simserver.h"
#include "site.h"
#include "wire.h"

using namespace pelmar::vantor;
using vantorsim::OrderedJson;

Q_DECLARE_METATYPE(std::shared_ptr<Value>)

class TestVantorWire : public QObject
{
    Q_OBJECT

private slots:
    void valueRoundTrip_data();
    void valueRoundTrip();
    void floatSpecials();
    void malformedValues_data();
    void malformedValues();
    void mapKeepsOrder();
    void recordsRoundTrip();
    void recordsRefuseWrappedNumbers_data();
    void recordsRefuseWrappedNumbers();
    void receiptsArePredictable();
    void siteReadsObjectsAndRecordings();
    void siteErrorsNameThePlace_data();
    void siteErrorsNameThePlace();
    void siteTimesAtTheLimits();
    void chunkRunsCoverADay();
    void overridesMoveGateways();
    void mistypedArgumentsGetAnAnswer_data();
    void mistypedArgumentsGetAnAnswer();
    void controlAnswers_data();
    void controlAnswers();
};

void TestVantorWire::valueRoundTrip_data()
{
    QTest::addColumn<std::shared_ptr<Value>>("value");
    QTest::newRow("none") << std::shared_ptr<Value>(new NoneValue());
    QTest::newRow("id") << std::shared_ptr<Value>(new IdValue(9007199254740993));
    QTest::newRow("bool") << std::shared_ptr<Value>(new BoolValue(true));
    QTest::newRow("int min") << std::shared_ptr<Value>(new IntValue(std::numeric_limits<std::int64_t>::min()));
    QTest::newRow("int max") << std::shared_ptr<Value>(new IntValue(std::numeric_limits<std::int64_t>::max()));
    QTest::newRow("float") << std::shared_ptr<Value>(new FloatValue(-0.1));
    QTest::newRow("string utf8") << std::shared_ptr<Value>(new StringValue("Tür \"zu\"\n{}"));
    QTest::newRow("data") << std::shared_ptr<Value>(new DataValue({0x00, 0xff, 0x10}));
    QTest::newRow("date") << std::shared_ptr<Value>(new DateValue("2024-05-01"));
    QTest::newRow("time") << std::shared_ptr<Value>(new TimeValue("08:00:00.250"));
    QTest::newRow("datetime") << std::shared_ptr<Value>(new DateTimeValue("2024-05-01T08:00:00.250Z"));
    QTest::newRow("timestamp") << std::shared_ptr<Value>(new TimestampValue(1714550400000));
}

void TestVantorWire::valueRoundTrip()
{
    QFETCH(std::shared_ptr<Value>, value);
    // Through text, as on the wire.
    const auto text = wire::valueToJson(*value).dump();
    auto back = wire::valueFromJson(wire::Json::parse(text));
    QCOMPARE(back->tag(), value->tag());
    QCOMPARE(QString::fromStdString(back->toString()), QString::fromStdString(value->toString()));
    QCOMPARE(back->toInt64(), value->toInt64());
    QCOMPARE(back->toBool(), value->toBool());
}

void TestVantorWire::floatSpecials()
{
    const double values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1e308, 5e-324};
    for (double v : values) {
        const auto text = wire::valueToJson(FloatValue(v)).dump();
        auto back = wire::valueFromJson(wire::Json::parse(text));
        QCOMPARE(back->tag(), int(Value::FloatTag));
        const double d = back->toDouble();
        if (std::isnan(v))
            QVERIFY2(std::isnan(d), text.c_str());
        else
            QCOMPARE(d, v);
    }
}

void TestVantorWire::malformedValues_data()
{
    QTest::addColumn<QString>("json");
    QTest::newRow("no tag") << "{\"v\": 1}";
    QTest::newRow("unknown tag") << "{\"tag\": 31, \"v\": 1}";
    QTest::newRow("bool as int") << "{\"tag\": 20, \"v\": 1}";
    QTest::newRow("int as float") << "{\"tag\": 30, \"v\": 1.5}";
    QTest::newRow("int too large") << "{\"tag\": 30, \"v\": 18446744073709551615}";
    QTest::newRow("string as number") << "{\"tag\": 50, \"v\": 5}";
    QTest::newRow("odd hex") << "{\"tag\": 60, \"v\": \"abc\"}";
    QTest::newRow("bad hex") << "{\"tag\": 60, \"v\": \"zz\"}";
    QTest::newRow("missing v") << "{\"tag\": 40}";
    QTest::newRow("not an object") << "[30, 1]";
    // Found by review of the fuzzed decoders: only the low 32 bits of the tag were looked at, so
    // 2^32 + 20 passed for a bool.
    QTest::newRow("tag beyond 32 bits") << "{\"tag\": 4294967316, \"v\": true}";
}

void TestVantorWire::malformedValues()
{
    QFETCH(QString, json);
    QVERIFY_EXCEPTION_THROWN(wire::valueFromJson(wire::Json::parse(json.toStdString())), wire::WireError);
}

void TestVantorWire::mapKeepsOrder()
{
    NameValueMap map;
    map.setValue("zeta", IntValue(1));
    map.setValue("alpha", StringValue("a"));
    map.setValue("mid", BoolValue(false));
    map.setValue("zeta", IntValue(2)); // replacing keeps the first position
    const NameValueMap back = wire::mapFromJson(wire::Json::parse(wire::mapToJson(map).dump()));
    QCOMPARE(back.names(), (std::vector<std::string>{"zeta", "alpha", "mid"}));
    QCOMPARE(back.value("zeta").toInt64(), std::int64_t(2));
    QCOMPARE(back.value("mid").tag(), int(Value::BoolTag));
}

void TestVantorWire::recordsRoundTrip()
{
    ObjectData o;
    o.id = 21;
    o.name = "Cam";
    o.type = 10;
    o.className = "stream.CAMERA";
    o.parent = 11;
    o.children = {1, 2};
    o.serialNumber = "S-1";
    o.settings.setValue("url", StringValue("x"));
    const ObjectData ob = wire::objectFromJson(wire::Json::parse(wire::objectToJson(o).dump()));
    QCOMPARE(ob.id, o.id);
    QCOMPARE(ob.children, o.children);
    QCOMPARE(ob.serialNumber, o.serialNumber);
    QVERIFY(ob.valid);
    QCOMPARE(Object(ob).toStream().serialNumber(), std::string("S-1"));
    QCOMPARE(Object(ob).toDevice().serialNumber(), std::string()); // the view of another kind

    Event e;
    e.className = "ctrl.OPEN";
    e.eventId = 7;
    e.sourceId = 42;
    e.destinationId = -3;
    e.timestamp = 1714550400000;
    e.priority = 2;
    e.flags = 5;
    e.fields.setValue("fields", StringValue("{\"a\":1}"));
    const Event eb = wire::eventFromJson(wire::Json::parse(wire::eventToJson(e).dump()));
    QCOMPARE(eb.className, e.className);
    QCOMPARE(eb.destinationId, e.destinationId);
    QCOMPARE(eb.timestamp, e.timestamp);
    QCOMPARE(eb.priority, e.priority);
    QCOMPARE(eb.flags, e.flags);
    QCOMPARE(eb.fields.value("fields").toString(), std::string("{\"a\":1}"));

    const StreamChunk c = wire::chunkFromJson(wire::chunkToJson({1, 2, 3, 4, 5}));
    QCOMPARE(c.chunkId + c.streamId + c.start + c.end + c.size, std::int64_t(15));
    QVERIFY_EXCEPTION_THROWN(wire::chunkFromJson(wire::Json::parse("{\"chunkId\":1}")), wire::WireError);
}

void TestVantorWire::recordsRefuseWrappedNumbers_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("message");
    QTest::newRow("object type") << "object"
                                 << R"({"id": 1, "name": "a", "type": 4294967306})"
                                 << "\"type\" is out of range";
    QTest::newRow("event priority") << "event"
                                    << R"({"priority": 4294967298})"
                                    << "\"priority\" is out of range";
    QTest::newRow("event flags") << "event"
                                 << R"({"flags": -4294967295})"
                                 << "\"flags\" is out of range";
    QTest::newRow("binding type") << "binding"
                                  << R"({"objectId": 11, "bindingType": 4294967297})"
                                  << "\"bindingType\" is out of range";
}

void TestVantorWire::recordsRefuseWrappedNumbers()
{
    QFETCH(QString, record);
    QFETCH(QString, json);
    QFETCH(QString, message);
    const wire::Json parsed = wire::Json::parse(json.toStdString());
    try {
        if (record == "object")
            wire::objectFromJson(parsed);
        else if (record == "event")
            wire::eventFromJson(parsed);
        else
            wire::bindingFromJson(parsed);
        QFAIL("a number beyond 32 bits was accepted");
    } catch (const wire::WireError& e) {
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    // The largest numbers that fit are kept as they are.
    wire::Json edge = parsed;
    for (auto& item : edge.items())
        if (item.key() != "id" && item.key() != "objectId" && item.value().is_number())
            item.value() = item.value().get<std::int64_t>() < 0 ? std::numeric_limits<std::int32_t>::min()
                                                                : std::numeric_limits<std::int32_t>::max();
    if (record == "object")
        QCOMPARE(wire::objectFromJson(edge).type, std::numeric_limits<std::int32_t>::max());
    else if (record == "event")
        QVERIFY(wire::eventFromJson(edge).priority == std::numeric_limits<std::int32_t>::max() ||
                wire::eventFromJson(edge).flags == std::numeric_limits<std::int32_t>::min());
    else
        QCOMPARE(wire::bindingFromJson(edge).bindingType, std::numeric_limits<std::int32_t>::max());
}

void TestVantorWire::receiptsArePredictable()
{
    const std::string a = vantorsim::posReceipt(42, 21, 7);
    QCOMPARE(vantorsim::posReceipt(42, 21, 7), a);
    QVERIFY(vantorsim::posReceipt(43, 21, 7) != a);
    QVERIFY(vantorsim::posReceipt(42, 22, 7) != a);
    QVERIFY(vantorsim::posReceipt(42, 21, 8) != a);
    const QStringList lines = QString::fromStdString(a).split('\n');
    QCOMPARE(lines.first(), QStringLiteral("POS 21 #7"));
    QVERIFY(lines.last().startsWith("TOTAL "));
    QVERIFY(lines.size() >= 3 && lines.size() <= 5);
    // The total is the sum of the item prices.
    double sum = 0;
    for (int i = 1; i < lines.size() - 1; ++i)
        sum += lines[i].section(' ', -1).toDouble();
    QCOMPARE(QString::number(sum, 'f', 2), lines.last().section(' ', 1));
}

void TestVantorWire::siteReadsObjectsAndRecordings()
{
    const vantorsim::Site site = vantorsim::loadSite(PLATFORM_SITES_DIR "/small.json");
    QCOMPARE(site.rootId, ObjectId(1));
    QCOMPARE(site.gateways.size(), std::size_t(2));
    QCOMPARE(site.gateways[0].streams, (std::vector<ObjectId>{21, 22}));
    QCOMPARE(site.gateways[0].httpPort, 9554);
    QCOMPARE(site.gateways[0].posPort, 5556);
    // Children in site order when the parent lists none.
    QCOMPARE(site.find(1)->data.children, (std::vector<ObjectId>{3, 4, 11, 12, 13}));
    QCOMPARE(site.find(21)->data.settings.value("fps").tag(), int(Value::IntTag));
    QCOMPARE(site.find(21)->data.settings.value("ratio").tag(), int(Value::FloatTag));
    QCOMPARE(site.find(21)->data.settings.value("ptz").tag(), int(Value::BoolTag));
    QCOMPARE(site.find(33)->value.value().tag(), int(Value::IntTag));
    // Layouts become text attributes of object 1.
    const auto& layout = site.find(1)->attributes.value("One");
    QCOMPARE(layout.tag(), int(Value::StringTag));
    QCOMPARE(OrderedJson::parse(layout.toString()).at("numRows").get<int>(), 1);

    const auto& generated = site.recordings.at(23);
    QCOMPARE(generated.chunks.size(), std::size_t(3));
    QCOMPARE(generated.chunks[2].start, std::int64_t(12000));
    QCOMPARE(generated.pos.size(), std::size_t(9)); // 0, 400 and 800 ms into each of three chunks
    QCOMPARE(generated.pos[4].time, std::int64_t(11400));
    QCOMPARE(generated.pos[4].text, vantorsim::posReceipt(42, 23, 4));
}

void TestVantorWire::siteErrorsNameThePlace_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("message");
    QTest::newRow("not json") << "{"
                              << "not valid JSON";
    // Found by fuzzing: a number beyond the range of a double ended the simulator.
    QTest::newRow("number overflow") << R"({"objects": [{"id": 1, "name": "a", "type": 7, "x": 1E400}]})"
                                     << "not valid JSON";
    QTest::newRow("no objects") << "{\"name\": \"x\"}"
                                << "\"objects\" is missing";
    QTest::newRow("no id") << "{\"objects\": [{\"name\": \"a\", \"type\": 1}]}"
                           << "objects[0]: \"id\" is missing";
    QTest::newRow("twice")
        << "{\"objects\": [{\"id\": 1, \"name\": \"a\", \"type\": 7}, {\"id\": 1, \"name\": \"b\", \"type\": 7}]}"
        << "objects[1] (id 1): the id is used twice";
    QTest::newRow("type text") << "{\"objects\": [{\"id\": 1, \"name\": \"a\", \"type\": \"7\"}]}"
                               << "\"type\" must be an integer";
    QTest::newRow("password") << "{\"objects\": [{\"id\": 1, \"name\": \"a\", \"type\": 7, \"password\": \"x\"}]}"
                              << "only users";
    QTest::newRow("layouts without 1")
        << "{\"objects\": [{\"id\": 2, \"name\": \"a\", \"type\": 7}], \"layouts\": {\"L\": {}}}"
        << "object 1";
    QTest::newRow("recording of no stream")
        << "{\"objects\": [{\"id\": 1, \"name\": \"a\", \"type\": 7}], \"recordings\": [{\"stream\": 1}]}"
        << "recordings[0]: \"stream\" 1 is not a stream";
    QTest::newRow("chunk backwards") << "{\"objects\": [{\"id\": 5, \"name\": \"s\", \"type\": 10}], \"recordings\": "
                                        "[{\"stream\": 5, \"chunks\": [{\"start\": 9, \"end\": 3}]}]}"
                                     << "chunks[0]: \"end\" lies before \"start\"";
    QTest::newRow("bad port")
        << "{\"objects\": [{\"id\": 5, \"name\": \"g\", \"type\": 2, \"gateway\": {\"httpPort\": 70000}}]}"
        << "\"httpPort\" must be a port number";

    // Found by fuzzing: numbers that wrapped around (undefined behaviour) or whose low 32 bits
    // passed for a valid value, and recordings that asked for unbounded memory.
    const QString stream = R"({"objects": [{"id": 5, "name": "s", "type": 10}], "recordings": [{"stream": 5, %1}]})";
    QTest::newRow("chunk length wraps")
        << stream.arg(R"("chunks": [{"start": -9223372036854775807, "end": 9223372036854775807}])")
        << "chunks[0]: the chunk's length is out of range";
    QTest::newRow("default size wraps") << stream.arg(R"("chunks": [{"start": 0, "end": 9223372036854775807}])")
                                        << "chunks[0]: the chunk's default size is out of range";
    QTest::newRow("last chunk id") << stream.arg(
                                          R"("chunks": [{"chunkId": 9223372036854775807, "start": 0, "end": 1}])")
                                   << "\"chunkId\" is out of range";
    QTest::newRow("run end wraps")
        << stream.arg(R"("chunks": {"start": 9223372036854775000, "count": 2, "durationMs": 1000, "size": 1})")
        << "chunks: the run's end is out of range";
    QTest::newRow("run period wraps")
        << stream.arg(R"("chunks": {"start": 0, "count": 1, "durationMs": 9223372036854775807, "gapMs": 1, "size": 1})")
        << "chunks: the run's period is out of range";
    QTest::newRow("run default size wraps")
        << stream.arg(R"("chunks": {"start": 0, "count": 1, "durationMs": 9223372036854775807})")
        << "the chunks' default size is out of range";
    QTest::newRow("too many receipts")
        << stream.arg(R"("chunks": [{"start": 0, "end": 1000000000000, "size": 1}], "posEveryMs": 1)")
        << "\"posEveryMs\" 1 gives stream 5 more than 100000 receipts";
    QTest::newRow("too many chunks") << R"({"objects": [{"id": 5, "name": "s", "type": 10}], "recordings": [
               {"stream": 5, "chunks": {"start": 0, "count": 100000, "durationMs": 1}},
               {"stream": 5, "chunks": [{"start": 0, "end": 1}]}]})"
                                     << "recordings[1]: stream 5 has more than 100000 chunks";
    QTest::newRow("run with count and span")
        << stream.arg(R"("chunks": {"start": 0, "count": 2, "spanMs": 5000, "durationMs": 1000})")
        << "either \"count\" or \"spanMs\"";
    QTest::newRow("run start word") << stream.arg(R"("chunks": {"start": "yesterday", "count": 1, "durationMs": 1})")
                                    << "\"start\" must be a time in milliseconds or \"today\"";
    QTest::newRow("run span beyond the chunk limit")
        << stream.arg(R"("chunks": {"start": 0, "spanMs": 86400000, "durationMs": 1})")
        << "\"spanMs\" gives more than 100000 chunks";
    QTest::newRow("run pause negative")
        << stream.arg(R"("chunks": {"start": 0, "count": 2, "durationMs": 1, "pauseEvery": 1, "pauseMs": -5})")
        << "must not be negative";
    QTest::newRow("type beyond int") << R"({"objects": [{"id": 1, "name": "a", "type": 4294967297}]})"
                                     << "\"type\" is out of range";
    QTest::newRow("port in the low bits")
        << R"({"objects": [{"id": 5, "name": "g", "type": 2, "gateway": {"httpPort": 4294967376}}]})"
        << "\"httpPort\" must be a port number";
    QTest::newRow("POS port in the low bits")
        << R"({"objects": [{"id": 5, "name": "g", "type": 2, "gateway": {}, "settings": {"posPort": 4294972852}}]})"
        << "setting \"posPort\" must be a port number";
    QTest::newRow("door delay beyond int")
        << R"({"doorDelayMs": 4294967296, "objects": [{"id": 1, "name": "a", "type": 7}]})"
        << "\"doorDelayMs\" is out of range";
}

void TestVantorWire::siteErrorsNameThePlace()
{
    QFETCH(QString, json);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(json.toUtf8());
    file.close();
    try {
        vantorsim::loadSite(path.toStdString());
        QFAIL("a bad site was accepted");
    } catch (const vantorsim::SiteError& e) {
        const QString what = QString::fromStdString(e.what());
        QVERIFY2(what.startsWith(path), qPrintable(what));
        QVERIFY2(what.contains(message), qPrintable(what));
    }
}

void TestVantorWire::chunkRunsCoverADay()
{
    // A day from local midnight, chunks of a minute with a pause of an hour after every two hours.
    const vantorsim::Site site = vantorsim::parseSiteText(
        R"({"objects": [{"id": 5, "name": "s", "type": 10}], "recordings": [{"stream": 5, "posEveryMs": 30000,
            "chunks": {"start": "today", "spanMs": 86400000, "durationMs": 60000, "pauseEvery": 120,
                       "pauseMs": 3600000}}]})",
        "day");
    const auto& chunks = site.recordings.at(5).chunks;
    const qint64 midnight = QDateTime(QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
    // Started on the day the site was read; a test running across midnight reads the day before.
    QVERIFY2(chunks.front().start == midnight ||
                 chunks.front().start == QDateTime(QDate::currentDate().addDays(-1), QTime(0, 0)).toMSecsSinceEpoch(),
             qPrintable(QString::number(chunks.front().start)));
    const qint64 dayStart = chunks.front().start;
    // Eight periods of three hours: 120 chunks each, the last chunk starting before the day ends.
    QCOMPARE(chunks.size(), std::size_t(8 * 120));
    QCOMPARE(chunks[119].end, dayStart + 120 * 60000);
    QCOMPARE(chunks[120].start, dayStart + 3 * 3600000);
    QVERIFY(chunks.back().start < dayStart + 86400000);
    for (std::size_t i = 1; i < chunks.size(); ++i)
        QVERIFY(chunks[i].start >= chunks[i - 1].end && chunks[i].chunkId == chunks[i - 1].chunkId + 1);
    // Two receipts a minute, in the recorded minutes only.
    QCOMPARE(site.recordings.at(5).pos.size(), std::size_t(2 * chunks.size()));
}

void TestVantorWire::siteTimesAtTheLimits()
{
    // A chunk that ends at the largest time: the receipts stop before its end instead of wrapping.
    const vantorsim::Site site = vantorsim::parseSiteText(
        R"({"objects": [{"id": 5, "name": "s", "type": 10}], "recordings": [{"stream": 5, "posEveryMs": 400,
            "chunks": [{"start": 9223372036854775000, "end": 9223372036854775807, "size": 0},
                       {"start": -9223372036854775807, "end": -9223372036854775000}]}]})",
        "limits");
    const auto& rec = site.recordings.at(5);
    QCOMPARE(rec.chunks.front().start, std::int64_t(-9223372036854775807));
    std::vector<std::int64_t> times;
    for (const auto& entry : rec.pos)
        times.push_back(entry.time);
    QCOMPARE(times, (std::vector<std::int64_t>{-9223372036854775807, -9223372036854775407, -9223372036854775007,
                                               9223372036854775000, 9223372036854775400, 9223372036854775800}));
    QCOMPARE(rec.pos[3].text, vantorsim::posReceipt(1, 5, 3));
}

void TestVantorWire::overridesMoveGateways()
{
    vantorsim::Site site = vantorsim::loadSite(PLATFORM_SITES_DIR "/small.json");
    vantorsim::SiteOverrides o;
    o.gatewayAddress = "127.0.0.9";
    o.gatewayPort = 40000;
    o.posPort = 41000;
    o.posSeed = 5;
    vantorsim::applyOverrides(site, o);
    QCOMPARE(site.gateways[1].httpPort, 40001);
    QCOMPARE(site.gateways[1].posPort, 41001);
    // Clients read where the gateway really is from its settings.
    QCOMPARE(site.find(12)->data.settings.value("address").toString(), std::string("127.0.0.9"));
    QCOMPARE(site.find(12)->data.settings.value("posPort").toInt(), 41001);
    // Generated recorded receipts follow the seed.
    QCOMPARE(site.recordings.at(23).pos[0].text, vantorsim::posReceipt(5, 23, 0));
}

void TestVantorWire::mistypedArgumentsGetAnAnswer_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("op");
    // Found by fuzzing: a mistyped optional argument dropped the request without a reply, so the
    // client waited for its timeout.
    QTest::newRow("attribute name a number") << R"({"objectId": 1, "name": 5})"
                                             << "getDynamicAttribute";
    QTest::newRow("attribute name an object") << R"({"objectId": 1, "name": {}})"
                                              << "getDynamicAttribute";
    QTest::newRow("missing argument") << R"({})"
                                      << "getActuatorValue";
}

void TestVantorWire::mistypedArgumentsGetAnAnswer()
{
    QFETCH(QString, args);
    QFETCH(QString, op);
    vantorsim::Site site = vantorsim::loadSite(PLATFORM_SITES_DIR "/small.json");
    vantorsim::SimServer server(site, vantorsim::SimOptions());
    std::vector<wire::Json> sent;
    server.setSender([&sent](const std::string&, const std::string& text) { sent.push_back(wire::Json::parse(text)); });
    server.handleFrame("peer", R"({"type": "hello", "version": 1})");
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].at("type"), wire::Json("welcome"));
    server.handleFrame("peer", R"({"type": "request", "id": 1, "op": "signIn",
                                   "args": {"user": "alice", "password": "secret"}})");
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[1].value("ok", false), true);

    server.handleFrame(
        "peer", QStringLiteral(R"({"type": "request", "id": 2, "op": "%1", "args": %2})").arg(op, args).toStdString());
    QCOMPARE(sent.size(), std::size_t(3));
    const wire::Json& reply = sent[2];
    QCOMPARE(reply.value("type", ""), std::string("reply"));
    QCOMPARE(reply.value("id", 0), 2);
    QCOMPARE(reply.value("ok", true), false);
    QCOMPARE(reply.at("error").value("code", 0), int(ErrInvalidArgument));
    QVERIFY(!reply.at("error").value("message", "").empty());
}

void TestVantorWire::controlAnswers_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("answer");
    QTest::newRow("ping") << "ping"
                          << "ok pong";
    QTest::newRow("help") << "  help "
                          << "ok ping set-setting remove-setting set-name set-attribute set-sensor set-actuator "
                             "push-event update-event events sessions bindings stall freeze resume drop pos-rate "
                             "door-delay open-door access flood-events quit";
    QTest::newRow("unknown") << "frobnicate 1"
                             << "error unknown command \"frobnicate\" (try help)";
    QTest::newRow("empty line") << ""
                                << "error unknown command \"\" (try help)";
    QTest::newRow("set-setting") << "set-setting 21 fps 30"
                                 << "ok";
    QTest::newRow("set-setting without a name") << "set-setting 21"
                                                << "error usage: set-setting <id> <name> <json>";
    QTest::newRow("remove-setting without an id") << "remove-setting x fps"
                                                  << "error usage: remove-setting <id> <name>";
    QTest::newRow("remove-setting of none") << "remove-setting 21 zoom"
                                            << "error object 21 has no setting zoom";
    QTest::newRow("set-attribute of no object") << "set-attribute 99 note 1"
                                                << "error no object 99";
    QTest::newRow("set-name") << "set-name 21 Front door"
                              << "ok";
    QTest::newRow("set-name without a name") << "set-name 21"
                                             << "error usage: set-name <id> <name>";
    QTest::newRow("set-sensor") << "set-sensor 31 false"
                                << "ok";
    QTest::newRow("set-sensor of an actuator") << "set-sensor 32 false"
                                               << "error no sensor 32";
    QTest::newRow("set-actuator without a value") << "set-actuator 32"
                                                  << "error usage: set-actuator <id> <json>";
    QTest::newRow("push-event") << R"(push-event {"className": "ctrl.TEST"})"
                                << "ok 1001";
    QTest::newRow("push-event not an object") << "push-event [1]"
                                              << "error the event must be a JSON object";
    QTest::newRow("update-event without an id") << "update-event {}"
                                                << "error update-event needs an \"eventId\"";
    QTest::newRow("sessions") << "sessions"
                              << R"(ok {"sessions":0,"signedIn":0})";
    QTest::newRow("bindings") << "bindings 21"
                              << "ok []";
    QTest::newRow("bindings without an id") << "bindings"
                                            << "error usage: bindings <streamId>";
    QTest::newRow("stall") << "stall on"
                           << "ok";
    QTest::newRow("freeze without on or off") << "freeze maybe"
                                              << "error usage: freeze on|off";
    QTest::newRow("resume") << "resume"
                            << "ok";
    QTest::newRow("drop") << "drop"
                          << "ok 0";
    QTest::newRow("pos-rate out of range") << "pos-rate 1001"
                                           << "error usage: pos-rate <messages per second, 0 to 1000>";
    QTest::newRow("door-delay") << "door-delay 10"
                                << "ok";
    QTest::newRow("door-delay negative") << "door-delay -1"
                                         << "error usage: door-delay <milliseconds>";
    QTest::newRow("quit") << "quit"
                          << "ok";
}

void TestVantorWire::controlAnswers()
{
    QFETCH(QString, line);
    QFETCH(QString, answer);
    vantorsim::Site site = vantorsim::loadSite(PLATFORM_SITES_DIR "/small.json");
    vantorsim::SimServer server(site, vantorsim::SimOptions());
    server.setSender([](const std::string&, const std::string&) {});
    QCOMPARE(QString::fromStdString(server.control(line.toStdString())), answer);
}

QTEST_GUILESS_MAIN(TestVantorWire)
#include "tst_vantorwire.moc"
