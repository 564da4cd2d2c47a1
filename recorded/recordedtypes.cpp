// SPDX-License-Identifier: MIT
#include "recordedtypes.h"

#include <QtQml>

#include "bookmarkstore.h"
#include "chunkexporter.h"
#include "chunklistmodel.h"
#include "chunkspans.h"
#include "postrack.h"
#include "recordedsession.h"
#include "timelinebar.h"

void registerRecordedTypes()
{
    qmlRegisterType<ChunkSpans>("Native", 1, 0, "ChunkSpans");
    qmlRegisterType<ChunkListModel>("Native", 1, 0, "ChunkListModel");
    qmlRegisterType<TimelineBar>("Native", 1, 0, "TimelineBar");
    qmlRegisterType<PosTrack>("Native", 1, 0, "PosTrack");
    qmlRegisterType<ChunkExporter>("Native", 1, 0, "ChunkExporter");
    qmlRegisterUncreatableType<BookmarkStore>("Native", 1, 0, "BookmarkStore",
                                              QStringLiteral("the recorded page's session has the bookmarks"));
    qmlRegisterType<RecordedSession>("Native", 1, 0, "RecordedSession");
}
