#include <QMetaProperty>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include <vantor/vantor.h>

#include "actuatorwriter.h"
#include "messagelog.h"
#include "vantorobject.h"

namespace vantor = pelmar::vantor;

namespace {

class FakeWriter : public ActuatorWriter
{
public:
    void setActrValue(const QString& id, bool value) override { calls.append({id, value}); }
    QList<QPair<QString, bool>> calls;
};

vantor::Object makeObject(int type, const std::string& serial = "SN-1")
{
    vantor::ObjectData data;
    data.id = 12;
    data.name = "obj";
    data.type = type;
    data.className = "Cls";
    data.parent = 3;
    data.serialNumber = serial;
    data.valid = true;
    return vantor::Object(data);
}

} // namespace

class TestVantorObject : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void factoryTypes_data();
    void factoryTypes();
    void factoryInvalidObject();
    void factoryFields();

    void settersNotifyOnChange_data();
    void settersNotifyOnChange();
    void childIdsAlwaysNotify();
    void addChildId_data();
    void addChildId();

    void updateValueEmitsEveryTime();
    void valueWriteGoesToActuatorsOnly_data();
    void valueWriteGoesToActuatorsOnly();
    void valueWriteWithoutWriter();
};

void TestVantorObject::cleanup()
{
    VantorObject::setActuatorWriter(nullptr);
}

void TestVantorObject::factoryTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("made");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("noSerialLine");

    QTest::newRow("negative") << -1 << false << QString() << false;
    QTest::newRow("0 none") << 0 << false << QString() << false;
    QTest::newRow("1 User") << 1 << true << QString() << true;
    QTest::newRow("2 Device") << 2 << true << "SN-1" << false;
    QTest::newRow("3 Service") << 3 << true << QString() << true;
    QTest::newRow("4 Group") << 4 << true << QString() << true;
    QTest::newRow("5 Script") << 5 << true << QString() << true;
    QTest::newRow("6 Policy") << 6 << true << QString() << true;
    QTest::newRow("7 Location") << 7 << true << QString() << false;
    QTest::newRow("8 Sensor") << 8 << true << "SN-1" << false;
    QTest::newRow("9 Actuator") << 9 << true << "SN-1" << false;
    QTest::newRow("10 Stream") << 10 << true << "SN-1" << false;
    QTest::newRow("11 newer server") << 11 << false << QString() << false;
    QTest::newRow("200") << 200 << false << QString() << false;
}

void TestVantorObject::factoryTypes()
{
    QFETCH(int, type);
    QFETCH(bool, made);
    QFETCH(QString, serial);
    QFETCH(bool, noSerialLine);

    MessageLog log;
    const VantorObjectPtr record = VantorObject::fromObject(makeObject(type));

    QCOMPARE(bool(record), made);
    QCOMPARE(log.count(QtWarningMsg, QStringLiteral("Unknow type:  %1").arg(type)), made ? 0 : 1);
    QCOMPARE(log.count(QtDebugMsg, QStringLiteral("No serial for type:  %1").arg(type)), noSerialLine ? 1 : 0);
    if (!made)
        return;
    QCOMPARE(int(record->type()), type);
    QCOMPARE(record->serial(), serial);
    QCOMPARE(record->value(), false);
    QCOMPARE(record->path(), QString());
    QCOMPARE(QQmlEngine::objectOwnership(record.get()), QQmlEngine::CppOwnership);
}

void TestVantorObject::factoryInvalidObject()
{
    MessageLog log;
    vantor::ObjectData data;
    data.type = VantorObject::Device;
    data.valid = false;
    QVERIFY(!VantorObject::fromObject(vantor::Object(data)));
    QVERIFY(!VantorObject::fromObject(vantor::Object()));
    QCOMPARE(log.entries().size(), 0);
}

void TestVantorObject::factoryFields()
{
    vantor::ObjectData data;
    data.id = 9007199254740993LL; // above 2^53: must survive as exact decimal text
    data.name = "Дверь 1";
    data.type = VantorObject::Actuator;
    data.className = "DoorLock";
    data.parent = -7;
    data.children = {5, 3, 5};
    data.settings.setValue("url", vantor::StringValue("rtsp://cam/1"));
    data.settings.setValue("posPort", vantor::IntValue(5556));
    data.settings.setValue("enabled", vantor::BoolValue(true));
    data.settings.setValue("ratio", vantor::FloatValue(0.5));
    data.settings.setValue("owner", vantor::IdValue(42));
    data.settings.setValue("empty", vantor::NoneValue());
    data.serialNumber = "LOCK-9";
    data.valid = true;

    const VantorObjectPtr record = VantorObject::fromObject(vantor::Object(data));
    QVERIFY(record);
    QCOMPARE(record->id(), QString("9007199254740993"));
    QCOMPARE(record->name(), QString::fromUtf8("Дверь 1"));
    QCOMPARE(record->cls(), QString("DoorLock"));
    QCOMPARE(record->parentId(), QString("-7"));
    QCOMPARE(record->childIds(), QStringList({"5", "3", "5"}));
    QCOMPARE(record->serial(), QString("LOCK-9"));

    VantorSetting* settings = record->settings();
    QVERIFY(settings);
    const QStringList keys{"url", "posPort", "enabled", "ratio", "owner", "empty"};
    const QStringList values{"rtsp://cam/1", "5556", "true", "0.5", "42", ""};
    QCOMPARE(settings->rowCount(), keys.size());
    for (int row = 0; row < keys.size(); ++row) {
        QCOMPARE(settings->data(settings->index(row), VantorSetting::KeyRole).toString(), keys.at(row));
        QCOMPARE(settings->prop(keys.at(row)), values.at(row));
    }
    QCOMPARE(QQmlEngine::objectOwnership(settings), QQmlEngine::CppOwnership);
}

