#pragma once

#include <QList>

// The two wave resources of the program.
enum WaveId { kWaveReminder = 132, kWaveRest = 133 };

class Sound
{
public:
    virtual ~Sound() = default;
    // Starts the wave asynchronously, replacing whatever plays; silent if it cannot be played.
    virtual void play(int waveId, bool loop) = 0;
    // Stops whatever is playing.
    virtual void stop() = 0;
};

class FakeSound final : public Sound
{
public:
    struct Call
    {
        enum Kind { Play, Stop } kind;
        int waveId = 0;
        bool loop = false;
    };
    void play(int waveId, bool loop) override
    {
        m_calls.append({Call::Play, waveId, loop});
        m_playing = waveId;
    }
    void stop() override
    {
        m_calls.append({Call::Stop, 0, false});
        m_playing = 0;
    }

    const QList<Call>& calls() const { return m_calls; }
    int playing() const { return m_playing; } // 0 when stopped
    void clear() { m_calls.clear(); }

private:
    QList<Call> m_calls;
    int m_playing = 0;
};
