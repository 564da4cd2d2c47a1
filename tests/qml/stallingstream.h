// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

class QTcpSocket;

// A live camera stream over HTTP for the tests: an MPEG-TS file made with ffmpeg, sent to every
// client at a little above its own rate. It can stall (send nothing more, yet keep every
// connection open and accept new ones), resume, or end all streams.
class StallingStream : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url READ url NOTIFY urlChanged)
    Q_PROPERTY(int requests READ requests NOTIFY requestsChanged)
    Q_PROPERTY(bool stalled READ stalled WRITE setStalled NOTIFY stalledChanged)
    Q_PROPERTY(QString errorString READ errorString CONSTANT)

public:
    explicit StallingStream(QObject* parent = nullptr);
    ~StallingStream() override;

    // Makes the stream file and starts listening; false, with errorString, when either fails.
    Q_INVOKABLE bool start();
    // Closes every connection, so that players see the end of the stream.
    Q_INVOKABLE void endStreams();

    QString url() const;
    int requests() const { return m_requests; }
    bool stalled() const { return m_stalled; }
    void setStalled(bool stalled);
    QString errorString() const { return m_error; }

signals:
    void urlChanged();
    void requestsChanged();
    void stalledChanged();

private:
    struct Client
    {
        QTcpSocket* socket = nullptr;
        QByteArray request;
        bool answered = false;
        int offset = 0;
    };

    bool makeStream();
    void accept();
    void readRequest(QTcpSocket* socket);
    void sendTick();
    Client* find(QTcpSocket* socket);

    QTemporaryDir m_dir;
    QByteArray m_stream;
    int m_bytesPerTick = 0;
    QTcpServer m_server;
    QList<Client> m_clients;
    QTimer m_ticker;
    int m_requests = 0;
    bool m_stalled = false;
    QString m_error;
};
