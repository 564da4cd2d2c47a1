// SPDX-License-Identifier: MIT
#include "bookmark.h"

#include <cmath>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QUuid>

namespace {

const QString NamePrefix = QStringLiteral("bookmark.");
constexpr int FormatVersion = 1;
// Times are ms since the epoch; JSON numbers are doubles, exact up to 2^53.
constexpr double LargestExactMs = 9007199254740992.0;

bool readTime(const QJsonObject& object, const QString& key, qint64* ms)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > LargestExactMs || std::floor(number) != number)
        return false;
    *ms = qint64(number);
    return true;
}

bool readText(const QJsonObject& object, const QString& key, bool required, QString* text)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() && !required)
        return true;
    if (!value.isString())
        return false;
    *text = value.toString();
    return true;
}

} // namespace

bool Bookmark::isBookmarkName(const QString& attributeName)
{
    return attributeName.startsWith(NamePrefix) && attributeName.size() > NamePrefix.size();
}

QString Bookmark::newId()
{
    return NamePrefix + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray Bookmark::toJson() const
{
    const QJsonObject object{
        {QStringLiteral("bookmark"), FormatVersion},
        {QStringLiteral("start"), double(startMs)},
        {QStringLiteral("end"), double(endMs)},
        {QStringLiteral("title"), title},
        {QStringLiteral("note"), note},
        {QStringLiteral("author"), author},
        {QStringLiteral("created"), double(createdMs)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Bookmark> Bookmark::fromAttribute(const QString& streamId, const QString& name, const QByteArray& value,
                                                QString* why)
{
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::optional<Bookmark>();
    };
    if (!isBookmarkName(name))
        return refuse(QStringLiteral("not a bookmark's name"));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(value, &error);
    if (error.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("not JSON: %1").arg(error.errorString()));
    if (!document.isObject())
        return refuse(QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();
    // A later format may add members; a different version may mean something else.
    if (object.value(QStringLiteral("bookmark")).toInt(-1) != FormatVersion)
        return refuse(QStringLiteral("no \"bookmark\": %1").arg(FormatVersion));
    Bookmark bookmark;
    bookmark.id = name;
    bookmark.streamId = streamId;
    if (!readTime(object, QStringLiteral("start"), &bookmark.startMs))
        return refuse(QStringLiteral("no valid \"start\""));
    bookmark.endMs = bookmark.startMs;
    if (object.contains(QStringLiteral("end")) && !readTime(object, QStringLiteral("end"), &bookmark.endMs))
        return refuse(QStringLiteral("no valid \"end\""));
    if (bookmark.endMs < bookmark.startMs)
        return refuse(QStringLiteral("\"end\" before \"start\""));
    if (!readText(object, QStringLiteral("title"), true, &bookmark.title) ||
        !readText(object, QStringLiteral("note"), false, &bookmark.note) ||
        !readText(object, QStringLiteral("author"), false, &bookmark.author))
        return refuse(QStringLiteral("\"title\", \"note\" or \"author\" is not text"));
    const QString texts = checkTexts(bookmark.title, bookmark.note);
    if (!texts.isEmpty())
        return refuse(texts);
    if (object.contains(QStringLiteral("created")) && !readTime(object, QStringLiteral("created"), &bookmark.createdMs))
        return refuse(QStringLiteral("no valid \"created\""));
    return bookmark;
}

QString Bookmark::checkTexts(const QString& title, const QString& note)
{
    if (title.trimmed().isEmpty())
        return QStringLiteral("the title is empty");
    if (title.size() > MaxTitleLength)
        return QStringLiteral("the title is longer than %1 characters").arg(MaxTitleLength);
    if (note.size() > MaxNoteLength)
        return QStringLiteral("the note is longer than %1 characters").arg(MaxNoteLength);
    return QString();
}
