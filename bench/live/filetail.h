// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>

// A file that another process writes, read as it grows: whole lines only, a partial last line
// waits for the rest. The file may appear later.
class FileTail
{
public:
    explicit FileTail(const QString& path) : m_file(path) {}

    // The lines completed since the last call.
    QStringList poll();
    QString path() const { return m_file.fileName(); }

private:
    QFile m_file;
    QByteArray m_pending;
};
