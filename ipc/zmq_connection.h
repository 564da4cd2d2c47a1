// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QObject>
#include <QString>

#include <zmq.hpp>

class QSocketNotifier;

// One ZeroMQ socket on the thread's event loop: a read notifier watches the socket's ZMQ_FD handle
// and waiting messages are delivered as messageReceived. No thread and no polling timer.
class zmq_Connection : public QObject
{
    Q_OBJECT

public:
    explicit zmq_Connection(QObject* parent = nullptr);
    ~zmq_Connection() override;

    // Makes and connects the socket and starts watching it; false if that failed.
    bool start();
    // Closes the socket; emits stopped if one was open.
    void stop();

signals:
    void started();
    void stopped();
    void messageReceived(const QString& sender, const QString& message);

protected slots:
    void handleNotifierActivated(int socket);

protected:
    // Delivers every message waiting on the socket.
    virtual void readAll() = 0;
    // Makes m_socket and connects it; false on failure, with the reason logged.
    virtual bool createSocket() = 0;

    // ZMQ_FD is edge-triggered: any operation on the socket may take in the signal for messages
    // that are already waiting. Call after such operations so that nothing waits unread.
    void scheduleRead();

    QString m_address;
    std::shared_ptr<zmq::socket_t> m_socket;

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
    bool m_readScheduled = false;
};
