// SPDX-License-Identifier: MIT
// Writes config.ini into a folder for the lifetime of a scope and removes it afterwards. Each
// test executable that uses it has a folder of its own, so parallel tests do not meet.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QUrl>

class ScopedConfig
{
public:
    // Beside the running executable, where the companion looks for it.
    explicit ScopedConfig(const QByteArray& contents) : ScopedConfig(QCoreApplication::applicationDirPath(), contents)
    {
    }

    ScopedConfig(const QString& folder, const QByteArray& contents) : m_path(folder + QStringLiteral("/config.ini"))
    {
        QFile::remove(m_path);
        QFile file(m_path);
        m_written = file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    }

    ~ScopedConfig() { QFile::remove(m_path); }

    ScopedConfig(const ScopedConfig&) = delete;
    ScopedConfig& operator=(const ScopedConfig&) = delete;

    static QByteArray forUrl(const QUrl& url) { return "[IPC]\nurl=" + url.toString().toUtf8() + "\n"; }

    bool written() const { return m_written; }
    QString path() const { return m_path; }

private:
    QString m_path;
    bool m_written = false;
};
