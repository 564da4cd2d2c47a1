// SPDX-License-Identifier: MIT
#include "alarmsound.h"

#include <QAudioDeviceInfo>
#include <QSoundEffect>
#include <QUrl>

#include "eventslog.h"

AlarmSound::AlarmSound(QObject* parent) : QObject(parent)
{
    // The sound is compiled into this static library: its resource is registered by hand.
    Q_INIT_RESOURCE(sounds);
}

AlarmSound::~AlarmSound() = default;

bool AlarmSound::prepare()
{
    if (m_effect)
        return true;
    if (m_unavailable)
        return false;
    if (QAudioDeviceInfo::defaultOutputDevice().isNull()) {
        m_unavailable = true;
        qCInfo(lcEvents) << "No audio output: alarms are shown without a sound";
        return false;
    }
    m_effect = new QSoundEffect(this);
    connect(m_effect, &QSoundEffect::statusChanged, this, [this] {
        if (m_effect->status() == QSoundEffect::Error && !m_unavailable) {
            m_unavailable = true;
            qCInfo(lcEvents) << "The alarm sound cannot be played: alarms are shown without a sound";
        }
    });
    m_effect->setSource(QUrl(QStringLiteral("qrc:/events/alarm.wav")));
    return true;
}

bool AlarmSound::play()
{
    if (m_sinceLast.isValid() && m_sinceLast.elapsed() < minimumGapMs)
        return false;
    if (!prepare() || m_unavailable)
        return false;
    m_sinceLast.start();
    m_effect->play();
    return true;
}
