// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QVariantList>

// What one camera's playback and several cameras in step measure time by: the days they show
// and the speeds they offer.
namespace PlaybackTime {

// The local midnight at or before the moment (ms since the epoch).
qreal startOfDay(qreal ms);
// The local midnight after the day that starts at dayStart: 23 or 25 hours on when clocks change.
qreal endOfDay(qreal dayStart);

// The positive numbers among the values, in their order; empty when there are none.
QList<qreal> parseSpeeds(const QVariantList& values);
QVariantList speedsToVariant(const QList<qreal>& speeds);
// The index of the speed nearest to the one asked for.
int nearestSpeedIndex(const QList<qreal>& speeds, qreal speed);

} // namespace PlaybackTime
