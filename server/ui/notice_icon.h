// The notification-area icon of the main window: add, modify and delete, as the window uses them,
// with the tip kept to what the notification record holds (64 bytes in the Chinese code page with
// the closing NUL). A left click and the right-click menu are passed on. GUI thread.
#pragma once

#include <QIcon>
#include <QObject>

#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace lonvera::ui {

class NoticeIcon : public QObject
{
    Q_OBJECT
public:
    /// Bytes of the tip field, the closing NUL included.
    static constexpr int kTipBytes = 64;

    /// menu: opened by a right click on the icon.
    explicit NoticeIcon(QMenu *menu, QObject *parent = nullptr);
    ~NoticeIcon() override;

    /// The tip as the record holds it: at most kTipBytes - 1 bytes in GB18030, cut before a
    /// character that no longer fits whole.
    static QString fitTip(const QString &tip);

    /// Whether the desktop has a notification area to show the icon in.
    static bool isAvailable();
    /// Tests: a desktop with (true) or without (false) a notification area; nullopt asks the
    /// desktop again.
    static void setAvailabilityOverride(std::optional<bool> available);

    void trayAdd(const QString &tip, const QIcon &icon);
    /// Replaces tip and icon of a shown icon; does nothing while none is shown.
    void trayModify(const QString &tip, const QIcon &icon);
    void trayDelete();

    bool isShown() const;
    /// The tip as stored (cut, carriage returns kept).
    QString tip() const { return m_tip; }
    QIcon icon() const { return m_icon; }

signals:
    void added();
    void leftClicked();

private:
    void apply(const QString &tip, const QIcon &icon);

    QMenu *m_menu;
    QSystemTrayIcon *m_tray = nullptr;
    QString m_tip;
    QIcon m_icon;
};

} // namespace lonvera::ui
