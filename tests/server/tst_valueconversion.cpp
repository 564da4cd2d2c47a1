#include <limits>

#include <QDate>
#include <QtTest>

#include <vantor/vantor.h>

#include "logcapture.h"
#include "utils.h"
#include "vantorclient.h"

namespace vantor = pelmar::vantor;
using ValueHandle = std::shared_ptr<const vantor::Value>;
Q_DECLARE_METATYPE(ValueHandle)

class TestValueConversion : public QObject
{
    Q_OBJECT

private slots:
    void toLibrary_data();
    void toLibrary();
    void fromLibrary_data();
    void fromLibrary();
    void eventFields_data();
    void eventFields();
};

void TestValueConversion::toLibrary_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<int>("tag"); // 0: not converted
    QTest::addColumn<QString>("text");

    QTest::newRow("bool") << QVariant(true) << 20 << "true";
    QTest::newRow("int") << QVariant(-5) << 30 << "-5";
    QTest::newRow("uint above int range") << QVariant(4294967295u) << 30 << "-1";
    QTest::newRow("qlonglong 2^32+1 narrowed") << QVariant(qlonglong(4294967297LL)) << 30 << "1";
    QTest::newRow("qulonglong") << QVariant(qulonglong(12)) << 30 << "12";
    QTest::newRow("long") << QVariant::fromValue<long>(33L) << 30 << "33";
    QTest::newRow("short") << QVariant::fromValue<short>(-3) << 30 << "-3";
    QTest::newRow("ulong") << QVariant::fromValue<ulong>(35UL) << 30 << "35";
    QTest::newRow("ushort") << QVariant::fromValue<ushort>(65535) << 30 << "65535";
    QTest::newRow("double") << QVariant(2.25) << 40 << "2.25";
    QTest::newRow("float") << QVariant::fromValue<float>(1.5f) << 40 << "1.5";
    QTest::newRow("string") << QVariant(QString::fromUtf8("Дверь №2")) << 50 << QString::fromUtf8("Дверь №2");
    QTest::newRow("QByteArray") << QVariant(QByteArray("abc")) << 0 << "12";
    QTest::newRow("char") << QVariant::fromValue<char>('a') << 0 << "34";
    QTest::newRow("uchar") << QVariant::fromValue<uchar>(200) << 0 << "37";
    QTest::newRow("signed char") << QVariant::fromValue<signed char>(-4) << 0 << "40";
    QTest::newRow("QDate") << QVariant(QDate(2024, 5, 1)) << 0 << "14";
    QTest::newRow("invalid") << QVariant() << 0 << "0";
}

void TestValueConversion::toLibrary()
{
    QFETCH(QVariant, input);
    QFETCH(int, tag);
    QFETCH(QString, text);

    LogCapture log;
    const vantor::ValuePtr value = Utils::vantorValueFromQVariant(input);
    if (tag) {
        QVERIFY(!value.isNull());
        QCOMPARE(value.value().tag(), tag);
        QCOMPARE(QString::fromStdString(value.value().toString()), text);
        QCOMPARE(log.lines(), QStringList());
    } else {
        QVERIFY(value.isNull());
        QCOMPARE(log.lines(QtWarningMsg),
                 QStringList({"static pelmar::vantor::ValuePtr Utils::vantorValueFromQVariant(const QVariant&)",
                              "  Unhandled type:  " + text}));
    }
}

void TestValueConversion::fromLibrary_data()
{
    QTest::addColumn<ValueHandle>("input");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("int -1") << ValueHandle(new vantor::IntValue(-1)) << QVariant(-1);
    QTest::newRow("int 2^32 narrowed") << ValueHandle(new vantor::IntValue(4294967296LL)) << QVariant(0);
    QTest::newRow("int 2^31 wraps") << ValueHandle(new vantor::IntValue(2147483648LL))
                                    << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("float") << ValueHandle(new vantor::FloatValue(0.125)) << QVariant(0.125);
    QTest::newRow("string") << ValueHandle(new vantor::StringValue("Вход")) << QVariant(QString::fromUtf8("Вход"));
    QTest::newRow("bool") << ValueHandle(new vantor::BoolValue(true)) << QVariant(true);
    QTest::newRow("id") << ValueHandle(new vantor::IdValue(42)) << QVariant();
    QTest::newRow("none") << ValueHandle(new vantor::NoneValue) << QVariant();
    QTest::newRow("timestamp") << ValueHandle(new vantor::TimestampValue(17)) << QVariant();
    QTest::newRow("date") << ValueHandle(new vantor::DateValue("2024-05-01")) << QVariant();
}

void TestValueConversion::fromLibrary()
{
    QFETCH(ValueHandle, input);
    QFETCH(QVariant, expected);

    LogCapture log;
    const QVariant result = VantorClient::vantorValToVariant(*input);
    QCOMPARE(result.userType(), expected.userType());
    QCOMPARE(result, expected);
    const QStringList warnings =
        expected.isValid()
            ? QStringList()
            : QStringList({"static QVariant VantorClient::vantorValToVariant(const pelmar::vantor::Value&)",
                           QStringLiteral("Unhandled type: %1").arg(input->tag())});
    QCOMPARE(log.lines(), warnings);
}

void TestValueConversion::eventFields_data()
{
    QTest::addColumn<ValueHandle>("field");
    QTest::addColumn<QVariant>("expected"); // invalid: no "fields" key
    QTest::addColumn<bool>("warned");

    QTest::newRow("object") << ValueHandle(new vantor::StringValue(R"({"zone":"A","n":[1,{"b":null}]})"))
                            << QVariant(QVariantMap{
                                   {"zone", "A"},
                                   {"n", QVariantList{1.0, QVariantMap{{"b", QVariant::fromValue(nullptr)}}}}})
                            << false;
    QTest::newRow("array") << ValueHandle(new vantor::StringValue("[1,2]")) << QVariant(QVariantMap{}) << false;
    QTest::newRow("not JSON") << ValueHandle(new vantor::StringValue("{\"zone\":")) << QVariant() << true;
    QTest::newRow("empty text") << ValueHandle(new vantor::StringValue("")) << QVariant() << true;
    QTest::newRow("a number") << ValueHandle(new vantor::IntValue(5)) << QVariant() << true;
    QTest::newRow("data as hex") << ValueHandle(new vantor::DataValue({0x7b, 0x7d})) << QVariant() << true;
    QTest::newRow("invalid UTF-8 inside")
        << ValueHandle(new vantor::StringValue("{\"k\":\"\xff\xfe\"}")) << QVariant() << true;
}

void TestValueConversion::eventFields()
{
    QFETCH(ValueHandle, field);
    QFETCH(QVariant, expected);
    QFETCH(bool, warned);

    vantor::Event event;
    event.sourceId = 42;
    event.eventId = 1001;
    event.className = "Alarm";
    event.fields.setValue("other", vantor::StringValue("{}"));
    event.fields.setValue("fields", vantor::ValuePtr(field));
    LogCapture log;
    QVariantMap map = VantorClient::eventToVariantMap(event);
    QCOMPARE(map.take("fields"), expected);
    QCOMPARE(map, (QVariantMap{{"srcId", "42"}, {"eventId", qlonglong(1001)}, {"cls", "Alarm"}}));
    const QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), warned ? 1 : 0);
    if (warned)
        QVERIFY2(warnings.first().startsWith("The event's \"fields\" are not JSON:"), qPrintable(warnings.first()));
}

QTEST_GUILESS_MAIN(TestValueConversion)
#include "tst_valueconversion.moc"