void TestVantorObject::settersNotifyOnChange_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");

    QTest::newRow("type") << QByteArray("type") << QVariant(int(VantorObject::Sensor))
                          << QVariant(int(VantorObject::Stream));
    for (const char* name : {"id", "name", "cls", "path", "parentId", "serial"})
        QTest::newRow(name) << QByteArray(name) << QVariant("a") << QVariant("b");
}

void TestVantorObject::settersNotifyOnChange()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);

    VantorObject object;
    const QMetaProperty meta = object.metaObject()->property(object.metaObject()->indexOfProperty(property));
    QVERIFY(meta.isValid());
    QSignalSpy notified(&object, meta.notifySignal());

    QVERIFY(meta.write(&object, first));
    QVERIFY(meta.write(&object, first));
    QCOMPARE(notified.count(), 1);
    QVERIFY(meta.write(&object, second));
    QCOMPARE(notified.count(), 2);
    QCOMPARE(meta.read(&object).toString(), second.toString());
}

void TestVantorObject::childIdsAlwaysNotify()
{
    VantorObject object;
    QSignalSpy notified(&object, &VantorObject::childIdsChanged);
    object.setChildIds({"1", "2"});
    object.setChildIds({"1", "2"});
    QCOMPARE(notified.count(), 2);
}

void TestVantorObject::addChildId_data()
{
    QTest::addColumn<QStringList>("initial");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("listed already") << QStringList{"4", "5"} << QStringList{"5", "4"} << QStringList{"4", "5"};
    QTest::newRow("new ids appended") << QStringList{"4"} << QStringList{"6", "7", "6"}
                                      << QStringList{"4", "6", "7"};
    QTest::newRow("repeats dropped, first stays")
        << QStringList{"5", "3", "5", "3"} << QStringList{"9"} << QStringList{"5", "3", "9"};
    QTest::newRow("empty") << QStringList{} << QStringList{"1"} << QStringList{"1"};
}

void TestVantorObject::addChildId()
{
    QFETCH(QStringList, initial);
    QFETCH(QStringList, added);
    QFETCH(QStringList, expected);

    VantorObject object;
    object.setChildIds(initial);
    QSignalSpy notified(&object, &VantorObject::childIdsChanged);
    for (const QString& id : added)
        object.addChildId(id);
    QCOMPARE(object.childIds(), expected);
    QCOMPARE(notified.count(), added.size());

    // A list set later replaces what was indexed before.
    object.setChildIds({"8", "8"});
    object.addChildId(expected.first());
    QCOMPARE(object.childIds(), QStringList({"8", expected.first()}));
}

void TestVantorObject::updateValueEmitsEveryTime()
{
    VantorObject object;
    QSignalSpy changed(&object, &VantorObject::valueChanged);

    object.updateValue(true);
    object.updateValue(true);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(object.value(), true);

    object.updateValue(0);
    QCOMPARE(object.value(), false);
    object.updateValue(7);
    QCOMPARE(object.value(), true);
    object.updateValue(QVariant());
    QCOMPARE(object.value(), false);
    QCOMPARE(changed.count(), 5);
}

void TestVantorObject::valueWriteGoesToActuatorsOnly_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("sent");

    QTest::newRow("actuator") << int(VantorObject::Actuator) << true;
    QTest::newRow("sensor") << int(VantorObject::Sensor) << false;
    QTest::newRow("stream") << int(VantorObject::Stream) << false;
    QTest::newRow("no type") << 0 << false;
}

void TestVantorObject::valueWriteGoesToActuatorsOnly()
{
    QFETCH(int, type);
    QFETCH(bool, sent);

    FakeWriter writer;
    VantorObject::setActuatorWriter(&writer);
    VantorObject object;
    object.setType(static_cast<VantorObject::Type>(type));
    object.setId("77");
    QSignalSpy changed(&object, &VantorObject::valueChanged);

    // The way QML writes it: actr.value = !actr.value
    QVERIFY(object.setProperty("value", !object.value()));

    QCOMPARE(writer.calls.size(), sent ? 1 : 0);
    if (sent)
        QCOMPARE(writer.calls.first(), qMakePair(QString("77"), true));
    // The state follows only the server's report.
    QCOMPARE(object.value(), false);
    QCOMPARE(changed.count(), 0);
}

void TestVantorObject::valueWriteWithoutWriter()
{
    VantorObject object;
    object.setType(VantorObject::Actuator);
    object.setId("31");
    MessageLog log;
    object.setValue(true);
    QCOMPARE(log.count(QtWarningMsg, "No server client to send actuator value, id: \"31\" value: true"), 1);
    QCOMPARE(object.value(), false);
}

QTEST_GUILESS_MAIN(TestVantorObject)
#include "tst_vantorobject.moc"
