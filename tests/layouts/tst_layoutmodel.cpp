// SPDX-License-Identifier: MIT
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "layoutmodel.h"
#include "logcapture.h"
#include "vantorclient.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"
#include "vantorsetting.h"

namespace {

VantorObjectPtr makeObject(const QString& id, VantorObject::Type type, const QString& path,
                           const QList<QPair<QString, QString>>& settings = {}, const QString& cls = QString())
{
    auto object = std::make_shared<VantorObject>();
    object->setId(id);
    object->setType(type);
    object->setName(path.section(QLatin1Char(','), -1));
    object->setPath(path);
    object->setCls(cls);
    for (const auto& setting : settings)
        object->settings()->insert(setting.first, setting.second);
    return object;
}

QString cellJson(int row, int col, int rowSpan, int colSpan, const QString& extra = QString())
{
    return QStringLiteral("{\"row\":%1,\"col\":%2,\"rowSpan\":%3,\"colSpan\":%4%5}")
        .arg(row)
        .arg(col)
        .arg(rowSpan)
        .arg(colSpan)
        .arg(extra.isEmpty() ? QString() : QStringLiteral(",") + extra);
}

QString layoutJson(int rows, int cols, const QStringList& elements)
{
    return QStringLiteral("{\"numRows\":%1,\"numCols\":%2,\"elements\":[%3]}")
        .arg(rows)
        .arg(cols)
        .arg(elements.join(QLatin1Char(',')));
}

} // namespace

class TestLayoutModel : public QObject
{
    Q_OBJECT

private:
    VantorObjectsRepository m_repository;
    VantorClient m_client;

    // A site root, two cameras (one without url), a door sensor paired with two door actuators
    // (ids 40 and 31) and an actuator of another class with the same layout value.
    void fillRepository()
    {
        m_repository.clear();
        m_repository.add(makeObject("1", VantorObject::Location, "Site"), ",");
        m_repository.add(makeObject("10", VantorObject::Stream, "Site,Cam1",
                                    {{"url", "av://lavfi:testsrc2{EQU}size{EQU}64x64[[{SMC}x{NOPE}]]"}}),
                         ",");
        m_repository.add(makeObject("11", VantorObject::Stream, "Site,Cam2", {{"address", "127.0.0.1"}}), ",");
        m_repository.add(makeObject("12", VantorObject::Stream, "Site,Cam3", {{"url", "a{EQU}1{SMC}b{EQU}2"}}), ",");
        m_repository.add(makeObject("20", VantorObject::Sensor, "Site,Door sensor", {{"layout", "D1"}}), ",");
        m_repository.add(makeObject("21", VantorObject::Sensor, "Site,Loose sensor", {{"layout", ""}}), ",");
        m_repository.add(makeObject("40", VantorObject::Actuator, "Site,Door A", {{"layout", "D1"}}, "actuator.DOOR"),
                         ",");
        m_repository.add(makeObject("31", VantorObject::Actuator, "Site,Door B", {{"layout", "D1"}}, "actuator.DOOR"),
                         ",");
        m_repository.add(makeObject("5", VantorObject::Actuator, "Site,Siren", {{"layout", "D1"}}, "actuator.SIREN"),
                         ",");
    }

    std::unique_ptr<LayoutModel> newModel()
    {
        auto model = std::make_unique<LayoutModel>();
        model->setRepository(&m_repository);
        model->setClient(&m_client);
        return model;
    }

private slots:
    void init() { fillRepository(); }

    void gridOfFourCells()
    {
        auto model = newModel();
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->numRows(), 1);
        QCOMPARE(model->numCols(), 1);
        QCOMPARE(model->rowCount(), 0);

