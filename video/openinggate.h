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
//
// Opening is partly waiting (for the camera, the gateway), which many streams can do at once, and
// partly work on the cores, which they cannot. The gate lets up to `limit` open at once while they
// open quickly; a turn that runs out (the stream took holdMs without a first frame) halves the
// number allowed, down to minLimit, and each stream that opens within quickMs allows one more
// again, up to the limit: a layout switch opens its streams together, a wall too large for the
// machine opens a few at a time.
class OpeningGate : public QObject
{
    Q_OBJECT

public:
    using Ticket = quint64;
    static constexpr int defaultHoldMs = 4000;
    static constexpr int quickMs = 1500;
    static constexpr int minLimit = 2;

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
    // How many may open at once now (the limit, or fewer after slow openings).
    int allowed() const { return m_allowed; }
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
    bool hasRoom() const { return m_limit <= 0 || m_holding.size() < m_allowed; }

    int m_limit;
    int m_allowed;
    int m_holdMs;
    Ticket m_lastTicket = 0;
    QElapsedTimer m_clock;
    // Turns held, by ticket: when each was given.
    QHash<Ticket, qint64> m_holding;
    QList<Waiter> m_waiting;
    QTimer m_expiry;
};
