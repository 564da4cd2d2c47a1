// SPDX-License-Identifier: MIT
#include "tilerules.h"

#include <QDebug>
#include <QSettings>
#include <QtQml>

TileRules::TileRules(int maxTiles, QObject* parent) : QObject(parent), m_maxTiles(maxTiles) {}

TileRules::Verdict TileRules::verdictFor(bool hasUrl, int cameraOrder, int maxTiles, double widthPixels,
                                         double heightPixels)
{
    if (!hasUrl)
        return NoUrl;
    if (cameraOrder < 0 || cameraOrder >= maxTiles)
        return OverCap;
    // NaN compares false: a size not known yet is no size.
    if (!(widthPixels >= defaultMinimumSidePixels) || !(heightPixels >= defaultMinimumSidePixels))
        return TooSmall;
    return Plays;
}

int TileRules::verdict(bool hasUrl, int cameraOrder, double widthPixels, double heightPixels) const
{
    return verdictFor(hasUrl, cameraOrder, m_maxTiles, widthPixels, heightPixels);
}

int TileRules::maxTilesFromConfig(const QString& configPath)
{
    const QSettings config(configPath, QSettings::IniFormat);
    const QVariant value = config.value(QStringLiteral("Video/maxTiles"));
    if (!value.isValid())
        return defaultMaxTiles;
    bool ok = false;
    const int tiles = value.toString().trimmed().toInt(&ok);
    if (!ok || tiles < 1 || tiles > largestMaxTiles) {
        qWarning().noquote() << QStringLiteral("Video/maxTiles in %1 must be a whole number from 1 to %2, not \"%3\": "
                                               "using %4")
                                    .arg(configPath)
                                    .arg(largestMaxTiles)
                                    .arg(value.toString())
                                    .arg(defaultMaxTiles);
        return defaultMaxTiles;
    }
    return tiles;
}
