// SPDX-License-Identifier: MIT
// The visual tree as tests see it: items by object name, clicks on them, a camera view's POS lines.
#pragma once

#include <QList>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QStringList>
#include <QTest>

namespace testsupport {

// Items of the visual tree below `root` with the given object name, in tree order.
inline QList<QQuickItem*> itemsNamed(QQuickItem* root, const QString& name)
{
    QList<QQuickItem*> found;
    if (!root)
        return found;
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        if (child->objectName() == name)
            found << child;
        found << itemsNamed(child, name);
    }
    return found;
}

inline QQuickItem* firstNamed(QQuickItem* root, const QString& name)
{
    const auto items = itemsNamed(root, name);
    return items.isEmpty() ? nullptr : items.first();
}

inline QQuickItem* firstNamed(QQuickWindow* window, const QString& name)
{
    return window ? firstNamed(window->contentItem(), name) : nullptr;
}

// A left click in the middle of an item, as the operator's mouse gives it.
inline void clickCentre(QQuickItem* item, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    if (!item || !item->window())
        return;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(item->window(), Qt::LeftButton, modifiers, centre.toPoint());
}

// The POS lines a camera view holds, oldest first.
inline QStringList posLinesOf(QObject* camera)
{
    if (!camera)
        return {};
    QQmlExpression lines(qmlContext(camera), camera,
                         QStringLiteral("(function () { var a = []; for (var i = 0; i < posLines.count; ++i)"
                                        " a.push(posLines.get(i).label); return a; })()"));
    return lines.evaluate().toStringList();
}

} // namespace testsupport
