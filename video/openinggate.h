// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

// Lets a few live streams open at a time. Opening a stream (connecting, probing, starting the
// decoder, the first key frame) costs more than playing it; a wall of tiles that all open at once
// on a small machine shares the cores so thinly that none shows a picture before its stall watch
// gives up, and the reloads that follow start the whole crowd again. Through the gate the first
// tiles show their pictures at once and the others follow in the order they asked.
//
// A turn is held until the stream shows its first frame, fails or is no longer wanted (release),
// or for at most holdMs, so that a camera that does not answer does not keep the others waiting.
// Callbacks run on the gate's thread, never inside request().
class OpeningGate : public QObject
{
    Q_OBJECT

public:
    using Ticket = quint64;
    static constexpr int defaultHoldMs = 4000;

    explicit OpeningGate(int limit, int holdMs = defaultHoldMs, QObject* parent = nullptr);

    // The process's gate for live tiles (STATION_OPENING_LIMIT).
    static OpeningGate& live();

    // Asks for a turn: `open` runs when it comes (at once when a turn is free, from the event loop
    // otherwise). The ticket releases the turn, or withdraws a request still waiting.
    Ticket request(std::function<void()> open);
    void release(Ticket ticket);

    // 0: no limit.
    int limit() const { return m_limit; }
    void setLimit(int limit);
    int holding() const { return m_holding.size(); }
    int waiting() const { return m_waiting.size(); }
    bool isWaiting(Ticket ticket) const;

private:
    struct Waiter
    {
        Ticket ticket;
        std::function<void()> open;
    };

    void admit(Ticket ticket, std::function<void()> open, bool now);
    void admitWaiting();
    void expire();
    bool hasRoom() const { return m_limit <= 0 || m_holding.size() < m_limit; }

    int m_limit;
    int m_holdMs;
    Ticket m_lastTicket = 0;
    QElapsedTimer m_clock;
    // Turns held, by ticket: when each was given.
    QHash<Ticket, qint64> m_holding;
    QList<Waiter> m_waiting;
    QTimer m_expiry;
};
