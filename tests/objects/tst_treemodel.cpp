// SPDX-License-Identifier: MIT
#include <memory>

#include <QAbstractItemModelTester>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtTest>

#include "objectstypes.h"
#include "treemodel.h"
#include "treenode.h"

namespace {

QAbstractItemModel* childModel(const QAbstractItemModel* model, int row)
{
    return model->index(row, 0).data(TreeModel::ChildItemsRole).value<QAbstractItemModel*>();
}

// Label B alone; label C with an empty child list; both under A.
QVariantMap nestedExample()
{
    return QVariantMap{
        {QStringLiteral("label"), QStringLiteral("A")},
        {QStringLiteral("icon"), QStringLiteral("qrc:/images/folder.svg")},
        {QStringLiteral("childItems"),
         QVariantList{
             QVariantMap{{QStringLiteral("label"), QStringLiteral("B")}},
             QVariantMap{{QStringLiteral("label"), QStringLiteral("C")},
                         {QStringLiteral("childItems"), QVariantList()}},
         }},
    };
}

} // namespace

class tst_TreeModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerObjectsTypes(); }

    void nestedMaps();
    void ignoredKeys_data();
    void ignoredKeys();
    void expandedIsTheOnlyWritableRole_data();
    void expandedIsTheOnlyWritableRole();
    void qmlBuildsTree();
};

void tst_TreeModel::nestedMaps()
{
    TreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    QVERIFY(model.insertRow(nestedExample()));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 0);
    QCOMPARE(model.rowCount(), 1);

    const QModelIndex a = model.index(0, 0);
    QCOMPARE(a.data(TreeModel::LabelRole).toString(), QStringLiteral("A"));
    QCOMPARE(a.data(Qt::DisplayRole), a.data(TreeModel::LabelRole));
    QCOMPARE(a.data(TreeModel::IconRole).toString(), QStringLiteral("qrc:/images/folder.svg"));
    QCOMPARE(a.data(TreeModel::LevelRole).toInt(), 0);
    QCOMPARE(a.data(TreeModel::ExpandedRole).toBool(), false);
    // Rows of a level never have children of their own in the model.
    QCOMPARE(model.rowCount(a), 0);

    QAbstractItemModel* level1 = childModel(&model, 0);
    QVERIFY(level1);
    QAbstractItemModelTester childTester(level1, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(level1->rowCount(), 2);
    QCOMPARE(level1->index(0, 0).data(TreeModel::LabelRole).toString(), QStringLiteral("B"));
    QCOMPARE(level1->index(1, 0).data(TreeModel::LabelRole).toString(), QStringLiteral("C"));
    QCOMPARE(level1->index(0, 0).data(TreeModel::LevelRole).toInt(), 1);
    QCOMPARE(level1->index(1, 0).data(TreeModel::LevelRole).toInt(), 1);

    // B has no child list at all; C has one that is empty.
    const QVariant bChildren = level1->index(0, 0).data(TreeModel::ChildItemsRole);
    QVERIFY(bChildren.isValid());
    QVERIFY(!bChildren.value<QAbstractItemModel*>());
    QAbstractItemModel* cChildren = childModel(level1, 1);
    QVERIFY(cChildren);
    QCOMPARE(cChildren->rowCount(), 0);
    QCOMPARE(static_cast<TreeModel*>(cChildren)->level(), 2);

    // A second top row goes below the first.
    QVERIFY(model.insertRow(QVariantMap{{QStringLiteral("label"), QStringLiteral("D")}}));
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("D"));
    QCOMPARE(childModel(&model, 0), level1);
}

void tst_TreeModel::ignoredKeys_data()
{
    QTest::addColumn<QVariantMap>("map");
    QTest::addColumn<QString>("label");

    QTest::newRow("id, level and expanded") << QVariantMap{{QStringLiteral("label"), QStringLiteral("L")},
                                                           {QStringLiteral("id"), QStringLiteral("42")},
                                                           {QStringLiteral("level"), 5},
                                                           {QStringLiteral("expanded"), true}}
                                            << QStringLiteral("L");
    QTest::newRow("empty map") << QVariantMap() << QString();
    QTest::newRow("number label") << QVariantMap{{QStringLiteral("label"), 7}} << QStringLiteral("7");
}

