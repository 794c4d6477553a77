#pragma once

#include <QList>
#include <QMap>

// The two wave resources of the program.
enum WaveId { kWaveReminder = 132, kWaveRest = 133 };

// Each play is a sound of its own: a popup's looping reminder goes on while
// the rest alert or the countdown plays and stops theirs.
class Sound
{
public:
    virtual ~Sound() = default;
    // Starts the wave asynchronously, beside whatever else plays; silent if it
    // cannot be played. Returns the handle that stops this play (never 0).
    virtual int play(int waveId, bool loop) = 0;
    // Stops the play of that handle and no other; 0 or an ended handle: nothing.
    virtual void stop(int handle) = 0;
};

class FakeSound final : public Sound
{
public:
    struct Call
    {
        enum Kind { Play, Stop } kind;
        int waveId = 0; // for a stop: the wave of the play it stopped, 0 if none
        bool loop = false;
        int handle = 0;
    };
    int play(int waveId, bool loop) override
    {
        const int handle = ++m_lastHandle;
        m_calls.append({Call::Play, waveId, loop, handle});
        m_playing.insert(handle, waveId);
        return handle;
    }
    void stop(int handle) override
    {
        m_calls.append({Call::Stop, m_playing.value(handle, 0), false, handle});
        m_playing.remove(handle);
    }

    const QList<Call>& calls() const { return m_calls; }
    // The wave of the latest play still going, 0 when nothing plays.
    int playing() const { return m_playing.isEmpty() ? 0 : m_playing.last(); }
    // The waves still playing, oldest first.
    QList<int> playingWaves() const { return m_playing.values(); }
    void clear() { m_calls.clear(); }

private:
    QList<Call> m_calls;
    QMap<int, int> m_playing; // handle -> wave; handles only grow
    int m_lastHandle = 0;
};
