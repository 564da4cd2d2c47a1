#include <limits>

#include <QByteArray>
#include <QDate>
#include <QtTest>

#include <vantor/vantor.h>

#include "messagelog.h"
#include "utils.h"
#include "vantorclient.h"

namespace vantor = pelmar::vantor;

Q_DECLARE_METATYPE(std::shared_ptr<const vantor::Value>)

namespace {

using ValueHandle = std::shared_ptr<const vantor::Value>;

template <typename T, typename... Args>
ValueHandle make(Args&&... args)
{
    return std::make_shared<T>(std::forward<Args>(args)...);
}

} // namespace

class TestValueConversion : public QObject
{
    Q_OBJECT

private slots:
    void toLibrary_data();
    void toLibrary();
    void toLibraryUnhandled_data();
    void toLibraryUnhandled();
    void fromLibrary_data();
    void fromLibrary();
    void fromLibraryUnhandled_data();
    void fromLibraryUnhandled();
};

void TestValueConversion::toLibrary_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("text");

    QTest::newRow("bool") << QVariant(true) << int(vantor::Value::BoolTag) << "true";
    QTest::newRow("int") << QVariant(-5) << int(vantor::Value::IntTag) << "-5";
    QTest::newRow("uint") << QVariant(7u) << int(vantor::Value::IntTag) << "7";
    QTest::newRow("uint above int range") << QVariant(4294967295u) << int(vantor::Value::IntTag) << "-1";
    QTest::newRow("qlonglong narrowed") << QVariant(qlonglong(4294967297LL)) << int(vantor::Value::IntTag) << "1";
    QTest::newRow("qlonglong negative") << QVariant(qlonglong(-2)) << int(vantor::Value::IntTag) << "-2";
    QTest::newRow("qulonglong") << QVariant(qulonglong(12)) << int(vantor::Value::IntTag) << "12";
    QTest::newRow("long") << QVariant::fromValue<long>(33L) << int(vantor::Value::IntTag) << "33";
    QTest::newRow("short") << QVariant::fromValue<short>(-3) << int(vantor::Value::IntTag) << "-3";
    QTest::newRow("ulong") << QVariant::fromValue<ulong>(35UL) << int(vantor::Value::IntTag) << "35";
    QTest::newRow("ushort") << QVariant::fromValue<ushort>(65535) << int(vantor::Value::IntTag) << "65535";
    QTest::newRow("double") << QVariant(2.25) << int(vantor::Value::FloatTag) << "2.25";
    QTest::newRow("float") << QVariant::fromValue<float>(1.5f) << int(vantor::Value::FloatTag) << "1.5";
    QTest::newRow("string utf-8") << QVariant(QString::fromUtf8("Дверь №2")) << int(vantor::Value::StringTag)
                                  << QString::fromUtf8("Дверь №2");
    QTest::newRow("empty string") << QVariant(QString()) << int(vantor::Value::StringTag) << "";
}

void TestValueConversion::toLibrary()
{
    QFETCH(QVariant, input);
    QFETCH(int, tag);
    QFETCH(QString, text);

    MessageLog log;
    const vantor::ValuePtr value = Utils::vantorValueFromQVariant(input);
    QVERIFY(!value.isNull());
    QCOMPARE(value.value().tag(), tag);
    QCOMPARE(QString::fromStdString(value.value().toString()), text);
    QCOMPARE(log.entries().size(), 0);
}

void TestValueConversion::toLibraryUnhandled_data()
{
    QTest::addColumn<QVariant>("input");

    QTest::newRow("QByteArray") << QVariant(QByteArray("abc"));
    QTest::newRow("char") << QVariant::fromValue<char>('a');
    QTest::newRow("uchar") << QVariant::fromValue<uchar>(200);
    QTest::newRow("signed char") << QVariant::fromValue<signed char>(-4);
    QTest::newRow("QDate") << QVariant(QDate(2024, 5, 1));
    QTest::newRow("QVariantMap") << QVariant(QVariantMap{{"a", 1}});
    QTest::newRow("invalid") << QVariant();
}

void TestValueConversion::toLibraryUnhandled()
{
    QFETCH(QVariant, input);

    MessageLog log;
    const vantor::ValuePtr value = Utils::vantorValueFromQVariant(input);
    QVERIFY(value.isNull());
    // What an empty handle stands for when it is stored anyway.
    QCOMPARE(value.value().tag(), int(vantor::Value::NoneTag));

    const QList<MessageLog::Entry> entries = log.entries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).type, QtWarningMsg);
    QCOMPARE(entries.at(0).text,
             QString("static pelmar::vantor::ValuePtr Utils::vantorValueFromQVariant(const QVariant&)"));
    QCOMPARE(entries.at(1).type, QtWarningMsg);
    QCOMPARE(entries.at(1).text, QStringLiteral("  Unhandled type:  %1").arg(input.userType()));
}

void TestValueConversion::fromLibrary_data()
{
    QTest::addColumn<ValueHandle>("input");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("int -1") << make<vantor::IntValue>(-1) << QVariant(-1);
    QTest::newRow("int 2^32 narrowed") << make<vantor::IntValue>(4294967296LL) << QVariant(0);
    QTest::newRow("int 2^31 wraps") << make<vantor::IntValue>(2147483648LL)
                                    << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("float") << make<vantor::FloatValue>(0.125) << QVariant(0.125);
    QTest::newRow("string utf-8") << make<vantor::StringValue>("Вход") << QVariant(QString::fromUtf8("Вход"));
    QTest::newRow("string that reads as number") << make<vantor::StringValue>("42") << QVariant(QString("42"));
    QTest::newRow("bool false") << make<vantor::BoolValue>(false) << QVariant(false);
    QTest::newRow("bool true") << make<vantor::BoolValue>(true) << QVariant(true);
}

void TestValueConversion::fromLibrary()
{
    QFETCH(ValueHandle, input);
    QFETCH(QVariant, expected);

    MessageLog log;
    const QVariant result = VantorClient::vantorValToVariant(*input);
    QCOMPARE(result.userType(), expected.userType());
    QCOMPARE(result, expected);
    QCOMPARE(log.entries().size(), 0);
}

void TestValueConversion::fromLibraryUnhandled_data()
{
    QTest::addColumn<ValueHandle>("input");

    QTest::newRow("id") << make<vantor::IdValue>(42);
    QTest::newRow("none") << make<vantor::NoneValue>();
    QTest::newRow("data") << make<vantor::DataValue>(std::vector<std::uint8_t>{1, 2});
    QTest::newRow("date") << make<vantor::DateValue>("2024-05-01");
    QTest::newRow("time") << make<vantor::TimeValue>("10:00:00.000");
    QTest::newRow("date-time") << make<vantor::DateTimeValue>("2024-05-01T10:00:00.000Z");
    QTest::newRow("timestamp") << make<vantor::TimestampValue>(1714557600000LL);
}

void TestValueConversion::fromLibraryUnhandled()
{
    QFETCH(ValueHandle, input);

    MessageLog log;
    QVERIFY(!VantorClient::vantorValToVariant(*input).isValid());

    const QList<MessageLog::Entry> entries = log.entries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).type, QtWarningMsg);
    QCOMPARE(entries.at(0).text,
             QString("static QVariant VantorClient::vantorValToVariant(const pelmar::vantor::Value&)"));
    QCOMPARE(entries.at(1).type, QtWarningMsg);
    QCOMPARE(entries.at(1).text, QStringLiteral("Unhandled type: %1").arg(input->tag()));
}

QTEST_GUILESS_MAIN(TestValueConversion)
#include "tst_valueconversion.moc"
