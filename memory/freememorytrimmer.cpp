// SPDX-License-Identifier: MIT
#include "freememorytrimmer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QThreadPool>

#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "memorylog.h"

namespace {

qint64 residentFromProc()
{
    // The second field of statm: resident pages.
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields[1].toLongLong() * static_cast<qint64>(sysconf(_SC_PAGESIZE));
}

} // namespace

FreeMemoryTrimmer::Probes FreeMemoryTrimmer::systemProbes()
{
    Probes probes;
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    probes.freeHeapBytes = [] { return static_cast<qint64>(mallinfo2().fordblks); };
    probes.trim = [] { malloc_trim(0); };
#else
    // Another allocator keeps its own counts and gives back by itself.
    probes.freeHeapBytes = [] { return qint64(0); };
    probes.trim = [] {};
#endif
    probes.residentBytes = &residentFromProc;
    return probes;
}

FreeMemoryTrimmer::FreeMemoryTrimmer(Probes probes, QObject* parent) : QObject(parent), m_probes(std::move(probes))
{
    connect(&m_timer, &QTimer::timeout, this, &FreeMemoryTrimmer::check);
}

FreeMemoryTrimmer::~FreeMemoryTrimmer() = default;

void FreeMemoryTrimmer::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void FreeMemoryTrimmer::collectGarbage()
{
    QElapsedTimer took;
    took.start();
    m_collectGarbage();
    qCDebug(lcMemory) << "Collected the script engine's garbage in" << took.elapsed() << "ms";
}

void FreeMemoryTrimmer::check()
{
    if (m_trimming)
        return;
    const qint64 resident = m_probes.residentBytes();
    const qint64 free = m_probes.freeHeapBytes();
    if (resident < 0 || free < 0)
        return;
    // Growth is counted from the lowest point since the last trim: memory freed again after it
    // was used again counts as well as memory freed anew.
    m_lowResident = m_lowResident < 0 ? resident : qMin(m_lowResident, resident);
    m_lowFree = m_lowFree < 0 ? 0 : qMin(m_lowFree, free);
    // A few megabytes freed after a trim are worth another: small blocks freed late (what the
    // script engine held of a 20 by 20 wall, some 15 MB) lay between free pieces smaller than a
    // page, which they join into whole pages; the trim after them handed back 70 MB where the one
    // before had handed back 2.
    const bool freedMore = free - m_lowFree > m_freedThreshold;
    const bool grewResident = resident - m_lowResident > m_threshold;
    // A timer tick can come a little early: half an interval's slack keeps a follow-up from
    // waiting a whole interval more.
    const bool followUp =
        m_followUpsLeft > 0 && m_sinceTrim.isValid() && m_sinceTrim.elapsed() + m_timer.interval() / 2 >= m_followUpMs;
    if (free <= m_threshold || !(freedMore || grewResident || followUp))
        return;
    // Left alone, the engine collected that garbage 15 to 40 s after the switch, or later.
    if (m_collectGarbage && free - m_lowFree > m_threshold)
        collectGarbage();
    m_followUpsLeft = followUp && !(freedMore || grewResident) ? m_followUpsLeft - 1 : FollowUps;
    m_trimming = true;
    const Probes probes = m_probes;
    QPointer<FreeMemoryTrimmer> self(this);
    QThreadPool::globalInstance()->start([probes, self, resident, free] {
        QElapsedTimer took;
        took.start();
        probes.trim();
        const qint64 after = probes.residentBytes();
        qCDebug(lcMemory) << "Handed free memory back:" << free / (1024 * 1024) << "MiB free in the heap, resident"
                          << resident / (1024 * 1024) << "->" << after / (1024 * 1024) << "MiB in" << took.elapsed()
                          << "ms";
        QMetaObject::invokeMethod(
            self.data(),
            [self, resident, free, after] {
                if (!self)
                    return;
                self->m_trimming = false;
                self->m_sinceTrim.start();
                self->m_lowResident = after;
                self->m_lowFree = free;
                emit self->trimmed(resident, after);
            },
            Qt::QueuedConnection);
    });
}
