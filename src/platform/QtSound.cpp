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

QSoundEffect* QtSound::effectFor(int waveId)
{
    std::unique_ptr<QSoundEffect>* slot = waveId == kWaveReminder ? &m_reminder
                                          : waveId == kWaveRest   ? &m_rest
                                                                  : nullptr;
    if (!slot)
        return nullptr;
    if (!*slot) {
        // Loaded once and kept: the next play starts without reading it again.
        *slot = std::make_unique<QSoundEffect>();
        (*slot)->setSource(QUrl(QStringLiteral("qrc") + ResourcePath(waveId)));
    }
    return slot->get();
}

void QtSound::play(int waveId, bool loop)
{
    // One sound at a time, as with the system's own player.
    stop();
    QSoundEffect* effect = effectFor(waveId);
    if (!effect)
        return;
    effect->setLoopCount(loop ? QSoundEffect::Infinite : 1);
    // Plays as soon as it is loaded when it is not yet.
    effect->play();
}

void QtSound::stop()
{
    if (m_reminder)
        m_reminder->stop();
    if (m_rest)
        m_rest->stop();
}
