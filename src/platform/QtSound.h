#pragma once

#include "platform/Sound.h"

#include <QSoundEffect>
#include <memory>

// The program's waves from the Qt resources (":/wave132.wav", ":/wave133.wav"),
// played with QSoundEffect. Without an audio device they play silently.
class QtSound final : public Sound
{
public:
    QtSound();
    ~QtSound() override;

    void play(int waveId, bool loop) override;
    void stop() override;

    // The resource path of a wave, or empty for an unknown id.
    static QString ResourcePath(int waveId);

private:
    QSoundEffect* effectFor(int waveId);

    std::unique_ptr<QSoundEffect> m_reminder;
    std::unique_ptr<QSoundEffect> m_rest;
};
