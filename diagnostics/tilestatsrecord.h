// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QRect>
#include <QSize>
#include <QString>

// The tile statistics channel, one text line per record, in both directions: the client's hook
// writes these lines, the benchmarks read them back. Times are the monotonic clock in ms
// (QElapsedTimer::msecsSinceReference). The records:
//   tile-stats tick=N t_ms=T tiles=K window=X,Y,W,H     a sample of every video item; K lines follow
//   tile-stats tick=N tile=I size=WxH loaded=0|1 frame= drop= decdrop= delayed= video=WxH pos=
//              vffps= presented= decode=L hwdec=NAME rect=X,Y,W,H path=URL
//                                                       one video item of that sample
//   tile-stats layouts t_ms=T rows=A-B                  the layout list got rows A to B
//   tile-stats timeline t_ms=T rect=X,Y,W,H view=A-B    the recorded page's time bar: where it lies in
//                                                       its window and the moments at its two edges
//                                                       (ms since the epoch), after each tick

// One video item, in device pixels.
struct TileSample
{
    int index = 0;
    QSize size;
    bool loaded = false;
    qint64 frame = 0; // estimated from the container's rate: 0 for a live stream that reports none
    qint64 drop = 0;
    qint64 decdrop = 0;
    qint64 delayed = 0;
    QSize video;
    double pos = 0;
    double vffps = 0;
    qint64 presented = -1; // frames the item presented; -1 when it does not count them
    int decode = -1;       // how much its decoder leaves out (MpvObject::decodeLevel); -1: not known
    QString hwdec;         // the hardware decoder in use, "sw" for software; empty: not known
    QRect rect;            // in its window
    QString path;
};

// The time bar, so that a benchmark can click a moment on it.
struct TimelineSample
{
    qint64 ms = 0;
    QRect rect; // in its window, in device pixels
    qint64 viewStart = 0;
    qint64 viewEnd = 0;
};

struct TileStatsTick
{
    qint64 number = 0;
    qint64 ms = 0;
    int tiles = 0;
    QRect window; // on the screen
    std::vector<TileSample> samples;
};

namespace TileStatsRecord {

// The tick's header line followed by one line per sample, each ending in a line feed.
QString lines(const TileStatsTick& tick);
QString layoutsLine(qint64 ms, int first, int last);
QString timelineLine(const TimelineSample& timeline);

} // namespace TileStatsRecord

// Reads the channel line by line. A tick counts once all its samples have come; lines it does not
// know, and a tick cut short by the next one, are passed over.
class TileStatsReader
{
public:
    void addLine(const QString& line);

    // Complete ticks, in the order they came.
    const std::vector<TileStatsTick>& ticks() const { return m_ticks; }
    // When the layout list got rows, in the order they came.
    const std::vector<qint64>& layoutListings() const { return m_layoutListings; }
    // The time bar as each tick found it, in the order they came.
    const std::vector<TimelineSample>& timelines() const { return m_timelines; }

private:
    std::vector<TileStatsTick> m_ticks;
    std::vector<qint64> m_layoutListings;
    std::vector<TimelineSample> m_timelines;
    TileStatsTick m_pending;
    bool m_hasPending = false;
};
