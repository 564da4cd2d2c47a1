// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QVector>

#include "sharedclock.h"
#include "timelinebar.h"

class MultiCameraExporter;
class RecordedSession;

// Several recorded cameras in step: one clock, one set of controls, each camera (a
// RecordedSession with its own player) kept at the clock's moment.
//
// Every tick the clock's moment is compared with what each camera in step shows. A camera whose
// chunk does not hold the moment is given the one that does (fetched ahead where it could be); a
// camera without recording there stops and says so, and joins when its recording starts. A
// camera that plays off the clock is brought back: by a seek when it is far off, else by playing
// a little faster or slower until it is on it again. Above fastRate the players stand still and
// are moved from key frame to key frame with the clock; so they are faster than 1x once they
// keep falling behind (a machine that cannot decode every camera's every frame), until the
// speed changes.
//
// After every seek the clock holds at the new moment until each camera in step shows it (or
// could not: no recording, a gateway that does not answer), for holdTimeoutMs at most, so that
// they start together. A camera taken out of step plays on its own with its own controls.
//
// The clock's anchor goes to the log (category "station.multicam", debug) at every change:
// "clock anchor: position_ms=P monotonic_ms=T rate=R running=B", so that a reader of the screen
// knows the moment every tile should show.
class CameraSync : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY camerasChanged)
    Q_PROPERTY(int maxCameras READ maxCameras CONSTANT)
    // The clock's moment, ms since the epoch; -1 until the first seek.
    Q_PROPERTY(qreal positionMs READ positionMs NOTIFY positionMsChanged)
    Q_PROPERTY(bool paused READ paused WRITE setPaused NOTIFY pausedChanged)
    Q_PROPERTY(qreal speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(QVariantList speeds READ speeds WRITE setSpeeds NOTIFY settingsChanged)
    // Waiting after a seek for the cameras to show the new moment.
    Q_PROPERTY(bool holding READ holding NOTIFY holdingChanged)
    Q_PROPERTY(TimelineBar* timeline READ timeline WRITE setTimeline NOTIFY timelineChanged)
    Q_PROPERTY(qreal dayStart READ dayStart NOTIFY dayChanged)
    Q_PROPERTY(qreal dayEnd READ dayEnd NOTIFY dayChanged)
    // Export marks, shared by every camera; -1: not set.
    Q_PROPERTY(qreal markA READ markA WRITE setMarkA NOTIFY marksChanged)
    Q_PROPERTY(qreal markB READ markB WRITE setMarkB NOTIFY marksChanged)
    // The frame of a step and the cameras' frame rate, in ms.
    Q_PROPERTY(int frameMs READ frameMs WRITE setFrameMs NOTIFY settingsChanged)
    Q_PROPERTY(int tickMs READ tickMs WRITE setTickMs NOTIFY settingsChanged)
    Q_PROPERTY(int holdTimeoutMs READ holdTimeoutMs WRITE setHoldTimeoutMs NOTIFY settingsChanged)
    // Above this speed the players stand still and show key frames only.
    Q_PROPERTY(qreal fastRate READ fastRate WRITE setFastRate NOTIFY settingsChanged)
    // How long a frame a player has reported takes to reach the screen: playing, the players are
    // kept that much (times the speed) ahead of the clock, so that the screen is on it.
    Q_PROPERTY(int displayLatencyMs READ displayLatencyMs WRITE setDisplayLatencyMs NOTIFY settingsChanged)
    // ...and this much longer per step of speed above 1x: more frames a second to decode and draw
    // on the same cores keep the screen farther behind the players.
    Q_PROPERTY(
        int displayLatencyGrowthMs READ displayLatencyGrowthMs WRITE setDisplayLatencyGrowthMs NOTIFY settingsChanged)

public:
    static constexpr int MaxCameras = 16;

    explicit CameraSync(QObject* parent = nullptr);
    ~CameraSync() override;

    int count() const { return m_cameras.size(); }
    int maxCameras() const { return MaxCameras; }
    qreal positionMs() const { return m_positionMs; }
    bool paused() const { return m_paused; }
    void setPaused(bool paused);
    qreal speed() const { return m_clock.rate(); }
    void setSpeed(qreal speed);
    QVariantList speeds() const;
    void setSpeeds(const QVariantList& speeds);
    bool holding() const { return m_holding; }
    TimelineBar* timeline() const { return m_timeline; }
    void setTimeline(TimelineBar* timeline);
    qreal dayStart() const { return m_dayStart; }
    qreal dayEnd() const { return m_dayEnd; }
    qreal markA() const { return m_markA; }
    void setMarkA(qreal ms);
    qreal markB() const { return m_markB; }
    void setMarkB(qreal ms);
    int frameMs() const { return m_frameMs; }
    void setFrameMs(int ms);
    int tickMs() const { return m_tickMs; }
    void setTickMs(int ms);
    int holdTimeoutMs() const { return m_holdTimeoutMs; }
    void setHoldTimeoutMs(int ms);
    qreal fastRate() const { return m_fastRate; }
    void setFastRate(qreal rate);
    int displayLatencyMs() const { return m_displayLatencyMs; }
    void setDisplayLatencyMs(int ms);
    int displayLatencyGrowthMs() const { return m_displayLatencyGrowthMs; }
    void setDisplayLatencyGrowthMs(int ms);
    // The screen's latency while playing at `rate`.
    qreal displayLatencyAt(qreal rate) const;

    SharedClock& clock() { return m_clock; }
    // The seam for tests: the clock's time source; the ticks are then the test's too.
    void setTimeSource(SharedClock::TimeSource source, bool ownTicks);

    // Joins a camera, in step; false when it is there already, null, or MaxCameras are.
    Q_INVOKABLE bool addCamera(RecordedSession* session);
    Q_INVOKABLE void removeCamera(RecordedSession* session);
    Q_INVOKABLE void clear();
    Q_INVOKABLE RecordedSession* cameraAt(int index) const;
    Q_INVOKABLE bool inStep(RecordedSession* session) const;
    // Out of step the camera plays on its own; back in step it goes to the clock's moment.
    Q_INVOKABLE void setInStep(RecordedSession* session, bool inStep);
    // What the camera shows less the clock's moment, in ms; 0 when it shows nothing.
    Q_INVOKABLE qreal offsetOf(RecordedSession* session) const;

    // Every camera in step to a moment of the day; where none has a recording, to the next
    // recording of any.
    Q_INVOKABLE void seekTo(qreal ms);
    // Where the cameras start once their chunks are in (or at once, when they are).
    Q_INVOKABLE void startFrom(qreal ms);
    Q_INVOKABLE void step(qreal deltaMs);
    Q_INVOKABLE void frameStep(bool forward);
    Q_INVOKABLE void togglePause();
    Q_INVOKABLE int speedIndex() const;
    Q_INVOKABLE void changeSpeed(int direction);
    // The day that holds the moment, for every camera.
    Q_INVOKABLE void showDay(qreal ms);
    // The first mark, then the second; a third starts over. Every camera in step gets them.
    Q_INVOKABLE void setMark();
    Q_INVOKABLE void clearMarks();
    // Each camera in step with what an export of the marked span (else of the chunk each plays)
    // takes: {camera, streamId, deviceId, urls}; cameras without a chunk there have no urls.
    Q_INVOKABLE QVariantList exportCameras() const;
    // The span of that export: [from, to] in ms.
    Q_INVOKABLE QVariantList exportSpan() const;
    // Starts that export into folder, with where it comes from (this station, the signed-in
    // operator, the server); false when the exporter refused (its lastError says why).
    Q_INVOKABLE bool exportTo(MultiCameraExporter* exporter, const QString& folder) const;

public slots:
    // Brings every camera in step to the clock's moment.
    void tick();

signals:
    void camerasChanged();
    void positionMsChanged();
    void pausedChanged();
    void speedChanged();
    void settingsChanged();
    void holdingChanged();
    void timelineChanged();
    void dayChanged();
    void marksChanged();

private:
    struct Camera
    {
        QPointer<RecordedSession> session;
        bool inStep = true;
        // What was last asked of its player: -1 not yet.
        int pausedAsked = -1;
        qreal speedAsked = -1;
        // A seek asked and not yet seen done: its target and when it was asked (source time).
        qreal seekTarget = -1;
        bool exactSeek = true;
        qint64 seekAskedAt = 0;
        qreal positionAtSeek = -1;
        // Seen half a second behind faster than 1x: how often at this speed, and when last.
        int falls = 0;
        qint64 lastFallAt = 0;
    };

    int indexOf(const RecordedSession* session) const;
    void follow(Camera& camera, qreal now);
    // Is the camera at the moment, or can it not be (nothing to show there, failed)?
    bool settledAt(const Camera& camera, qreal now) const;
    // Why a camera is not at the moment, for the log.
    QString lateReason(const Camera& camera, qreal now) const;
    void askPaused(Camera& camera, bool paused);
    void askSpeed(Camera& camera, qreal speed);
    void askSeek(Camera& camera, qreal ms, bool exact);
    bool seekUnderway(Camera& camera, qint64 now);
    // Where an exact seek goes for the player to show the frame that holds the moment.
    qreal aimAt(qreal moment) const;
    // Where a key-frame seek goes for the player to show the key frame nearest the moment once
    // it is shown.
    qreal keyframeAim(qreal moment) const;
    // Above the fast rate, or faster than 1x on players that cannot decode every frame.
    bool keyframesOnly() const { return m_clock.rate() > m_fastRate || m_decodeBound; }
    // The moment itself when a camera has a recording there, else the next recording's start of
    // any camera; -1 when there is none.
    qreal playableFrom(qreal ms) const;
    void hold();
    void release();
    void setHolding(bool holding);
    void updatePosition();
    void logAnchor() const;
    void handleSeekRequest(qreal ms);
    void handleDayRequest(qreal ms);
    void followOnTimeline();

    SharedClock m_clock;
    QTimer m_timer;
    QVector<Camera> m_cameras;
    QPointer<TimelineBar> m_timeline;
    QList<qreal> m_speeds{0.25, 0.5, 1, 2, 4, 8, 16};
    qreal m_positionMs = -1;
    qreal m_startFrom = -1;
    bool m_paused = false;
    bool m_holding = false;
    qint64 m_holdSince = 0;
    int m_settledTicks = 0;
    qreal m_dayStart = 0;
    qreal m_dayEnd = 0;
    qreal m_markA = -1;
    qreal m_markB = -1;
    int m_frameMs = 40;
    int m_tickMs = 40;
    int m_holdTimeoutMs = 3000;
    qreal m_fastRate = 4;
    int m_displayLatencyMs = 0;
    int m_displayLatencyGrowthMs = 0;
    // The players fell behind at the present speed (faster than 1x): key frames only.
    bool m_decodeBound = false;
    // How long a key-frame seek takes to show, on average.
    qreal m_seekLatencyMs = 80;
};
