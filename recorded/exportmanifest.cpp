// SPDX-License-Identifier: MIT
#include "exportmanifest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

namespace {

QString isoUtc(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

} // namespace

QByteArray ExportManifest::toJson() const
{
    QJsonArray fileEntries;
    for (const File& file : files) {
        fileEntries.append(QJsonObject{
            {QStringLiteral("file"), file.name},
            {QStringLiteral("camera"), file.camera},
            {QStringLiteral("streamId"), file.streamId},
            {QStringLiteral("deviceId"), file.deviceId},
            {QStringLiteral("chunks"), QJsonArray::fromStringList(file.chunks)},
            {QStringLiteral("bytes"), file.bytes},
            {QStringLiteral("sha256"), QString::fromLatin1(file.sha256)},
            // Two spaces between hash and name: the text mode line of sha256sum.
            {QStringLiteral("sha256sum"), QString::fromLatin1(file.sha256) + QStringLiteral("  ") + file.name},
        });
    }
    QJsonObject root{
        {QStringLiteral("manifest"), 1},
        {QStringLiteral("station"), station},
        {QStringLiteral("operator"), operatorName},
        {QStringLiteral("server"), server},
        {QStringLiteral("created"), created.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("span"), QJsonObject{{QStringLiteral("fromMs"), fromMs},
                                             {QStringLiteral("toMs"), toMs},
                                             {QStringLiteral("from"), isoUtc(fromMs)},
                                             {QStringLiteral("to"), isoUtc(toMs)}}},
        {QStringLiteral("files"), fileEntries},
    };
    if (!missing.isEmpty()) {
        QJsonArray missingEntries;
        for (const Missing& camera : missing) {
            missingEntries.append(QJsonObject{
                {QStringLiteral("camera"), camera.camera},
                {QStringLiteral("streamId"), camera.streamId},
                {QStringLiteral("deviceId"), camera.deviceId},
                {QStringLiteral("chunks"), QJsonArray::fromStringList(camera.chunks)},
                {QStringLiteral("reason"), camera.reason},
            });
        }
        root.insert(QStringLiteral("notExported"), missingEntries);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ExportManifest::write(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(toJson()) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString ExportManifest::pathFor(const QString& mediaPath)
{
    const QFileInfo info(mediaPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".manifest.json"));
}

QByteArray ExportManifest::sha256Of(const QString& path, qint64* bytes, QString* error, const std::atomic_bool* cancel)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Could not read %1 to hash it: %2").arg(path, file.errorString());
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 total = 0;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        if (cancel && *cancel) {
            if (error)
                *error = QStringLiteral("Hashing cancelled");
            return {};
        }
        const qint64 read = file.read(block.data(), block.size());
        if (read < 0) {
            if (error)
                *error = QStringLiteral("Could not read %1 to hash it: %2").arg(path, file.errorString());
            return {};
        }
        if (read == 0)
            break;
        hash.addData(block.constData(), int(read));
        total += read;
    }
    if (bytes)
        *bytes = total;
    return hash.result().toHex();
}

QString ExportManifest::chunkIdOf(const QString& url)
{
    const QUrl parsed(url);
    const QString path = parsed.isValid() && !parsed.scheme().isEmpty() ? parsed.path() : url;
    const QString name = path.section(QLatin1Char('/'), -1);
    return name.isEmpty() ? url : name;
}