void tst_TreeModel::ignoredKeys()
{
    QFETCH(QVariantMap, map);
    QFETCH(QString, label);

    TreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.insertRow(map));
    const QModelIndex index = model.index(0, 0);
    QCOMPARE(index.data(TreeModel::LabelRole).toString(), label);
    QCOMPARE(index.data(TreeModel::IdRole).toString(), QString());
    QCOMPARE(index.data(TreeModel::LevelRole).toInt(), 0);
    QCOMPARE(index.data(TreeModel::ExpandedRole).toBool(), false);
    QVERIFY(!childModel(&model, 0));

    // A list element that is not a map is still a node, with nothing set.
    TreeModel withStrayItem;
    withStrayItem.insertRow(QVariantMap{{QStringLiteral("childItems"), QVariantList{QStringLiteral("text"), 3}}});
    QAbstractItemModel* children = childModel(&withStrayItem, 0);
    QVERIFY(children);
    QCOMPARE(children->rowCount(), 2);
    QCOMPARE(children->index(0, 0).data().toString(), QString());
}

void tst_TreeModel::expandedIsTheOnlyWritableRole_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("expanded");
    QTest::addColumn<int>("expandedSignals");

    QTest::newRow("expand") << int(TreeModel::ExpandedRole) << QVariant(true) << true << true << 1;
    QTest::newRow("same value") << int(TreeModel::ExpandedRole) << QVariant(false) << true << false << 0;
    QTest::newRow("text value") << int(TreeModel::ExpandedRole) << QVariant(QStringLiteral("true")) << true << true
                                << 1;
    QTest::newRow("invalid value") << int(TreeModel::ExpandedRole) << QVariant() << false << false << 0;
    QTest::newRow("label") << int(TreeModel::LabelRole) << QVariant(QStringLiteral("X")) << false << false << 0;
    QTest::newRow("edit role") << int(Qt::EditRole) << QVariant(true) << false << false << 0;
}

void tst_TreeModel::expandedIsTheOnlyWritableRole()
{
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(bool, expanded);
    QFETCH(int, expandedSignals);

    TreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.insertRow(QVariantMap{{QStringLiteral("label"), QStringLiteral("A")}});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy nodeChanged(model.node(0), &TreeNode::expandedChanged);

    const QModelIndex index = model.index(0, 0);
    QCOMPARE(model.setData(index, value, role), accepted);
    QCOMPARE(index.data(TreeModel::ExpandedRole).toBool(), expanded);
    QCOMPARE(index.data(TreeModel::LabelRole).toString(), QStringLiteral("A"));
    QCOMPARE(nodeChanged.count(), expandedSignals);
    // The model reports an accepted write even when the flag kept its value.
    QCOMPARE(changed.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(changed.at(0).at(0).toModelIndex(), index);
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{TreeModel::ExpandedRole});
    }

    // Out of range indexes are refused.
    QVERIFY(!model.setData(model.index(1, 0), true, TreeModel::ExpandedRole));
    QVERIFY(!model.data(model.index(1, 0), TreeModel::LabelRole).isValid());
}

void tst_TreeModel::qmlBuildsTree()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.0\n"
                      "import Native 1.0\n"
                      "QtObject {\n"
                      "    property TreeModel tree: TreeModel {}\n"
                      "    property TreeNode node: TreeNode { label: 'n' }\n"
                      "    Component.onCompleted: tree.insertRow({ label: 'Top', childItems: [{ label: 'Leaf' }] })\n"
                      "}\n",
                      QUrl());
    std::unique_ptr<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    auto* tree = root->property("tree").value<TreeModel*>();
    QVERIFY(tree);
    QCOMPARE(tree->level(), 0);
    QCOMPARE(tree->roleNames().value(TreeModel::ChildItemsRole), QByteArray("childItems"));
    QCOMPARE(tree->rowCount(), 1);
    QAbstractItemModel* children = childModel(tree, 0);
    QVERIFY(children);
    QCOMPARE(children->index(0, 0).data().toString(), QStringLiteral("Leaf"));
    QCOMPARE(QQmlEngine::objectOwnership(children), QQmlEngine::CppOwnership);
}

QTEST_GUILESS_MAIN(tst_TreeModel)
#include "tst_treemodel.moc"
