#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include <vantor/vantor.h>

#include "actuatorwriter.h"
#include "logcapture.h"
#include "vantorobject.h"

namespace vantor = pelmar::vantor;

namespace {

class FakeWriter : public ActuatorWriter
{
public:
    void setActrValue(const QString& id, bool value) override { calls.append({id, value}); }
    QList<QPair<QString, bool>> calls;
};

} // namespace

class TestVantorObject : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { VantorObject::setActuatorWriter(nullptr); }
    void factoryTypes_data();
    void factoryTypes();
    void factoryFields();
    void sharedTextsStayExact();
    void notifications();
    void addChildId();
    void valueWrites_data();
    void valueWrites();
};

void TestVantorObject::factoryTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("made");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("invalid object") << 2 << false << false << "" << QStringList{};
    QTest::newRow("0") << 0 << true << false << "" << QStringList{"Unknow type:  0"};
    QTest::newRow("11 newer server") << 11 << true << false << "" << QStringList{"Unknow type:  11"};
    QTest::newRow("-1") << -1 << true << false << "" << QStringList{"Unknow type:  -1"};
    QTest::newRow("1 User") << 1 << true << true << "" << QStringList{"No serial for type:  1"};
    QTest::newRow("3 Service") << 3 << true << true << "" << QStringList{"No serial for type:  3"};
    QTest::newRow("6 Policy") << 6 << true << true << "" << QStringList{"No serial for type:  6"};
    QTest::newRow("7 Location") << 7 << true << true << "" << QStringList{};
    for (int type : {2, 8, 9, 10})
        QTest::addRow("%d with serial", type) << type << true << true << "SN-1" << QStringList{};
}

void TestVantorObject::factoryTypes()
{
    QFETCH(int, type);
    QFETCH(bool, valid);
    QFETCH(bool, made);
    QFETCH(QString, serial);
    QFETCH(QStringList, lines);

    vantor::ObjectData data;
    data.type = type;
    data.serialNumber = "SN-1"; // only the typed views hand it out
    data.valid = valid;
    LogCapture log;
    const VantorObjectPtr record = VantorObject::fromObject(vantor::Object(data));
    QCOMPARE(log.lines(), lines);
    QCOMPARE(bool(record), made);
    if (made) {
        QCOMPARE(int(record->type()), type);
        QCOMPARE(record->serial(), serial);
        QCOMPARE(QQmlEngine::objectOwnership(record.get()), QQmlEngine::CppOwnership);
    }
}

void TestVantorObject::factoryFields()
{
    vantor::ObjectData data;
    data.id = 9007199254740993LL; // above 2^53: must stay exact
    data.name = "Дверь 1";
    data.type = VantorObject::Actuator;
    data.className = "actuator.DOOR";
    data.parent = -7;
    data.children = {5, 3, 5};
    data.settings.setValue("url", vantor::StringValue("rtsp://cam/1"));
    data.settings.setValue("posPort", vantor::IntValue(5556));
    data.settings.setValue("open", vantor::BoolValue(true));
    data.settings.setValue("ratio", vantor::FloatValue(0.5));
    data.settings.setValue("owner", vantor::IdValue(42));
    data.valid = true;

    const VantorObjectPtr r = VantorObject::fromObject(vantor::Object(data));
    QVERIFY(r);
    QCOMPARE(r->id(), QString("9007199254740993"));
    QCOMPARE(r->name(), QString::fromUtf8("Дверь 1"));
    QCOMPARE(r->cls(), QString("actuator.DOOR"));
    QCOMPARE(r->parentId(), QString("-7"));
    QCOMPARE(r->childIds(), QStringList({"5", "3", "5"}));
    QCOMPARE(r->path(), QString());
    QCOMPARE(r->value(), false);
    QStringList settings;
    for (int row = 0; row < r->settings()->rowCount(); ++row)
        settings << r->settings()->data(r->settings()->index(row), VantorSetting::KeyRole).toString() + "=" +
                        r->settings()->data(r->settings()->index(row), VantorSetting::ValueRole).toString();
    QCOMPARE(settings, QStringList({"url=rtsp://cam/1", "posPort=5556", "open=true", "ratio=0.5", "owner=42"}));
}

