// SPDX-License-Identifier: MIT
// bench_live firstframe: the layout switch's baseline, one standalone mpv from its start to its
// first video size:
//   firstframe ms=M
#include <QTemporaryDir>

#include "commands.h"
#include "livecommon.h"
#include "mpvplayer.h"

int runFirstFrame(const LiveOptions& options)
{
    QTemporaryDir sockets;
    MpvPlayer player(options.mpv, sockets.filePath(QStringLiteral("mpv")), options.urls.value(0),
                     options.geometries.value(0));
    if (!player.start() || !player.connect(10000)) {
        fail(QStringLiteral("cannot start %1 or reach its IPC socket").arg(options.mpv));
        return 1;
    }
    const qint64 firstFrame = player.waitFirstFrame(options.loadTimeoutMs);
    if (firstFrame < 0) {
        fail(QStringLiteral("no first frame within %1 ms").arg(options.loadTimeoutMs));
        return 1;
    }
    emitLine(QStringLiteral("firstframe ms=%1").arg(firstFrame));
    return 0;
}
