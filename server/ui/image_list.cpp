// See image_list.h.
#include "server/ui/image_list.h"

#include <QFileInfo>

namespace lonvera::ui {

namespace {

QIcon programIcon(const QString &stem)
{
    QIcon icon;
    for (int size : {16, 32, 64, 128})
        icon.addFile(QStringLiteral(":/lonvera/ui/%1-%2.png").arg(stem).arg(size),
                     QSize(size, size));
    return icon;
}

} // namespace

QIcon ImageList::picture(int index)
{
    switch (index) {
    case LightIdle:
        return QIcon(QStringLiteral(":/lonvera/ui/light-idle.png"));
    case LightBusy:
        return QIcon(QStringLiteral(":/lonvera/ui/light-busy.png"));
    case LightOff:
        return QIcon(QStringLiteral(":/lonvera/ui/light-off.png"));
    case DeviceNotInUse:
        return QIcon(QStringLiteral(":/lonvera/ui/device-not-in-use.png"));
    case DeviceInUse:
        return QIcon(QStringLiteral(":/lonvera/ui/device-in-use.png"));
    default:
        return {};
    }
}

int ImageList::lightPicture(server::Light light)
{
    switch (light) {
    case server::Light::Idle:
        return LightIdle;
    case server::Light::Busy:
        return LightBusy;
    case server::Light::NotConnected:
        break;
    }
    return LightOff;
}

QIcon ImageList::idleProgramIcon(const QString &iconFile)
{
    if (!iconFile.isEmpty() && QFileInfo::exists(iconFile)) {
        const QIcon file(iconFile);
        // An .ico the image plugins cannot read gives an icon without sizes.
        if (!file.availableSizes().isEmpty())
            return file;
    }
    return programIcon(QStringLiteral("program"));
}

QIcon ImageList::busyProgramIcon()
{
    return programIcon(QStringLiteral("program-busy"));
}

} // namespace lonvera::ui
