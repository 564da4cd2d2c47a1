// SPDX-License-Identifier: MIT
#include "backoff.h"

#include <algorithm>

Backoff::Backoff(int firstMs, int maxMs)
{
    setLimits(firstMs, maxMs);
}

int Backoff::takeDelayMs()
{
    const int delay = m_nextMs;
    // Halved before the comparison: doubling a large wait must not overflow.
    m_nextMs = delay > m_maxMs / 2 ? m_maxMs : delay * 2;
    ++m_attempts;
    return delay;
}

void Backoff::reset()
{
    m_nextMs = m_firstMs;
    m_attempts = 0;
}

void Backoff::setLimits(int firstMs, int maxMs)
{
    m_firstMs = std::max(1, firstMs);
    m_maxMs = std::max(m_firstMs, maxMs);
    reset();
}
