// SPDX-License-Identifier: MIT
#include "openinggate.h"

#include <QPointer>
#include <QThread>

#include "livedecodesettings.h"

OpeningGate::OpeningGate(int limit, int holdMs, QObject* parent)
    : QObject(parent), m_limit(qMax(0, limit)), m_allowed(m_limit), m_holdMs(qMax(1, holdMs))
{
    m_clock.start();
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, &OpeningGate::expire);
}

OpeningGate& OpeningGate::live()
{
    static OpeningGate gate(LiveDecodeSettings::current().openingLimitFor(QThread::idealThreadCount()));
    return gate;
}

OpeningGate::Ticket OpeningGate::request(std::function<void()> open)
{
    const Ticket ticket = ++m_lastTicket;
    if (hasRoom() && m_waiting.isEmpty())
        admit(ticket, std::move(open), true);
    else
        m_waiting.append({ticket, std::move(open)});
    return ticket;
}

void OpeningGate::release(Ticket ticket)
{
    const auto held = m_holding.constFind(ticket);
    if (held != m_holding.constEnd()) {
        if (m_clock.elapsed() - held.value() <= quickMs && m_allowed < m_limit)
            ++m_allowed;
        m_holding.erase(held);
        admitWaiting();
        return;
    }
    for (int i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting.at(i).ticket == ticket) {
            m_waiting.removeAt(i);
            return;
        }
    }
}

void OpeningGate::setLimit(int limit)
{
    m_limit = qMax(0, limit);
    m_allowed = m_limit;
    admitWaiting();
}

bool OpeningGate::isWaiting(Ticket ticket) const
{
    for (const Waiter& waiter : m_waiting) {
        if (waiter.ticket == ticket)
            return true;
    }
    return false;
}

void OpeningGate::admit(Ticket ticket, std::function<void()> open, bool now)
{
    m_holding.insert(ticket, m_clock.elapsed());
    if (!m_expiry.isActive())
        m_expiry.start(m_holdMs);
    if (now) {
        open();
        return;
    }
    // From the event loop: whoever released the turn is not called back in the middle of it.
    const QPointer<OpeningGate> alive(this);
    QMetaObject::invokeMethod(
        this,
        [this, alive, ticket, open = std::move(open)] {
            // Withdrawn meanwhile: the turn was released with it.
            if (alive && m_holding.contains(ticket))
                open();
        },
        Qt::QueuedConnection);
}

void OpeningGate::admitWaiting()
{
    while (hasRoom() && !m_waiting.isEmpty()) {
        Waiter next = m_waiting.takeFirst();
        admit(next.ticket, std::move(next.open), false);
    }
}

void OpeningGate::expire()
{
    const qint64 now = m_clock.elapsed();
    for (auto it = m_holding.begin(); it != m_holding.end();) {
        if (it.value() + m_holdMs <= now) {
            it = m_holding.erase(it);
            // Too many at once for the machine: fewer from now on.
            if (m_limit > 0)
                m_allowed = qMax(qMin(minLimit, m_limit), m_allowed / 2);
        } else
            ++it;
    }
    admitWaiting();
    qint64 nextDue = -1;
    for (const qint64 given : qAsConst(m_holding))
        nextDue = nextDue < 0 ? given + m_holdMs : qMin(nextDue, given + m_holdMs);
    if (nextDue >= 0)
        m_expiry.start(int(qMax<qint64>(0, nextDue - now)));
    else
        m_expiry.stop();
}
