// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QString>
#include <QStringList>
#include <QUrl>

// The command line of bench_live, shared by its commands (main.cpp reads it).
struct LiveOptions
{
    QString client;
    QString log;
    QString stats; // the client's statistics file
    QUrl ipc;
    QString layout;
    QString other;
    QString mpv;
    QStringList urls;
    QStringList geometries;
    int tiles = 0;
    int otherTiles = 0; // of the second layout, those that play
    int seconds = 30;
    int switches = 10;
    int loadTimeoutMs = 30000;
    // Reading the screen, and the stall test after the window (0: none).
    QString screen;
    QString samples;
    int rateHz = 100;
    int stallSeconds = 0;
    int stallObserveSeconds = 15;
    // Full-view rounds after the window (0: none), and the program that double-clicks.
    int fullviewRounds = 0;
    QString clicker;
    // The events command: the simulator's control channel, the client's event statistics, the
    // rates (events a second) and the events' priority.
    QString control;
    QString eventStats;
    std::vector<int> rates;
    int priority = 60;
    // The sync command: seeks on the time bar, where (ms after the day's start), the chunks'
    // length and each camera's offset of its chunk boundaries (camera i has offset i modulo their
    // number), and the file for the clock's anchor lines.
    int seeks = 20;
    qint64 areaMs = 10 * 3600 * 1000;
    int chunkMs = 10000;
    std::vector<int> chunkOffsets;
    QString anchors;
};

class LiveClient;
struct TileStatsTick;

// One source file each; every one returns the process's exit code.
int runTiles(const LiveOptions& options);      // tilescommand.cpp
int runMpvTiles(const LiveOptions& options);   // mpvtilescommand.cpp
int runSwitch(const LiveOptions& options);     // switchcommand.cpp
int runFirstFrame(const LiveOptions& options); // firstframecommand.cpp
int runSignIn(const LiveOptions& options);     // signincommand.cpp
int runEvents(const LiveOptions& options);     // eventscommand.cpp
int runMemory(const LiveOptions& options);     // memorycommand.cpp
int runSync(const LiveOptions& options);       // synccommand.cpp

// The full-view rounds after the tiles' window, in the same client (fullview.cpp); `first` is the
// first tick with every tile loaded.
int runFullView(LiveClient& client, const LiveOptions& options, const TileStatsTick& first);
