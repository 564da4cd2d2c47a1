// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include "testhttpserver.h"

// A live camera stream over HTTP for the QML tests: an MPEG-TS file made with ffmpeg, sent by the
// tests' HTTP server to every client at a little above its own rate. It can stall (send nothing
// more, yet keep every connection open and accept new ones), resume, or end all streams.
class StallingStream : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url READ url NOTIFY urlChanged)
    Q_PROPERTY(int requests READ requests NOTIFY requestsChanged)
    Q_PROPERTY(bool stalled READ stalled WRITE setStalled NOTIFY stalledChanged)
    Q_PROPERTY(QString errorString READ errorString CONSTANT)

public:
    explicit StallingStream(QObject* parent = nullptr);

    // Makes the stream file and starts listening; false, with errorString, when either fails.
    Q_INVOKABLE bool start();
    // Closes every connection, so that players see the end of the stream.
    Q_INVOKABLE void endStreams() { m_server.closeConnections(); }

    QString url() const;
    int requests() const { return m_server.requestCount(); }
    bool stalled() const { return m_server.paused(); }
    void setStalled(bool stalled);
    QString errorString() const { return m_error; }

signals:
    void urlChanged();
    void requestsChanged();
    void stalledChanged();

private:
    bool makeStream();

    QTemporaryDir m_dir;
    QByteArray m_stream;
    TestHttpServer m_server;
    QString m_error;
};
