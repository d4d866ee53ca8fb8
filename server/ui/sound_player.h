// The notification sounds: a sound file of the program folder played asynchronously, and nothing
// at all when the file is missing (no default sound in its place). One effect per file is kept,
// so a sound that repeats is not loaded again. GUI thread.
#pragma once

#include <QHash>
#include <QObject>

class QSoundEffect;

namespace lonvera::ui {

class SoundPlayer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    /// Starts playing the file; false (and silence) when it does not exist.
    bool play(const QString &filePath);

private:
    QHash<QString, QSoundEffect *> m_effects;
};

} // namespace lonvera::ui