// Class names, setting names and parent ids are shared between records from a bounded cache;
// past its bound, and after it starts over, every record must still carry its own texts.
void TestVantorObject::sharedTextsStayExact()
{
    std::vector<VantorObjectPtr> records;
    for (int i = 0; i < 10000; ++i) {
        vantor::ObjectData data;
        data.id = i + 1;
        data.type = VantorObject::Stream;
        data.className = "stream.CAMERA" + std::to_string(i);
        data.parent = 1000000 + i;
        data.settings.setValue("key" + std::to_string(i % 5000), vantor::IntValue(i));
        data.settings.setValue("url", vantor::StringValue("rtsp://cam/" + std::to_string(i)));
        data.valid = true;
        records.push_back(VantorObject::fromObject(vantor::Object(data)));
    }
    for (int i = 0; i < 10000; ++i) {
        const VantorObjectPtr& r = records[std::size_t(i)];
        QCOMPARE(r->cls(), QString("stream.CAMERA%1").arg(i));
        QCOMPARE(r->parentId(), QString::number(1000000 + i));
        VantorSetting* settings = r->settings();
        QCOMPARE(settings->rowCount(), 2);
        QCOMPARE(settings->prop(QString("key%1").arg(i % 5000)), QString::number(i));
        QCOMPARE(settings->prop("url"), QString("rtsp://cam/%1").arg(i));
        // The model is made once; QML must never own it.
        QCOMPARE(r->settings(), settings);
        QCOMPARE(QQmlEngine::objectOwnership(settings), QQmlEngine::CppOwnership);
    }
}

void TestVantorObject::notifications()
{
    VantorObject o;
    QSignalSpy name(&o, &VantorObject::nameChanged);
    QSignalSpy childIds(&o, &VantorObject::childIdsChanged);
    QSignalSpy value(&o, &VantorObject::valueChanged);
    o.setName("a");
    o.setName("a");
    o.setChildIds({"1"});
    o.setChildIds({"1"});
    QCOMPARE(name.count(), 1);
    QCOMPARE(childIds.count(), 2);

    // Server reports count every time, and take the truth value. Before the first, the value is
    // only a default and is not known.
    QVERIFY(!o.valueKnown());
    o.updateValue(true);
    QVERIFY(o.valueKnown());
    o.updateValue(true);
    o.updateValue(7);
    QCOMPARE(o.value(), true);
    o.updateValue(0);
    QCOMPARE(o.value(), false);
    QCOMPARE(value.count(), 4);
}

void TestVantorObject::addChildId()
{
    VantorObject o;
    o.setChildIds({"5", "3", "5", "3"});
    QSignalSpy changed(&o, &VantorObject::childIdsChanged);
    o.addChildId("3");
    QCOMPARE(o.childIds(), QStringList({"5", "3"}));
    o.addChildId("9");
    o.addChildId("9");
    QCOMPARE(o.childIds(), QStringList({"5", "3", "9"}));
    QCOMPARE(changed.count(), 3);
    // A list set later replaces what was indexed.
    o.setChildIds({"8", "8"});
    o.addChildId("9");
    QCOMPARE(o.childIds(), QStringList({"8", "9"}));
}

void TestVantorObject::valueWrites_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("writer");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("warnings");

    QTest::newRow("actuator") << int(VantorObject::Actuator) << true << 1 << 0;
    QTest::newRow("sensor") << int(VantorObject::Sensor) << true << 0 << 0;
    QTest::newRow("no type") << 0 << true << 0 << 0;
    QTest::newRow("actuator, no server client") << int(VantorObject::Actuator) << false << 0 << 1;
}

void TestVantorObject::valueWrites()
{
    QFETCH(int, type);
    QFETCH(bool, writer);
    QFETCH(int, sent);
    QFETCH(int, warnings);

    FakeWriter fake;
    VantorObject::setActuatorWriter(writer ? &fake : nullptr);
    VantorObject o;
    o.setType(static_cast<VantorObject::Type>(type));
    o.setId("77");
    QSignalSpy changed(&o, &VantorObject::valueChanged);
    LogCapture log;
    QVERIFY(o.setProperty("value", true)); // as QML writes it

    QCOMPARE(fake.calls.size(), sent);
    if (sent)
        QCOMPARE(fake.calls.first(), qMakePair(QString("77"), true));
    QCOMPARE(log.count("No server client to send actuator value, id: \"77\" value: true"), warnings);
    // The state follows only the server's report.
    QCOMPARE(o.value(), false);
    QCOMPARE(changed.count(), 0);
}

QTEST_GUILESS_MAIN(TestVantorObject)
#include "tst_vantorobject.moc"
