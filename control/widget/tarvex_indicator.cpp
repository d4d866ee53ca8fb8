// See tarvex_indicator.h.
#include "control/widget/tarvex_indicator.h"

#include "control/tarvex.h"

#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QStyle>

namespace lonvera::control {

TarvexIndicator::TarvexIndicator(Tarvex *control, QWidget *parent)
    : QWidget(parent), m_bar(new QProgressBar(this)), m_picture(new QLabel(this))
{
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 100);
    m_bar->setValue(100);
    m_picture->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(16, 16));
    m_picture->setAlignment(Qt::AlignCenter);
    connect(control, &Tarvex::waitProgress, this, &TarvexIndicator::onProgress);
    connect(control, &Tarvex::waitFinished, this, &TarvexIndicator::onFinished);
    applyWidthRule();
}

double TarvexIndicator::twipsPerPixel() const
{
    const int dpi = logicalDpiX();
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

bool TarvexIndicator::showsBar() const
{
    return !m_bar->isHidden();
}

bool TarvexIndicator::showsPicture() const
{
    return !m_picture->isHidden();
}

void TarvexIndicator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyWidthRule();
}

void TarvexIndicator::applyWidthRule()
{
    // The bar fills the whole widget; too narrow a bar says nothing, so the picture shows then.
    m_bar->setGeometry(rect());
    m_picture->setGeometry(rect());
    m_wide = width() * twipsPerPixel() >= MinimumBarTwips;
    m_bar->setHidden(!m_wide);
    m_picture->setHidden(m_wide);
    m_bar->setRange(0, 100);
    m_bar->setValue(100);
}

void TarvexIndicator::onProgress(double elapsedSeconds, int maximumSeconds)
{
    if (!m_wide)
        return;
    m_bar->setRange(0, qMax(1, maximumSeconds) * 1000);
    m_bar->setValue(int(qMin<double>(elapsedSeconds, qMax(1, maximumSeconds)) * 1000));
    m_bar->show();
}

void TarvexIndicator::onFinished()
{
    if (m_wide)
        m_bar->setValue(m_bar->maximum());
}

} // namespace lonvera::control