        model->fromJson(
            layoutJson(2, 2,
                       {cellJson(0, 0, 1, 1,
                                 "\"type\":\"video\",\"label\":\"Gate\",\"deviceId\":\"7\","
                                 "\"objectId\":\"10\""),
                        cellJson(0, 1, 1, 1, "\"type\":\"video\""), cellJson(1, 0, 1, 1, "\"type\":\"alarm\""),
                        cellJson(1, 1, 1, 1, "\"type\":\"door\",\"objectId\":\"21\"")}));
        QCOMPARE(model->numRows(), 2);
        QCOMPARE(model->numCols(), 2);
        QCOMPARE(model->rowCount(), 4);
        const QList<QPair<int, int>> expected{{0, 0}, {0, 1}, {1, 0}, {1, 1}};
        for (int i = 0; i < 4; ++i) {
            const QModelIndex index = model->index(i, 0);
            QCOMPARE(index.data(LayoutModel::RowRole).toInt(), expected[i].first);
            QCOMPARE(index.data(LayoutModel::ColRole).toInt(), expected[i].second);
            QCOMPARE(index.data(LayoutModel::RowSpanRole).toInt(), 1);
            QCOMPARE(index.data(LayoutModel::ColSpanRole).toInt(), 1);
        }
        const QModelIndex first = model->index(0, 0);
        QCOMPARE(first.data(LayoutModel::LabelRole).toString(), QStringLiteral("Gate"));
        QCOMPARE(first.data(LayoutModel::DeviceIdRole).toString(), QStringLiteral("7"));
        QCOMPARE(first.data(LayoutModel::ObjectIdRole).toString(), QStringLiteral("10"));
        QCOMPARE(first.data(LayoutModel::TypeRole).toInt(), int(LayoutModel::Video));
        QCOMPARE(model->index(2, 0).data(LayoutModel::TypeRole).toInt(), int(LayoutModel::Alarm));
        QCOMPARE(model->index(3, 0).data(LayoutModel::TypeRole).toInt(), int(LayoutModel::Door));
        QVERIFY(!model->index(4, 0).data(LayoutModel::RowRole).isValid());
        QVERIFY(!first.data(Qt::DisplayRole).isValid());
        QVERIFY(!model->setData(first, 3, LayoutModel::RowRole));
        QCOMPARE(first.data(LayoutModel::RowRole).toInt(), 0);
    }

    void roleNames()
    {
        LayoutModel model;
        const QHash<int, QByteArray> roles = model.roleNames();
        // The ten roles keep their numbers; the sub-stream's come after them.
        QCOMPARE(roles.size(), 13);
        QCOMPARE(roles.value(257), QByteArray("row"));
        QCOMPARE(roles.value(262), QByteArray("type"));
        QCOMPARE(roles.value(265), QByteArray("url"));
        QCOMPARE(roles.value(266), QByteArray("actuatorId"));
        QCOMPARE(roles.value(267), QByteArray("subUrl"));
        QCOMPARE(roles.value(268), QByteArray("size"));
        QCOMPARE(roles.value(269), QByteArray("subSize"));
    }

    void elementFailures_data()
    {
        QTest::addColumn<QStringList>("elements");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<int>("rows");

        QTest::newRow("missing colSpan keeps the neighbours")
            << QStringList{cellJson(0, 0, 1, 1, "\"type\":\"video\""),
                           "{\"row\":0,\"col\":1,\"rowSpan\":1,\"type\":\"video\"}",
                           cellJson(1, 0, 1, 1, "\"type\":\"video\"")}
            << QStringList{"field colSpan not found"} << 2;
        QTest::newRow("first missing key decides")
            << QStringList{"{\"row\":0,\"col\":1,\"type\":\"video\"}"} << QStringList{"field rowSpan not found"} << 0;
        QTest::newRow("missing row") << QStringList{"{\"col\":1}"} << QStringList{"field row not found"} << 0;
        QTest::newRow("non-object element")
            << QStringList{"5", cellJson(0, 0, 1, 1, "\"type\":\"door\"")} << QStringList{"field row not found"} << 1;
        QTest::newRow("missing type is dropped silently")
            << QStringList{cellJson(0, 0, 1, 1), cellJson(0, 1, 1, 1, "\"type\":\"video\"")} << QStringList() << 1;
    }

    void elementFailures()
    {
        QFETCH(QStringList, elements);
        QFETCH(QStringList, warnings);
        QFETCH(int, rows);
        auto model = newModel();
        LogCapture log;
        model->fromJson(layoutJson(3, 3, elements));
        QCOMPARE(log.lines(QtWarningMsg), warnings);
        QCOMPARE(model->rowCount(), rows);
        QCOMPARE(model->numRows(), 3);
    }

    void topLevelFailuresLeaveThePreviousGrid_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("invalid json") << "{\"numRows\":"
                                      << QStringList{"Layout is not valid JSON: \"unterminated object\" at offset 11"};
        QTest::newRow("nested too deeply")
            << QStringLiteral("{\"numRows\":1,\"numCols\":1,\"elements\":%1%2}")
                   .arg(QString(100000, QLatin1Char('[')), QString(100000, QLatin1Char(']')))
            << QStringList{"Layout is not valid JSON: \"too deeply nested document\" at offset 1060"};
        QTest::newRow("array") << "[1,2]" << QStringList();
        QTest::newRow("empty object") << "{}" << QStringList();
        QTest::newRow("empty text") << "" << QStringList{"Layout is not valid JSON: \"illegal value\" at offset 0"};
        QTest::newRow("no numRows") << "{\"numCols\":1,\"elements\":[{}]}" << QStringList{"field numRows not found"};
        QTest::newRow("no numCols") << "{\"numRows\":1,\"elements\":[{}]}" << QStringList{"field numCols not found"};
        QTest::newRow("no elements") << "{\"numRows\":1,\"numCols\":1}" << QStringList{"field elements not found"};
        QTest::newRow("empty elements") << "{\"numRows\":1,\"numCols\":1,\"elements\":[]}"
                                        << QStringList{"field elements is empty"};
        QTest::newRow("elements not an array")
            << "{\"numRows\":1,\"numCols\":1,\"elements\":{\"a\":1}}" << QStringList{"field elements is empty"};
    }

    void topLevelFailuresLeaveThePreviousGrid()
    {
        QFETCH(QString, json);
        QFETCH(QStringList, warnings);
        auto model = newModel();
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        model->fromJson(layoutJson(4, 5, {cellJson(1, 2, 3, 4, "\"type\":\"video\"")}));

        QSignalSpy rowsSpy(model.get(), &LayoutModel::numRowsChanged);
        QSignalSpy resetSpy(model.get(), &QAbstractItemModel::modelReset);
        LogCapture log;
        model->fromJson(json);
        QCOMPARE(log.lines(QtWarningMsg), warnings);
        QCOMPARE(rowsSpy.count(), 0);
        QCOMPARE(resetSpy.count(), 0);
        QCOMPARE(model->numRows(), 4);
        QCOMPARE(model->numCols(), 5);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data(LayoutModel::ColSpanRole).toInt(), 4);
    }

    void valuesOfTheWrongKind_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("numRows");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("objectId");
        QTest::addColumn<int>("type");
        QTest::newRow("rows as text") << layoutJson(0, 2, {cellJson(1, 0, 1, 1, "\"type\":\"video\"")})
                                             .replace("\"numRows\":0", "\"numRows\":\"2\"")
                                      << 0 << 1 << "" << int(LayoutModel::Video);
        QTest::newRow("fractional row") << "{\"numRows\":2,\"numCols\":2,\"elements\":[{\"row\":1.5,\"col\":0,"
                                           "\"rowSpan\":1,\"colSpan\":1,\"type\":\"video\"}]}"
                                        << 2 << 0 << "" << int(LayoutModel::Video);
        QTest::newRow("row beyond int") << "{\"numRows\":2,\"numCols\":2,\"elements\":[{\"row\":1e20,\"col\":0,"
                                           "\"rowSpan\":1,\"colSpan\":1,\"type\":\"video\"}]}"
                                        << 2 << 0 << "" << int(LayoutModel::Video);
        QTest::newRow("numeric object id")
            << layoutJson(1, 1, {cellJson(0, 0, 1, 1, "\"type\":\"video\",\"objectId\":17")}) << 1 << 0 << ""
            << int(LayoutModel::Video);
        QTest::newRow("capitalised type") << layoutJson(1, 1, {cellJson(0, 0, 1, 1, "\"type\":\"Video\"")}) << 1 << 0
                                          << "" << int(LayoutModel::InvalidType);
        QTest::newRow("type not a string")
            << layoutJson(1, 1, {cellJson(0, 0, 1, 1, "\"type\":1")}) << 1 << 0 << "" << int(LayoutModel::InvalidType);
        QTest::newRow("negative grid") << layoutJson(-3, 0, {cellJson(-1, 9, 0, -2, "\"type\":\"alarm\"")}) << -3 << -1
                                       << "" << int(LayoutModel::Alarm);
    }

    void valuesOfTheWrongKind()
    {
        QFETCH(QString, json);
        QFETCH(int, numRows);
        QFETCH(int, row);
        QFETCH(QString, objectId);
        QFETCH(int, type);
        auto model = newModel();
        model->fromJson(json);
        QCOMPARE(model->numRows(), numRows);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data(LayoutModel::RowRole).toInt(), row);
        QCOMPARE(model->index(0, 0).data(LayoutModel::ObjectIdRole).toString(), objectId);
        QCOMPARE(model->index(0, 0).data(LayoutModel::TypeRole).toInt(), type);
    }

    void signalOrderEvenWhenUnchanged()
    {
        auto model = newModel();
        QStringList order;
        connect(model.get(), &LayoutModel::numRowsChanged, this, [&] { order << "numRows"; });
        connect(model.get(), &LayoutModel::numColsChanged, this, [&] { order << "numCols"; });
        connect(model.get(), &QAbstractItemModel::modelAboutToBeReset, this, [&] { order << "aboutToReset"; });
        connect(model.get(), &QAbstractItemModel::modelReset, this, [&] { order << "reset"; });
        const QString json = layoutJson(1, 1, {cellJson(0, 0, 1, 1, "\"type\":\"video\"")});
        model->fromJson(json);
        model->fromJson(json);
        QCOMPARE(order, (QStringList{"numRows", "numCols", "aboutToReset", "reset", "numRows", "numCols",
                                     "aboutToReset", "reset"}));
    }

    void propertyWritesNotifyOnlyOnChange()
    {
        LayoutModel model;
        QSignalSpy cols(&model, &LayoutModel::numColsChanged);
        model.setNumCols(1);
        QCOMPARE(cols.count(), 0);
        model.setNumCols(3);
        model.setNumCols(3);
        QCOMPARE(cols.count(), 1);
        QCOMPARE(model.numCols(), 3);
    }

    void urlRole_data()
    {
        QTest::addColumn<QString>("objectId");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("line");
        QTest::newRow("expanded") << "12"
                                  << "a=1;b=2"
                                  << "URL: \"a=1;b=2\"";
        QTest::newRow("lavfi source") << "10"
                                      << "av://lavfi:testsrc2=size=64x64;x"
                                      << "URL: \"av://lavfi:testsrc2=size=64x64;x\"";
        QTest::newRow("no url setting") << "11"
                                        << ""
                                        << "settings don't have url, id: \"11\"";
        QTest::newRow("unknown object") << "999"
                                        << ""
                                        << "object not found, id: \"999\"";
        QTest::newRow("empty id") << ""
                                  << ""
                                  << "object not found, id: \"\"";
    }

    void urlRole()
    {
        QFETCH(QString, objectId);
        QFETCH(QString, url);
        QFETCH(QString, line);
        auto model = newModel();
        model->fromJson(layoutJson(
            1, 1, {cellJson(0, 0, 1, 1, QStringLiteral("\"type\":\"video\",\"objectId\":\"%1\"").arg(objectId))}));
        LogCapture log;
        QCOMPARE(model->index(0, 0).data(LayoutModel::UrlRole).toString(), url);
        QVERIFY2(log.lines(QtDebugMsg).contains(line), qPrintable(log.lines().join('\n')));
        // Computed at every read, so a changed setting shows at the next read.
        if (objectId == QLatin1String("11")) {
            m_repository.findById("11")->settings()->insert("url", "x{SMC}");
            QCOMPARE(model->index(0, 0).data(LayoutModel::UrlRole).toString(), QStringLiteral("x;"));
        }
    }

    // The sub-stream's URL is expanded as the main one; sizes are the settings' own texts, read
    // at every read as the URL is.
    void subStreamRoles()
    {
        auto model = newModel();
        model->fromJson(layoutJson(1, 2,
                                   {cellJson(0, 0, 1, 1, QStringLiteral("\"type\":\"video\",\"objectId\":\"12\"")),
                                    cellJson(0, 1, 1, 1, QStringLiteral("\"type\":\"alarm\",\"objectId\":\"12\""))}));
        const QModelIndex camera = model->index(0, 0);
        QCOMPARE(camera.data(LayoutModel::SubUrlRole).toString(), QString());
        QCOMPARE(camera.data(LayoutModel::SubSizeRole).toString(), QString());
        auto settings = m_repository.findById("12")->settings();
        settings->insert("subUrl", "av://lavfi:testsrc2{EQU}size{EQU}640x360");
        settings->insert("size", "1920x1080");
        settings->insert("subSize", "640x360");
        QCOMPARE(camera.data(LayoutModel::SubUrlRole).toString(), QStringLiteral("av://lavfi:testsrc2=size=640x360"));
        QCOMPARE(camera.data(LayoutModel::SizeRole).toString(), QStringLiteral("1920x1080"));
        QCOMPARE(camera.data(LayoutModel::SubSizeRole).toString(), QStringLiteral("640x360"));
        QCOMPARE(camera.data(LayoutModel::UrlRole).toString(), QStringLiteral("a=1;b=2"));
        // Only a camera cell has streams.
        QCOMPARE(model->index(1, 0).data(LayoutModel::SubUrlRole).toString(), QString());
        // The repository is the other tests' too.
        settings->insert("subUrl", "");
        settings->insert("size", "");
        settings->insert("subSize", "");
    }

    void doorPairing()
    {
        auto model = newModel();
        LogCapture log;
        model->fromJson(layoutJson(1, 3,
                                   {cellJson(0, 0, 1, 1, "\"type\":\"door\",\"objectId\":\"20\""),
                                    cellJson(0, 1, 1, 1, "\"type\":\"door\",\"objectId\":\"21\""),
                                    cellJson(0, 2, 1, 1, "\"type\":\"door\",\"objectId\":\"77\"")}));
        // Two door actuators share the sensor's layout value: the lowest id wins, every time.
        QCOMPARE(model->index(0, 0).data(LayoutModel::ActuatorIdRole).toString(), QStringLiteral("31"));
        QCOMPARE(model->index(1, 0).data(LayoutModel::ActuatorIdRole).toString(), QString());
        QCOMPARE(model->index(2, 0).data(LayoutModel::ActuatorIdRole).toString(), QString());
        QCOMPARE(log.count("layout: \"D1\" , actrLayout: \"D1\""), 1);
        QCOMPARE(log.count("Requesting actr value for \"31\""), 1);
        QCOMPARE(log.lines(QtDebugMsg).filter("Requesting actr value").size(), 1);
    }

    void doorWithoutRepositoryOrClient()
    {
        LayoutModel model;
        model.fromJson(layoutJson(1, 1, {cellJson(0, 0, 1, 1, "\"type\":\"door\",\"objectId\":\"20\"")}));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 0).data(LayoutModel::ActuatorIdRole).toString(), QString());
        LogCapture log;
        QCOMPARE(model.index(0, 0).data(LayoutModel::UrlRole).toString(), QString());
        QVERIFY(log.contains("object not found, id: \"20\""));
    }
};

QTEST_GUILESS_MAIN(TestLayoutModel)
#include "tst_layoutmodel.moc"
