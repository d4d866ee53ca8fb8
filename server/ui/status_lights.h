// Frame3, the row of 16 status lights (Image1) with their numbers (Label5) under them. Places are
// designed in twips and converted through the screen's logical DPI, so the row keeps its shape on
// a HiDPI screen: each light and number sits 460 twips right of the one before, and from 10 on a
// further 80 twips, where the numbers get two digits. Lights beyond the device count are hidden.
// GUI thread.
#pragma once

#include "server/core/gateway_view.h"

#include <QGroupBox>

#include <array>

class QLabel;

namespace lonvera::ui {

class StatusLights : public QGroupBox
{
    Q_OBJECT
public:
    static constexpr int kLights = server::GatewayView::kLights;
    static constexpr int kSpacingTwips = 460;
    static constexpr int kTwoDigitShiftTwips = 80;

    explicit StatusLights(QWidget *parent = nullptr);

    /// Left edge of light or number i (1 … 16) in twips, relative to light or number 1.
    static int offsetTwips(int i);

    /// Lays the lights out again (for a change of screen) and shows lights 1 … count only.
    void layOut();
    void setDeviceCount(int count);
    void setLight(int i, server::Light state);

    QLabel *light(int i) const { return m_lights[std::size_t(i - 1)]; }
    QLabel *number(int i) const { return m_numbers[std::size_t(i - 1)]; }
    /// Picture index a light shows (2 idle, 3 busy, 4 off).
    int lightPicture(int i) const { return m_pictures[std::size_t(i - 1)]; }

    /// Twips to pixels at this widget's logical DPI.
    int pixels(double twips) const;

protected:
    bool event(QEvent *event) override;

private:
    std::array<QLabel *, kLights> m_lights{};
    std::array<QLabel *, kLights> m_numbers{};
    std::array<int, kLights> m_pictures{};
    int m_deviceCount = kLights;
};

} // namespace lonvera::ui
