// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Hands the allocator's free memory back to the system once a good deal of it has gathered. The
// players of a layout free tens of megabytes each as they end, and more is freed for seconds after
// (the layout's items, textures, the script engine's garbage), in blocks the allocator keeps for the
// process unless asked: after a 20 by 20 wall and back to 2 by 2, the station stayed 130 MB above
// one that only ever showed the 2 by 2, most of it free memory.
//
// Every few seconds it looks at the free memory in the heap and the resident size. With more than
// the threshold free, and either a few megabytes more freed, or more resident than the threshold,
// since their lowest after the last trim, it trims, on a worker (a trim walks the whole heap);
// then again a few times, some seconds apart, while that much stays free. When more than the
// threshold has just been freed (a layout ended), it first has the script engine collect its
// garbage, which otherwise keeps the layout's small blocks for tens of seconds, scattered over
// pages that cannot be handed back while they stay. GUI thread only.
class FreeMemoryTrimmer : public QObject
{
    Q_OBJECT

public:
    // How it reads the process and trims it: the allocator and /proc, or a test's own.
    struct Probes
    {
        std::function<qint64()> freeHeapBytes;
        std::function<qint64()> residentBytes;
        std::function<void()> trim;
    };
    static Probes systemProbes();

    static constexpr int DefaultIntervalMs = 2000;
    static constexpr qint64 DefaultThresholdBytes = 32LL * 1024 * 1024;
    // Freed since the last trim: less than this is the players' churn.
    static constexpr qint64 DefaultFreedThresholdBytes = 8LL * 1024 * 1024;
    // The trims after one that growth set off, and the time between them.
    static constexpr int FollowUps = 3;
    static constexpr int FollowUpMs = 5000;

    explicit FreeMemoryTrimmer(Probes probes = systemProbes(), QObject* parent = nullptr);
    ~FreeMemoryTrimmer() override;

    void start(int intervalMs = DefaultIntervalMs);
    void setThresholdBytes(qint64 bytes) { m_threshold = bytes; }
    void setFreedThresholdBytes(qint64 bytes) { m_freedThreshold = bytes; }
    void setFollowUpMs(int ms) { m_followUpMs = ms; }
    // Called on this thread when a good deal has just been freed (a layout ended), before the
    // trim: what the script engine still holds of the layout goes too, for the next trims.
    void setGarbageCollector(std::function<void()> collect) { m_collectGarbage = std::move(collect); }

    // One look, as the timer takes it.
    void check();

signals:
    // A trim ended: the resident size before and after it.
    void trimmed(qint64 residentBefore, qint64 residentAfter);

private:
    void collectGarbage();

    Probes m_probes;
    std::function<void()> m_collectGarbage;
    QTimer m_timer;
    qint64 m_threshold = DefaultThresholdBytes;
    qint64 m_freedThreshold = DefaultFreedThresholdBytes;
    // The lowest resident size and free heap seen since the last trim (-1: none yet; the free
    // heap counts from nothing before the first).
    qint64 m_lowResident = -1;
    qint64 m_lowFree = -1;
    bool m_trimming = false;
    int m_followUpMs = FollowUpMs;
    int m_followUpsLeft = 0;
    QElapsedTimer m_sinceTrim;
};
