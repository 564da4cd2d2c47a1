// SPDX-License-Identifier: MIT
#pragma once

// The waits of a retry that gives a peer more time after each failure: the first attempt waits
// firstMs, each further one twice as long as the one before, up to maxMs. A success (or a fresh
// start by the operator) resets it.
class Backoff
{
public:
    // A first wait below 1 ms is taken as 1 ms (a wait of 0 would never grow), and a last one
    // below the first as the first.
    Backoff(int firstMs, int maxMs);

    int firstMs() const { return m_firstMs; }
    int maxMs() const { return m_maxMs; }

    // What the next attempt waits.
    int nextDelayMs() const { return m_nextMs; }
    // Takes the wait for the next attempt; the attempt after it waits twice as long, at most maxMs.
    int takeDelayMs();
    // Attempts taken since the last reset.
    int attempts() const { return m_attempts; }

    // The next attempt waits firstMs again.
    void reset();
    // New limits, from a setting that changed; also resets.
    void setLimits(int firstMs, int maxMs);

private:
    int m_firstMs = 1;
    int m_maxMs = 1;
    int m_nextMs = 1;
    int m_attempts = 0;
};
