// SPDX-License-Identifier: MIT
// Whole-file reads and writes for test fixtures.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace testsupport {

inline bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

inline QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace testsupport
