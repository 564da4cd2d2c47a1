// SPDX-License-Identifier: MIT
#include "recordedtypes.h"

#include <QtQml>

#include "bookmarkstore.h"
#include "chunkexporter.h"
#include "chunklistmodel.h"
#include "chunkspans.h"
#include "exportcameramodel.h"
#include "multicameraexporter.h"
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
    qmlRegisterType<MultiCameraExporter>("Native", 1, 0, "MultiCameraExporter");
    qmlRegisterUncreatableType<ExportCameraModel>("Native", 1, 0, "ExportCameraModel",
                                                  QStringLiteral("an exporter of several cameras has its cameras"));
    // The recorded page's session has one; the layout page makes its own for the live tiles.
    qmlRegisterType<BookmarkStore>("Native", 1, 0, "BookmarkStore");
    qmlRegisterType<RecordedSession>("Native", 1, 0, "RecordedSession");
}
