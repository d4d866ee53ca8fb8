// See notice_icon.h.
#include "server/ui/notice_icon.h"

#include "platform/text_codec.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace lonvera::ui {

NoticeIcon::NoticeIcon(QMenu *menu, QObject *parent) : QObject(parent), m_menu(menu) {}

NoticeIcon::~NoticeIcon()
{
    trayDelete();
}

QString NoticeIcon::fitTip(const QString &tip)
{
    QString out;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < tip.size();) {
        // One character at a time, a surrogate pair as one.
        const qsizetype length = tip[i].isHighSurrogate() && i + 1 < tip.size() ? 2 : 1;
        const QString character = tip.mid(i, length);
        const qsizetype size = platform::toGb18030(character).size();
        if (bytes + size > kTipBytes - 1)
            break;
        bytes += size;
        out += character;
        i += length;
    }
    return out;
}

namespace {

std::optional<bool> &availabilityOverride()
{
    static std::optional<bool> available;
    return available;
}

} // namespace

bool NoticeIcon::isAvailable()
{
    return availabilityOverride().value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void NoticeIcon::setAvailabilityOverride(std::optional<bool> available)
{
    availabilityOverride() = available;
}

void NoticeIcon::trayAdd(const QString &tip, const QIcon &icon)
{
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setContextMenu(m_menu);
        connect(m_tray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    // The right button opens the context menu by itself; other clicks are
                    // ignored.
                    if (reason == QSystemTrayIcon::Trigger)
                        emit leftClicked();
                });
    }
    apply(tip, icon);
    m_tray->show();
    emit added();
}

void NoticeIcon::trayModify(const QString &tip, const QIcon &icon)
{
    if (isShown())
        apply(tip, icon);
}

void NoticeIcon::trayDelete()
{
    if (!m_tray)
        return;
    m_tray->hide();
    delete m_tray;
    m_tray = nullptr;
}

bool NoticeIcon::isShown() const
{
    return m_tray && m_tray->isVisible();
}

void NoticeIcon::apply(const QString &tip, const QIcon &icon)
{
    m_tip = fitTip(tip);
    m_icon = icon;
    QString shown = m_tip;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_tray->setToolTip(shown);
    m_tray->setIcon(icon);
}

} // namespace lonvera::ui
