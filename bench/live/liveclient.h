// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include <QProcess>
#include <QString>
#include <QUrl>

#include "clientlog.h"
#include "filetail.h"
#include "tilestatsrecord.h"

class QRemoteObjectNode;
class client_ServiceReplica;

// The real client, started here so that its start time, its pid and its whole life are known, with
// a replica of its remote interface. Its log and its statistics file are read as they grow; the
// statistics file is given to it in STATION_TILE_STATS_FILE (the interval, STATION_TILE_STATS_MS,
// comes from the caller's environment).
class LiveClient
{
public:
    LiveClient(const QString& program, const QString& logPath, const QString& statsPath, const QUrl& ipc);
    ~LiveClient();

    bool start();
    // Waits for the sign-in and the layout list (and asks for them, should the replica have
    // connected late).
    bool waitForLayouts(int timeoutMs);
    // Returns when the call went out (the monotonic clock, ms), 0 when it could not.
    qint64 setLayout(const QString& name);
    // Shows the recorded page (true) or the live one; false when the replica lost the client.
    bool showRecordedPage(bool recorded);
    void stop();
    // Asks for the sign-in state over the remote interface; the answer comes from the client's GUI
    // thread, so the time until it arrives is how long that thread kept the question waiting.
    void probeResponse();
    // The round trips of the answered probes (ms), in order.
    const std::vector<qint64>& responseTimes() const { return m_responseTimes; }
    std::size_t probesUnanswered() const { return m_probesSent.size(); }

    // Reads what the log and the statistics file have gained.
    void poll();
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    const ClientLog& log() const { return m_log; }
    // The complete statistics ticks so far.
    const std::vector<TileStatsTick>& ticks() const { return m_stats.ticks(); }
    // When the layout list got rows, by the statistics.
    const std::vector<qint64>& layoutListings() const { return m_stats.layoutListings(); }
    // The recorded page's time bar, as the statistics found it.
    const std::vector<TimelineSample>& timelines() const { return m_stats.timelines(); }

    qint64 startMs() const { return m_startMs; }
    qint64 loggedInMs() const { return m_loggedInMs; }
    qint64 layoutsMs() const { return m_layoutsMs; }
    qint64 sourceMs() const { return m_sourceMs; }

private:
    QString m_program;
    ClientLog m_log;
    FileTail m_statsFile;
    TileStatsReader m_stats;
    QUrl m_ipc;
    QProcess m_process;
    std::unique_ptr<QRemoteObjectNode> m_node;
    std::unique_ptr<client_ServiceReplica> m_replica;
    std::map<QString, QString> m_layouts;
    qint64 m_startMs = 0;
    qint64 m_loggedInMs = 0;
    qint64 m_layoutsMs = 0;
    qint64 m_sourceMs = 0;
    std::deque<qint64> m_probesSent;
    std::vector<qint64> m_responseTimes;
};
