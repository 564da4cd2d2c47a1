#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"
#include "vantorsetting.h"

// The types register themselves at application start; QML must see them and their enums.
class TestQmlTypes : public QObject
{
    Q_OBJECT

private slots:
    void typesAndEnums_data();
    void typesAndEnums();
};

void TestQmlTypes::typesAndEnums_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("client enum") << "VantorClient" << "VantorClient.START + VantorClient.END * 10" << QVariant(10);
    QTest::newRow("binding type") << "VantorClient" << "VantorClient.ProxyStorage" << QVariant(3);
    QTest::newRow("connection state") << "VantorClient" << "VantorClient.Closing" << QVariant(3);
    QTest::newRow("layout attribute") << "VantorClient" << "VantorClient.AttrLayout" << QVariant(1);
    QTest::newRow("object type") << "VantorObject" << "VantorObject.Actuator" << QVariant(9);
    QTest::newRow("setting") << "VantorSetting" << "item.rowCount()" << QVariant(0);
    QTest::newRow("repository") << "VantorObjectsRepository" << "item.objectById('1') === null" << QVariant(true);
}

void TestQmlTypes::typesAndEnums()
{
    QFETCH(QString, type);
    QFETCH(QString, expression);
    QFETCH(QVariant, expected);

    QQmlEngine engine;
    QQmlComponent component(&engine);
    const QString source = QStringLiteral("import QtQml 2.15\nimport Native 1.0\n"
                                          "QtObject {\n"
                                          "    property %1 item: %1 {}\n"
                                          "    property var result: %2\n"
                                          "}\n")
                               .arg(type, expression);
    component.setData(source.toUtf8(), QUrl());
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QVERIFY(root->property("item").value<QObject*>());
    QCOMPARE(root->property("result").toInt(), expected.toInt());
}

QTEST_GUILESS_MAIN(TestQmlTypes)
#include "tst_qmltypes.moc"
