// See status_lights.h.
#include "server/ui/status_lights.h"

#include "server/ui/image_list.h"
#include "server/ui/list_filler.h"

#include <QEvent>
#include <QLabel>

namespace lonvera::ui {

using namespace Qt::StringLiterals;

namespace {

// The designed place of light 1 and number 1, and the sizes, in twips.
constexpr int kLightLeft = 240;
constexpr int kLightTop = 360;
constexpr int kLightSize = 330;
constexpr int kNumberTop = kLightTop + kLightSize + 45;
constexpr int kNumberHeight = 255;
constexpr int kMargin = 240;

} // namespace

StatusLights::StatusLights(QWidget *parent) : QGroupBox(parent)
{
    setObjectName(u"Frame3"_s);
    setTitle(u"端口状态指示(绿灯:空闲,红灯:工作中,灰灯:未启用)"_s);
    setToolTip(u"绿灯表示该设备空闲,红灯表示工作中,灰灯表示未启用"_s);
    for (int i = 1; i <= kLights; ++i) {
        auto *image = new QLabel(this);
        image->setObjectName(u"Image1_%1"_s.arg(i));
        image->setAlignment(Qt::AlignCenter);
        auto *number = new QLabel(QString::number(i), this);
        number->setObjectName(u"Label5_%1"_s.arg(i));
        number->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        m_lights[std::size_t(i - 1)] = image;
        m_numbers[std::size_t(i - 1)] = number;
        setLight(i, server::Light::NotConnected);
    }
    layOut();
}

int StatusLights::offsetTwips(int i)
{
    return kSpacingTwips * (i - 1) + (i >= 10 ? kTwoDigitShiftTwips : 0);
}

int StatusLights::pixels(double twips) const
{
    return twipsToPixels(twips, logicalDpiX());
}

void StatusLights::layOut()
{
    const int size = pixels(kLightSize);
    for (int i = 1; i <= kLights; ++i) {
        // Each place is converted from its own twips, so rounding never adds up along the row.
        const int left = kLightLeft + offsetTwips(i);
        light(i)->setGeometry(pixels(left), pixels(kLightTop), size, size);
        // The number is centred under its light and may be wider than it.
        number(i)->setGeometry(pixels(left - 60), pixels(kNumberTop), pixels(kLightSize + 120),
                               pixels(kNumberHeight));
        light(i)->setPixmap(ImageList::picture(m_pictures[std::size_t(i - 1)]).pixmap(size, size));
        light(i)->setVisible(i <= m_deviceCount);
        number(i)->setVisible(i <= m_deviceCount);
    }
    const int width = kLightLeft + offsetTwips(kLights) + kLightSize + kMargin;
    setMinimumSize(pixels(width), pixels(kNumberTop + kNumberHeight + kMargin / 2.0));
}

void StatusLights::setDeviceCount(int count)
{
    m_deviceCount = std::clamp(count, 0, kLights);
    for (int i = 1; i <= kLights; ++i) {
        light(i)->setVisible(i <= m_deviceCount);
        number(i)->setVisible(i <= m_deviceCount);
    }
}

void StatusLights::setLight(int i, server::Light state)
{
    if (i < 1 || i > kLights)
        return;
    const int picture = ImageList::lightPicture(state);
    m_pictures[std::size_t(i - 1)] = picture;
    const int size = pixels(kLightSize);
    light(i)->setPixmap(ImageList::picture(picture).pixmap(size, size));
}

bool StatusLights::event(QEvent *event)
{
    // A move to a screen of another DPI changes every pixel place.
    if (event->type() == QEvent::ScreenChangeInternal)
        layOut();
    return QGroupBox::event(event);
}

} // namespace lonvera::ui
