// SPDX-License-Identifier: MIT
#pragma once

#include <QSet>
#include <QString>

#include "zmq_connection.h"

// A SUB socket connected to one endpoint, with the set of channels it subscribes. Channels are
// ZeroMQ prefix filters: a message whose first frame only begins with a channel passes too.
class zmq_Subscriber : public zmq_Connection
{
    Q_OBJECT

public:
    zmq_Subscriber(const QString& address, QObject* parent = nullptr);

    void subscribe(const QString& channel);
    void unsubscribe(const QString& channel);

protected:
    bool createSocket() override;
    void readAll() override;

private:
    QSet<QString> m_channels;
};
