// SPDX-License-Identifier: MIT
#include "sharedclock.h"

#include <QElapsedTimer>

SharedClock::SharedClock()
    : m_source([] {
          QElapsedTimer timer;
          timer.start();
          return timer.msecsSinceReference();
      })
{
    m_anchorNow = m_source();
}

void SharedClock::setTimeSource(TimeSource source)
{
    const qreal at = position();
    m_source = std::move(source);
    m_anchorNow = m_source();
    m_anchorPosition = at;
}

qreal SharedClock::position() const
{
    if (!m_running)
        return m_anchorPosition;
    return m_anchorPosition + qreal(m_source() - m_anchorNow) * m_rate;
}

void SharedClock::reanchor()
{
    m_anchorPosition = position();
    m_anchorNow = m_source();
}

void SharedClock::seek(qreal ms)
{
    m_anchorPosition = ms;
    m_anchorNow = m_source();
}

void SharedClock::start()
{
    if (m_running)
        return;
    m_anchorNow = m_source();
    m_running = true;
}

void SharedClock::stop()
{
    if (!m_running)
        return;
    reanchor();
    m_running = false;
}

void SharedClock::setRate(qreal rate)
{
    if (rate <= 0 || rate == m_rate)
        return;
    reanchor();
    m_rate = rate;
}
