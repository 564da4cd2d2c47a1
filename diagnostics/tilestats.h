// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QFile>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

class LayoutList;

// What the environment asks of the diagnostics, all of it off when unset:
//   STATION_TILE_STATS_MS=N          every N ms, a sample of every video item (its frame counters
//                                    and where it lies in its window) to the statistics file
//   STATION_TILE_STATS_FILE=PATH     the statistics file, made anew at start-up. Both are needed:
//                                    one without the other gives a warning and no statistics
//   STATION_WINDOW_GEOMETRY=WxH+X+Y  places the client's window once it exists (a benchmark wants
//                                    tiles of a known size whatever the window manager does)
struct TileDiagnosticsSettings
{
    int statsIntervalMs = 0; // 0: no statistics
    QString statsFile;
    QRect windowGeometry; // null: the window stays where the window manager puts it

    // Warns in the log about every value it cannot use.
    static TileDiagnosticsSettings fromEnvironment();
};

// Samples every video item of the application's windows, and writes the samples, the recorded
// page's time bar (where it is and what it shows, for a benchmark that clicks on it) and the
// moments the layout list gets rows to a file of its own (the records of tilestatsrecord.h), so
// that the benchmarks never need to read the client's log for their figures.
class TileStats : public QObject
{
    Q_OBJECT

public:
    TileStats(const QString& filePath, int intervalMs, QObject* parent = nullptr);
    ~TileStats() override;

    // Makes the file anew and starts sampling; false, with a warning, when the file cannot be made.
    bool start();
    void watchLayouts(LayoutList* list);
    // One sample now.
    void sample();

private:
    void write(const QString& text);

    QFile m_file;
    QTimer m_timer;
    qint64 m_tick = 0;
};

// Installed once at start-up, before the QML loads; does its work once the event loop runs, when the
// window and the controller exist. `layouts` gives the controller's layout list then.
void installTileDiagnostics(std::function<LayoutList*()> layouts);
