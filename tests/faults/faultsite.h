// SPDX-License-Identifier: MIT
// The sites the fault tests play, and a stream server started by a test.
#pragma once

#include <memory>

#include <QByteArray>
#include <QString>
#include <QtTest>

#include "programrun.h"

namespace faults {

constexpr const char* chunkStarts[] = {"1714550400000", "1714550410000", "1714550420000"};

// One gateway with a camera whose live stream comes from `streamUrl`, a door, and three recorded
// chunks of that camera.
inline QByteArray recoverySite(const QString& streamUrl)
{
    QByteArray site = R"({
    "name": "faults",
    "pos": {"rate": 2, "seed": 5},
    "doorDelayMs": 300,
    "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 10, "name": "Gateway", "type": 2, "parent": 1, "className": "device.GATEWAY",
         "gateway": {}, "settings": {"address": "127.0.0.1"}},
        {"id": 11, "name": "Live", "type": 10, "parent": 10, "className": "stream.CAMERA",
         "settings": {"url": "STREAM_URL"}},
        {"id": 20, "name": "Door sensor", "type": 8, "parent": 1, "className": "sensor.DOOR",
         "settings": {"layout": "D1"}, "value": false},
        {"id": 21, "name": "Door actuator", "type": 9, "parent": 1, "className": "actuator.DOOR",
         "settings": {"layout": "D1"}, "value": false}
    ],
    "layouts": {
        "Live": {"numRows": 1, "numCols": 2, "elements": [
            {"row": 0, "col": 0, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Live",
             "deviceId": "10", "objectId": "11"},
            {"row": 0, "col": 1, "rowSpan": 1, "colSpan": 1, "type": "door", "label": "Door",
             "objectId": "20"}
        ]}
    },
    "recordings": [
        {"stream": 11, "chunks": [
            {"start": 1714550400000, "end": 1714550410000, "size": 600000},
            {"start": 1714550410000, "end": 1714550420000, "size": 600000},
            {"start": 1714550420000, "end": 1714550430000, "size": 600000}]}
    ]
})";
    site.replace("STREAM_URL", streamUrl.toUtf8());
    return site;
}

// A live MPEG-TS stream over HTTP from ffmpeg processes on one port.
class StreamServer
{
public:
    explicit StreamServer(int port) : m_port(port) {}

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/live.ts").arg(m_port); }

    // Up until kill(): ffmpeg serves one viewer and ends when that viewer leaves (a tile that
    // reloads does so), so a new ffmpeg takes over each time, as a server would take the next
    // connection.
    bool start(const QString& workDir)
    {
        m_workDir = workDir;
        m_up = true;
        if (!launch())
            return false;
        // ffmpeg binds before it opens its input, and serves the first connection only, so no probe
        // can tell when it is ready; a tile that comes too early tries again anyway.
        const int ffmpegOpensItsInput = 700;
        QTest::qWait(ffmpegOpensItsInput);
        return running();
    }

    void kill()
    {
        m_up = false;
        if (!m_run)
            return;
        m_run->process().kill();
        m_run->process().waitForFinished(5000);
    }

    bool running() const { return m_run && m_run->process().state() == QProcess::Running; }

private:
    bool launch()
    {
        m_run = std::make_unique<ProgramRun>();
        QObject::connect(&m_run->process(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                         &m_run->process(), [this] {
                             if (m_up)
                                 QMetaObject::invokeMethod(
                                     QCoreApplication::instance(), [this] { launchIfUp(); }, Qt::QueuedConnection);
                         });
        const QStringList arguments{QStringLiteral("-hide_banner"),
                                    QStringLiteral("-loglevel"),
                                    QStringLiteral("error"),
                                    QStringLiteral("-re"),
                                    QStringLiteral("-f"),
                                    QStringLiteral("lavfi"),
                                    QStringLiteral("-i"),
                                    QStringLiteral("testsrc2=size=320x240:rate=10"),
                                    QStringLiteral("-c:v"),
                                    QStringLiteral("mpeg2video"),
                                    QStringLiteral("-q:v"),
                                    QStringLiteral("5"),
                                    QStringLiteral("-f"),
                                    QStringLiteral("mpegts"),
                                    QStringLiteral("-listen"),
                                    QStringLiteral("1"),
                                    url()};
        return m_run->start(QStringLiteral(FFMPEG_BINARY), arguments, m_workDir);
    }

    void launchIfUp()
    {
        if (m_up && !running())
            launch();
    }

    int m_port = 0;
    bool m_up = false;
    QString m_workDir;
    std::unique_ptr<ProgramRun> m_run;
};

} // namespace faults
