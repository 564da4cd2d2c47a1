// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

// What a camera cell of a layout may play. A layout comes from the server as text and may hold
// hundreds of cameras; each playing tile is a player with its own threads and buffers, so only
// the first ones play, and only those large enough to be seen.
class TileRules : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int maxTiles READ maxTiles CONSTANT)
    Q_PROPERTY(int minimumSidePixels READ minimumSidePixels CONSTANT)

public:
    enum Verdict {
        Plays = 0,
        NoUrl,    // nothing to play: no player at all
        OverCap,  // beyond the layout's first maxTiles cameras
        TooSmall, // less than minimumSidePixels device pixels wide or high
    };
    Q_ENUM(Verdict)

    static constexpr int defaultMaxTiles = 64;
    static constexpr int largestMaxTiles = 1024;
    static constexpr int defaultMinimumSidePixels = 48;

    explicit TileRules(int maxTiles = defaultMaxTiles, QObject* parent = nullptr);

    int maxTiles() const { return m_maxTiles; }
    int minimumSidePixels() const { return defaultMinimumSidePixels; }

    // cameraOrder: the cell's place among the layout's camera cells, from 0, in the layout's order.
    // The size is the tile's in device pixels.
    static Verdict verdictFor(bool hasUrl, int cameraOrder, int maxTiles, double widthPixels, double heightPixels);
    Q_INVOKABLE int verdict(bool hasUrl, int cameraOrder, double widthPixels, double heightPixels) const;

    // "Video/maxTiles" of the config.ini at configPath: a whole number from 1 to largestMaxTiles.
    // Missing, the default; anything else, the default with a warning in the log.
    static int maxTilesFromConfig(const QString& configPath);

private:
    int m_maxTiles;
};
