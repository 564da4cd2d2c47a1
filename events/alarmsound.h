// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>

class QSoundEffect;

// The short sound of a new alarm. Under a flood it sounds at most once per minimumGapMs; without
// an audio output it says so once in the log and stays silent.
class AlarmSound : public QObject
{
    Q_OBJECT

public:
    static constexpr int minimumGapMs = 2000;

    explicit AlarmSound(QObject* parent = nullptr);
    ~AlarmSound() override;

    // True when the sound was started.
    bool play();

private:
    bool prepare();

    QSoundEffect* m_effect = nullptr;
    QElapsedTimer m_sinceLast;
    bool m_unavailable = false;
};
