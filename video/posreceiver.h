// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>

class zmq_Subscriber;

// Keeps one POS subscriber per publisher address and passes every message on as posReceived.
// Subscriptions are counted per address: the port of the first one fixes the endpoint until the
// count comes back to 0. Each channel's filter stays until its last view unsubscribes.
class PosReceiver : public QObject
{
    Q_OBJECT

public:
    explicit PosReceiver(QObject* parent = nullptr);
    ~PosReceiver() override;

    Q_INVOKABLE void subscribe(const QString& ip, int port, const QString& channel);
    Q_INVOKABLE void unsubscribe(const QString& ip, const QString& channel);

    // A receipt is a few hundred characters; anything longer than this is cut before it reaches
    // the overlay, whose text layout would otherwise stall the window.
    static constexpr int maxMessageLength = 64 * 1024;
    // Tills send a message every few seconds; a publisher gone wild must not bury the window in
    // work. Messages beyond this many a second are dropped and counted in the log.
    static constexpr int defaultMaxMessagesPerSecond = 500;
    // 0 passes every message on (for measurements of the delivery itself).
    void setMaxMessagesPerSecond(int limit) { m_maxMessagesPerSecond = limit; }
    int maxMessagesPerSecond() const { return m_maxMessagesPerSecond; }

signals:
    void posReceived(const QString& topic, const QString& msg);

private:
    void deliver(const QString& topic, const QString& msg);

    int m_maxMessagesPerSecond = defaultMaxMessagesPerSecond;
    QElapsedTimer m_second;
    int m_deliveredThisSecond = 0;
    int m_droppedThisSecond = 0;
    QMap<QString, std::shared_ptr<zmq_Subscriber>> m_subscribers;
    QMap<QString, int> m_subscriptionCounts;
    // Per address: how many views want each channel.
    QMap<QString, QHash<QString, int>> m_channelCounts;
};
