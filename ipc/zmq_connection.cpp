// SPDX-License-Identifier: MIT
#include "zmq_connection.h"

#include <QDebug>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

zmq_Connection::zmq_Connection(QObject* parent) : QObject(parent) {}

zmq_Connection::~zmq_Connection()
{
    stop();
}

bool zmq_Connection::start()
{
    qDebug() << Q_FUNC_INFO;
    if (!createSocket())
        return false;

    zmq::fd_t handle{};
    try {
        handle = m_socket->get(zmq::sockopt::fd);
        qDebug() << "  Socket number: " << handle;
    } catch (const zmq::error_t& error) {
        qDebug() << "  Exception: " << QString::fromLocal8Bit(error.what());
        return false;
    }

    if (m_notifier) {
        // Its handle belonged to the socket just replaced.
        m_notifier->disconnect();
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_notifier = new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &zmq_Connection::handleNotifierActivated);
    m_notifier->setEnabled(true);

    if (m_socket) {
        // Arms the handle; nothing can be waiting yet, since nothing is subscribed.
        try {
            zmq::message_t discarded;
            (void)m_socket->recv(discarded, zmq::recv_flags::dontwait);
        } catch (const zmq::error_t& error) {
            qDebug() << Q_FUNC_INFO;
            qDebug() << "  Exception:" << QString::fromLocal8Bit(error.what());
        }
        scheduleRead();
    }

    emit started();
    return true;
}

void zmq_Connection::stop()
{
    if (m_notifier) {
        m_notifier->disconnect();
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_socket) {
        m_socket->close();
        m_socket.reset();
        emit stopped();
    }
}

void zmq_Connection::handleNotifierActivated(int socket)
{
    Q_UNUSED(socket)
    if (!m_notifier)
        return;
    // Off while draining, so that a burst gives one pass and no activation nests.
    QSocketNotifier* notifier = m_notifier;
    notifier->setEnabled(false);
    const QPointer<QObject> alive(this);
    readAll();
    // A handler of messageReceived may have stopped, restarted or deleted the connection.
    if (alive && notifier == m_notifier)
        notifier->setEnabled(true);
}

void zmq_Connection::scheduleRead()
{
    if (m_readScheduled)
        return;
    m_readScheduled = true;
    // Queued, so that a caller (QML among them) never sees messages arrive inside its own call.
    QMetaObject::invokeMethod(this, &zmq_Connection::readPending, Qt::QueuedConnection);
}

void zmq_Connection::readPending()
{
    m_readScheduled = false;
    if (m_socket)
        readAll();
}
