// SPDX-License-Identifier: MIT
#include "posreceiver.h"

#include <QDebug>
#include <QtQml>

#include "zmq_subscriber.h"

PosReceiver::PosReceiver(QObject* parent) : QObject(parent) {}

PosReceiver::~PosReceiver() = default;

void PosReceiver::subscribe(const QString& ip, int port, const QString& channel)
{
    if (!m_subscribers.contains(ip)) {
        const QString endpoint = QStringLiteral("tcp://%1:%2").arg(ip).arg(port);
        auto subscriber = std::make_shared<zmq_Subscriber>(endpoint);
        connect(subscriber.get(), &zmq_Subscriber::messageReceived, this, &PosReceiver::deliver);
        m_subscribers.insert(ip, subscriber);
        m_subscriptionCounts.insert(ip, 0);
        subscriber->start();
    }
    qInfo() << "Subscribed to channel:" << channel;
    m_subscriptionCounts[ip] += 1;
    m_channelCounts[ip][channel] += 1;
    m_subscribers.value(ip)->subscribe(channel);
}

void PosReceiver::unsubscribe(const QString& ip, const QString& channel)
{
    if (!m_subscribers.contains(ip) || !m_subscriptionCounts.contains(ip))
        return;
    qInfo() << "Unsubscribed channel:" << channel;
    // Two views of one camera share its filter: the first to go must not take the other's lines.
    QHash<QString, int>& channels = m_channelCounts[ip];
    if (channels.value(channel) > 1) {
        channels[channel] -= 1;
    } else {
        channels.remove(channel);
        m_subscribers.value(ip)->unsubscribe(channel);
    }
    int& count = m_subscriptionCounts[ip];
    count -= 1;
    if (count == 0) {
        m_subscriptionCounts.remove(ip);
        m_channelCounts.remove(ip);
        const std::shared_ptr<zmq_Subscriber> last = m_subscribers.take(ip);
        // A handler of posReceived may land here while that subscriber is still delivering: close
        // it now, delete it back in the event loop (or with this object).
        last->stop();
        QMetaObject::invokeMethod(
            this, [last] {}, Qt::QueuedConnection);
    }
}

void PosReceiver::deliver(const QString& topic, const QString& msg)
{
    if (!m_second.isValid() || m_second.elapsed() >= 1000) {
        if (m_droppedThisSecond > 0)
            qWarning() << "Dropped" << m_droppedThisSecond << "POS messages: more than" << m_maxMessagesPerSecond
                       << "arrived in one second";
        m_second.start();
        m_deliveredThisSecond = 0;
        m_droppedThisSecond = 0;
    }
    if (m_maxMessagesPerSecond > 0 && m_deliveredThisSecond >= m_maxMessagesPerSecond) {
        ++m_droppedThisSecond;
        return;
    }
    ++m_deliveredThisSecond;
    if (msg.size() <= maxMessageLength) {
        emit posReceived(topic, msg);
        return;
    }
    qWarning() << "POS message on channel" << topic << "of" << msg.size() << "characters cut to" << maxMessageLength;
    emit posReceived(topic, msg.left(maxMessageLength));
}
