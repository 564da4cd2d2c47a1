// SPDX-License-Identifier: MIT
#include "playbacktime.h"

#include <cmath>

#include <QDateTime>

namespace PlaybackTime {

namespace {
// From a day's start, a day and a half reaches into the next day however long the day is.
constexpr qint64 DayAndAHalfMs = 36 * 3600 * 1000;
} // namespace

qreal startOfDay(qreal ms)
{
    const QDate date = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(ms)), Qt::LocalTime).date();
    return qreal(date.startOfDay(Qt::LocalTime).toMSecsSinceEpoch());
}

qreal endOfDay(qreal dayStart)
{
    return startOfDay(dayStart + DayAndAHalfMs);
}

QList<qreal> parseSpeeds(const QVariantList& values)
{
    QList<qreal> speeds;
    for (const QVariant& value : values) {
        bool ok = false;
        const qreal speed = value.toDouble(&ok);
        if (ok && speed > 0)
            speeds << speed;
    }
    return speeds;
}

QVariantList speedsToVariant(const QList<qreal>& speeds)
{
    QVariantList list;
    for (qreal speed : speeds)
        list << speed;
    return list;
}

int nearestSpeedIndex(const QList<qreal>& speeds, qreal speed)
{
    int best = 0;
    for (int i = 0; i < speeds.size(); ++i)
        if (std::abs(speeds.at(i) - speed) < std::abs(speeds.at(best) - speed))
            best = i;
    return best;
}

} // namespace PlaybackTime
