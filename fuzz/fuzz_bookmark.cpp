// SPDX-License-Identifier: MIT
// A stream's dynamic attribute as a station reads it for bookmarks: the first byte picks the
// attribute's name (one of ours or another use), the rest is its value. Whatever is read back as a
// bookmark must survive being written and read again unchanged.
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>

#include "bookmark.h"

static void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;
    if (size == 0)
        return 0;
    static const QString names[] = {QStringLiteral("bookmark.a1"), QStringLiteral("bookmark."), QStringLiteral("2x2")};
    const QString name = names[data[0] % 3];
    const QByteArray value(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    QString why;
    const std::optional<Bookmark> read = Bookmark::fromAttribute(QStringLiteral("3"), name, value, &why);
    if (!read) {
        if (why.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    if (read->endMs < read->startMs || read->title.trimmed().isEmpty())
        std::abort();
    const std::optional<Bookmark> again = Bookmark::fromAttribute(QStringLiteral("3"), name, read->toJson(), &why);
    if (!again || again->startMs != read->startMs || again->endMs != read->endMs || again->title != read->title ||
        again->note != read->note || again->author != read->author || again->createdMs != read->createdMs)
        std::abort();
    return 0;
}
