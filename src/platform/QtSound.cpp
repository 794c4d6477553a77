#include "platform/QtSound.h"

#include <QUrl>

QtSound::QtSound() = default;
QtSound::~QtSound() = default;

QString QtSound::ResourcePath(int waveId)
{
    switch (waveId) {
    case kWaveReminder:
        return QStringLiteral(":/wave132.wav");
    case kWaveRest:
        return QStringLiteral(":/wave133.wav");
    default:
        return QString();
    }
}

int QtSound::play(int waveId, bool loop)
{
    const int handle = ++m_lastHandle;
    const QString path = ResourcePath(waveId);
    if (path.isEmpty())
        return handle;
    // A player of its own: stopping another play leaves this one going. The
    // waves are small resources, read again for each play.
    auto effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl(QStringLiteral("qrc") + path));
    effect->setLoopCount(loop ? QSoundEffect::Infinite : 1);
    // Plays as soon as it is loaded.
    effect->play();
    m_plays.emplace(handle, std::move(effect));
    return handle;
}

void QtSound::stop(int handle)
{
    auto it = m_plays.find(handle);
    if (it == m_plays.end())
        return;
    it->second->stop();
    m_plays.erase(it);
}
