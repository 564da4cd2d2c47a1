// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QPoint>
#include <QRect>
#include <QString>
#include <QtGlobal>

struct TileSample;

// What both tile commands report of a tile, the client's and a standalone player's alike.
struct Counters
{
    qint64 frame = 0;
    qint64 drop = 0;
    qint64 decdrop = 0;
    qint64 delayed = 0;
    double pos = 0;
    double vffps = 0;
    qint64 presented = -1; // the client's own count of frames presented; -1 for the players
};

Counters countersOf(const TileSample& sample);

// Where a tile is and what it plays, for the screen readings: its stream's port and its
// rectangle on the screen.
struct Placement
{
    int port = -1;
    QString rect; // X,Y,W,H; empty when not known
};

// One "tile" figure line: what the tile played between `a` and `b`, `spanS` apart.
void emitTile(const QString& who, int index, const Counters& a, const Counters& b, double spanS, const QString& size,
              const Placement& placement);

// After the window: every process in `pids` is stopped for `stallSeconds`, then continued, and
// the screen is read on for `observeSeconds`; one "stall" line.
void stallTest(const QString& who, const std::vector<qint64>& pids, int stallSeconds, int observeSeconds);

// X,Y,W,H; empty for a null rectangle.
QString rectText(const QRect& rect);
// X,Y,W,H from a geometry WxH+X+Y; empty if it is not one.
QString rectOfGeometry(const QString& geometry);
