// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// What a recipient of an export needs to check it: where it came from (station, operator, server,
// camera), the span and the recorded chunks it was joined from, and the SHA-256 of each file.
// Written as JSON beside the files ("NAME.manifest.json" beside "NAME.mp4"); each file's entry
// carries the very line `sha256sum -c` reads, so that standard tools check it (see the README).
struct ExportManifest
{
    struct File
    {
        QString name; // in the manifest's folder
        QString camera;
        QString streamId;
        QString deviceId;
        // The chunks as the gateway names them: stream id, start and end.
        QStringList chunks;
        qint64 bytes = 0;
        QByteArray sha256; // hex
    };
    // A camera of the export that has no file: nothing recorded in the span, or its export
    // failed; written only when there is one.
    struct Missing
    {
        QString camera;
        QString streamId;
        QString deviceId;
        QStringList chunks;
        QString reason;
    };

    QString station;
    QString operatorName;
    QString server;
    qint64 fromMs = 0;
    qint64 toMs = 0;
    QDateTime created;
    QVector<File> files;
    QVector<Missing> missing;

    QByteArray toJson() const;
    // Written whole or not at all; false with error set.
    bool write(const QString& path, QString* error) const;

    // "NAME.manifest.json" beside "NAME.mp4".
    static QString pathFor(const QString& mediaPath);
    // The hex SHA-256 of a file, empty (with error set) when it cannot be read or cancel is set.
    static QByteArray sha256Of(const QString& path, qint64* bytes, QString* error,
                               const std::atomic_bool* cancel = nullptr);
    // The chunk's name in a gateway media URL (its last path segment); the text itself otherwise.
    static QString chunkIdOf(const QString& url);
};
