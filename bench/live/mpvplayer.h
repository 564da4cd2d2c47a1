// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonValue>
#include <QLocalSocket>
#include <QProcess>
#include <QString>

#include "tilefigures.h"

// A standalone mpv, the baseline of the client's tiles, driven through its JSON IPC socket.
class MpvPlayer
{
public:
    MpvPlayer(const QString& program, const QString& socketPath, const QString& url, const QString& geometry);
    ~MpvPlayer();

    bool start();
    // Connects to the IPC socket as soon as it exists.
    bool connect(int timeoutMs);
    QJsonValue get(const QString& property, int timeoutMs = 2000);
    bool loaded();
    // The counters a tile's figures are made of.
    Counters counters();
    // Watches the displayed size and returns when the first frame's size is known (as a tile's
    // "videoLoaded"), in ms since the process start; -1 on time-out.
    qint64 waitFirstFrame(int timeoutMs);

    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QString m_socketPath;
    QProcess m_process;
    QLocalSocket m_socket;
    qint64 m_startMs = 0;
    int m_requestId = 0;
};
