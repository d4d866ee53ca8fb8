// See sound_player.h.
#include "server/ui/sound_player.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace lonvera::ui {

bool SoundPlayer::play(const QString &filePath)
{
    // Checked every time: the operator may add or remove a sound while the server runs.
    if (!QFileInfo(filePath).isFile())
        return false;
    QSoundEffect *&effect = m_effects[filePath];
    if (!effect) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath()));
    }
    effect->play();
    return true;
}

} // namespace lonvera::ui
