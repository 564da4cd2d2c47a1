// SPDX-License-Identifier: MIT
#include "eventssettings.h"

#include <QSettings>

#include "eventslog.h"

namespace {

int wholeNumber(const QSettings& config, const QString& configPath, const char* key, int lowest, int highest,
                int fallback)
{
    const QString name = QString::fromLatin1(key);
    const QVariant value = config.value(name);
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (!ok || number < lowest || number > highest) {
        qCWarning(lcEvents).noquote() << QStringLiteral("%1 in %2 must be a whole number from %3 to %4, not \"%5\": "
                                                        "using %6")
                                             .arg(name, configPath)
                                             .arg(lowest)
                                             .arg(highest)
                                             .arg(value.toString())
                                             .arg(fallback);
        return fallback;
    }
    return number;
}

} // namespace

EventsSettings EventsSettings::fromConfig(const QString& configPath)
{
    const QSettings config(configPath, QSettings::IniFormat);
    EventsSettings settings;
    settings.keepCount = wholeNumber(config, configPath, "Events/keepCount", 1, largestKeepCount, defaultKeepCount);
    settings.keepDays = wholeNumber(config, configPath, "Events/keepDays", 1, largestKeepDays, defaultKeepDays);
    settings.alarmPriority = wholeNumber(config, configPath, "Events/alarmPriority", 0, 100, defaultAlarmPriority);
    settings.preRollSeconds =
        wholeNumber(config, configPath, "Events/preRollSeconds", 0, largestPreRollSeconds, defaultPreRollSeconds);
    return settings;
}
