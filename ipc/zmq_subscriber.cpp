// SPDX-License-Identifier: MIT
#include "zmq_subscriber.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QPointer>

#include "zmq_context.h"

namespace {

// A receive error that comes back on every attempt must not keep the event loop here for good.
constexpr int maxReceiveErrors = 16;

// A publisher faster than the handlers must not keep the event loop here either: after this many
// messages or this long, the rest waits for the next turn of the loop (paints and timers first).
constexpr int maxMessagesPerPass = 256;
constexpr qint64 maxPassMs = 20;

QString errorText(const zmq::error_t& error)
{
    return QString::fromLocal8Bit(error.what());
}

} // namespace

zmq_Subscriber::zmq_Subscriber(const QString& address, QObject* parent) : zmq_Connection(parent)
{
    m_address = address;
}

bool zmq_Subscriber::createSocket()
{
    zmq_Context& context = zmq_Context::instance();
    try {
        auto socket = std::make_shared<zmq::socket_t>(context.context(), zmq::socket_type::sub);
        m_socket = socket;
        m_socket->connect(m_address.toUtf8().toStdString());
        // A restarted connection keeps its channels; the new socket needs their filters.
        for (const QString& channel : qAsConst(m_channels)) {
            const QByteArray filter = channel.toLocal8Bit();
            m_socket->set(zmq::sockopt::subscribe,
                          zmq::const_buffer(filter.constData(), static_cast<size_t>(filter.size())));
        }
        return true;
    } catch (const zmq::error_t& error) {
        // An unconnected socket would only collect filters; the connection stays idle instead.
        m_socket.reset();
        qDebug() << Q_FUNC_INFO;
        qDebug() << "  Err:" << errorText(error);
        return false;
    }
}

void zmq_Subscriber::readAll()
{
    // A handler of messageReceived may stop this connection; the local share keeps the socket
    // object valid and the comparison ends the loop.
    const std::shared_ptr<zmq::socket_t> socket = m_socket;
    if (!socket)
        return;
    try {
        if (!(socket->get(zmq::sockopt::events) & ZMQ_POLLIN))
            return;
    } catch (const zmq::error_t& error) {
        qDebug() << Q_FUNC_INFO;
        qDebug() << "  Err:" << errorText(error);
        return;
    }

    // A handler may even delete this connection.
    const QPointer<QObject> alive(this);
    int errors = 0;
    int received = 0;
    QElapsedTimer pass;
    pass.start();
    while (alive && m_socket == socket) {
        if (received >= maxMessagesPerPass || pass.elapsed() >= maxPassMs) {
            scheduleRead();
            return;
        }
        std::vector<zmq::message_t> frames;
        try {
            do {
                frames.emplace_back();
                if (!socket->recv(frames.back(), zmq::recv_flags::dontwait)) {
                    // Nothing more waiting; reading until here re-arms the handle.
                    if (frames.size() == 1)
                        return;
                    // A message arrives whole, so this should not happen; try the next one.
                    frames.clear();
                    break;
                }
            } while (frames.back().more());
        } catch (const zmq::error_t& error) {
            qDebug() << Q_FUNC_INFO;
            qDebug() << "  Err:" << errorText(error);
            if (++errors >= maxReceiveErrors) {
                qWarning() << Q_FUNC_INFO;
                qWarning() << "  Giving up after" << errors << "receive errors on" << m_address;
                return;
            }
            continue;
        }
        errors = 0;
        ++received;
        if (frames.size() < 2) {
            qDebug() << Q_FUNC_INFO;
            qDebug() << "  Dropped a message of" << frames.size() << "frame(s) from" << m_address;
            continue;
        }
        const QString sender = QString::fromUtf8(frames[0].data<char>(), static_cast<int>(frames[0].size()));
        const QString message = QString::fromUtf8(frames[1].data<char>(), static_cast<int>(frames[1].size()));
        emit messageReceived(sender, message);
    }
}

void zmq_Subscriber::subscribe(const QString& channel)
{
    if (!m_socket)
        return;
    if (m_channels.contains(channel)) {
        qDebug() << "Channel:" << channel << "already be subscribed";
        return;
    }
    m_channels.insert(channel);
    const QByteArray filter = channel.toLocal8Bit();
    try {
        m_socket->set(zmq::sockopt::subscribe,
                      zmq::const_buffer(filter.constData(), static_cast<size_t>(filter.size())));
    } catch (const zmq::error_t& error) {
        m_channels.remove(channel);
        qDebug() << Q_FUNC_INFO;
        qDebug() << "  Err:" << errorText(error);
    }
    scheduleRead();
}

void zmq_Subscriber::unsubscribe(const QString& channel)
{
    if (!m_socket)
        return;
    if (!m_channels.contains(channel)) {
        qDebug() << "Channel:" << channel << "is not in the set!";
        return;
    }
    m_channels.remove(channel);
    const QByteArray filter = channel.toLocal8Bit();
    try {
        m_socket->set(zmq::sockopt::unsubscribe,
                      zmq::const_buffer(filter.constData(), static_cast<size_t>(filter.size())));
    } catch (const zmq::error_t& error) {
        qDebug() << Q_FUNC_INFO;
        qDebug() << "  Err:" << errorText(error);
    }
    scheduleRead();
}
