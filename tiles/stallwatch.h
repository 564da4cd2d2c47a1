// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "backoff.h"

// Watches a live tile's stream for frames that stop coming while the stream does not end (a
// camera or gateway that hangs): after noSignalMs without a new frame the stream counts as lost,
// and the watch asks for reloads of it, waiting reloadFirstMs before the first and twice as long
// before each next one, up to reloadMaxMs, until frames flow again.
//
// Fed by the player: its count of shown frames (`frames`), whether it is paused, and whether it
// reloads an ended stream by itself (then the watch leaves the stream to that reload).
class StallWatch : public QObject
{
    Q_OBJECT
    // Off: nothing is watched, and a lost stream counts as found.
    Q_PROPERTY(bool watching READ watching WRITE setWatching NOTIFY inputsChanged)
    // Frames the player has shown; every increase is a new frame, a decrease a new player.
    Q_PROPERTY(int frames READ frames WRITE setFrames NOTIFY inputsChanged)
    // A paused stream shows no frames by choice and is not lost.
    Q_PROPERTY(bool paused READ paused WRITE setPaused NOTIFY inputsChanged)
    // The player's own reload of an ended stream is due: a reload from here would cut it short.
    Q_PROPERTY(bool reloadHeld READ reloadHeld WRITE setReloadHeld NOTIFY inputsChanged)
    // What plays, for the log.
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY inputsChanged)
    Q_PROPERTY(int noSignalMs READ noSignalMs WRITE setNoSignalMs NOTIFY inputsChanged)
    Q_PROPERTY(int reloadFirstMs READ reloadFirstMs WRITE setReloadFirstMs NOTIFY inputsChanged)
    Q_PROPERTY(int reloadMaxMs READ reloadMaxMs WRITE setReloadMaxMs NOTIFY inputsChanged)

    // No new frame for noSignalMs while watched and playing.
    Q_PROPERTY(bool lost READ lost NOTIFY lostChanged)
    // The wait before the next reload (reloadFirstMs while none is due).
    Q_PROPERTY(int reloadDelayMs READ reloadDelayMs NOTIFY reloadDelayMsChanged)
    // Reloads asked for so far.
    Q_PROPERTY(int reloads READ reloads NOTIFY reloadsChanged)
    // A reload is scheduled.
    Q_PROPERTY(bool reloadDue READ reloadDue NOTIFY reloadDueChanged)

public:
    static constexpr int defaultNoSignalMs = 5000;
    static constexpr int defaultReloadFirstMs = 3000;
    static constexpr int defaultReloadMaxMs = 30000;

    explicit StallWatch(QObject* parent = nullptr);
    ~StallWatch() override;

    bool watching() const { return m_watching; }
    void setWatching(bool value);
    int frames() const { return m_frames; }
    void setFrames(int value);
    bool paused() const { return m_paused; }
    void setPaused(bool value);
    bool reloadHeld() const { return m_reloadHeld; }
    void setReloadHeld(bool value);
    QString source() const { return m_source; }
    void setSource(const QString& value);
    int noSignalMs() const { return m_noSignalMs; }
    void setNoSignalMs(int value);
    int reloadFirstMs() const { return m_reloadFirstMs; }
    void setReloadFirstMs(int value);
    int reloadMaxMs() const { return m_reloadMaxMs; }
    void setReloadMaxMs(int value);

    bool lost() const { return m_lost; }
    int reloadDelayMs() const { return m_reloadDelayMs; }
    int reloads() const { return m_reloads; }
    bool reloadDue() const { return m_reloadDue; }

    // A new stream starts: it gets the whole noSignalMs for its first frame.
    Q_INVOKABLE void restart();

signals:
    void inputsChanged();
    void lostChanged();
    void reloadDelayMsChanged();
    void reloadsChanged();
    void reloadDueChanged();
    // Load the stream again.
    void reloadRequested();

private:
    void frameArrived();
    void checkForSignal();
    void reloadNow();
    void scheduleReload();
    void stopReloads();
    void setLost(bool value);
    void setReloadDelayMs(int value);
    void setReloadDue(bool value);

    bool m_watching = false;
    int m_frames = 0;
    bool m_paused = false;
    bool m_reloadHeld = false;
    QString m_source;
    int m_noSignalMs = defaultNoSignalMs;
    int m_reloadFirstMs = defaultReloadFirstMs;
    int m_reloadMaxMs = defaultReloadMaxMs;
    // Limits from the two above; a first wait below 1 ms counts as 1 ms.
    Backoff m_backoff{defaultReloadFirstMs, defaultReloadMaxMs};

    bool m_lost = false;
    int m_reloadDelayMs = defaultReloadFirstMs;
    int m_reloads = 0;
    bool m_reloadDue = false;

    // Frames come 25 times a second on every tile: they only note the time, and the check runs
    // once per noSignalMs rather than a timer being restarted for each frame.
    QElapsedTimer m_clock;
    qint64 m_lastFrameMs = 0;
    QTimer m_check;
    QTimer m_reload;
};
