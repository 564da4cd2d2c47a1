// SPDX-License-Identifier: MIT
// Small helpers of the interface tests: free ports, files, the visual tree.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QString>
#include <QStringList>
#include <QTcpServer>

namespace uitest {

// A port nobody listens on now. Another program could take it before we do; the tests then fail
// with the simulator's "address in use" message rather than hang.
inline int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Ports that stay free for a moment: all probes are held open until every port is known.
inline QList<int> freePorts(int count)
{
    QList<QTcpServer*> probes;
    QList<int> ports;
    for (int i = 0; i < count; ++i) {
        auto* probe = new QTcpServer;
        if (probe->listen(QHostAddress::LocalHost, 0))
            ports << probe->serverPort();
        probes << probe;
    }
    qDeleteAll(probes);
    return ports;
}

inline bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

inline QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

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

} // namespace uitest
