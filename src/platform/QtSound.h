#pragma once

#include "platform/Sound.h"

#include <QSoundEffect>
#include <map>
#include <memory>

// The program's waves from the Qt resources (":/wave132.wav", ":/wave133.wav"),
// one QSoundEffect per play, so that plays never cut each other off. Without
// an audio device they play silently.
class QtSound final : public Sound
{
public:
    QtSound();
    ~QtSound() override;

    int play(int waveId, bool loop) override;
    void stop(int handle) override;

    // The resource path of a wave, or empty for an unknown id.
    static QString ResourcePath(int waveId);
    // Plays not yet stopped (a test's view of the bookkeeping).
    int plays() const { return int(m_plays.size()); }

private:
    std::map<int, std::unique_ptr<QSoundEffect>> m_plays;
    int m_lastHandle = 0;
};
