// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include <QMap>
#include <QObject>
#include <QString>

class zmq_Subscriber;

// Keeps one POS subscriber per publisher address and passes every message on as posReceived.
// Subscriptions are counted per address: the port of the first one fixes the endpoint until the
// count comes back to 0.
class PosReceiver : public QObject
{
    Q_OBJECT

public:
    explicit PosReceiver(QObject* parent = nullptr);
    ~PosReceiver() override;

    Q_INVOKABLE void subscribe(const QString& ip, int port, const QString& channel);
    Q_INVOKABLE void unsubscribe(const QString& ip, const QString& channel);

signals:
    void posReceived(const QString& topic, const QString& msg);

private:
    QMap<QString, std::shared_ptr<zmq_Subscriber>> m_subscribers;
    QMap<QString, int> m_subscriptionCounts;
};
