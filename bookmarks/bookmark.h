// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

// A moment or span of a camera's recording that an operator marked for colleagues. Kept on the
// server as one dynamic attribute of the stream's object: the name "bookmark.<uuid>", the value a
// JSON object (libvantor/PROTOCOL.md, "Bookmarks").
struct Bookmark
{
    static constexpr int MaxTitleLength = 200;
    static constexpr int MaxNoteLength = 4000;

    QString id; // the attribute's name
    QString streamId;
    qint64 startMs = 0;
    qint64 endMs = 0; // == startMs for a moment
    QString title;
    QString note;
    QString author;
    qint64 createdMs = 0;

    // The attribute names bookmarks use, and a new one.
    static bool isBookmarkName(const QString& attributeName);
    static QString newId();

    // The attribute's value.
    QByteArray toJson() const;
    // A bookmark from an attribute of a stream; nothing, with why set, for an attribute that is
    // not a valid bookmark (its value is then skipped, never trusted in part).
    static std::optional<Bookmark> fromAttribute(const QString& streamId, const QString& name, const QByteArray& value,
                                                 QString* why);

    // Whether a title and a note the operator typed can be stored; why not otherwise.
    static QString checkTexts(const QString& title, const QString& note);
};
