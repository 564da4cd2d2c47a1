// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// What the events room reads from config.ini ("Events/..."), with its defaults.
struct EventsSettings
{
    static constexpr int defaultKeepCount = 200000;
    static constexpr int largestKeepCount = 10000000;
    static constexpr int defaultKeepDays = 90;
    static constexpr int largestKeepDays = 3650;
    static constexpr int defaultAlarmPriority = 50;
    static constexpr int defaultPreRollSeconds = 10;
    static constexpr int largestPreRollSeconds = 3600;

    int keepCount = defaultKeepCount;
    int keepDays = defaultKeepDays;
    int alarmPriority = defaultAlarmPriority;
    int preRollSeconds = defaultPreRollSeconds;
    // The journal's database file; empty keeps the journal in memory only.
    QString databasePath = QStringLiteral("data.sqlite");
    bool sound = true;

    // Each key must be a whole number in its range; missing, the default; anything else, the
    // default with a warning in the log.
    static EventsSettings fromConfig(const QString& configPath);
};
