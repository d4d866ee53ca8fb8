// The window's pictures: the image list of the device list and the status lights (2 green light,
// idle; 3 red light, working; 4 grey light, not in use; 5 device not in use; 6 device in use) and
// the program icon while idle and while working. Drawn pictures built in as resources; the idle
// program icon is replaced by an icon file when one is configured and can be read. GUI thread.
#pragma once

#include "server/core/gateway_view.h"

#include <QIcon>

namespace lonvera::ui {

class ImageList
{
public:
    static constexpr int LightIdle = 2;
    static constexpr int LightBusy = 3;
    static constexpr int LightOff = 4;
    static constexpr int DeviceNotInUse = 5;
    static constexpr int DeviceInUse = 6;

    /// Picture `index` of the list; a null icon for an index it does not hold.
    static QIcon picture(int index);
    static int lightPicture(server::Light light);

    /// The program icon: the file when given and readable, else the drawn idle icon.
    static QIcon idleProgramIcon(const QString &iconFile = {});
    static QIcon busyProgramIcon();
};

} // namespace lonvera::ui
