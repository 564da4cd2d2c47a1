// SPDX-License-Identifier: MIT
#include "zmq_context.h"

#include <QDebug>

zmq_Context& zmq_Context::instance()
{
    qDebug() << Q_FUNC_INFO;
    static zmq_Context context(1);
    return context;
}

zmq_Context::zmq_Context(int ioThreads) : m_context(ioThreads, 1023)
{
    qDebug() << Q_FUNC_INFO;
    // Sockets do not linger, so ending the context never waits for unsent messages.
    m_context.set(zmq::ctxopt::blocky, 0);
}

zmq_Context::~zmq_Context()
{
    qDebug() << Q_FUNC_INFO;
}
