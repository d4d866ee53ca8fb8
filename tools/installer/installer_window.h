// Form1, the installer's window: one button, Command1, that runs the installation, tells the
// operator how it went and ends the program. Every message box goes through one seam, so tests
// see what an operator would be shown. GUI thread.
#pragma once

#include "tools/installer/installer.h"

#include <QWidget>

#include <functional>

class QPushButton;

namespace lonvera::installer {

class InstallerWindow : public QWidget
{
    Q_OBJECT
public:
    using MessageSeam = std::function<void(QWidget *parent, const QString &text)>;

    explicit InstallerWindow(Installer *installer, QWidget *parent = nullptr);

    /// Replaces the message box (tests).
    void setMessageSeam(MessageSeam seam) { m_showMessage = std::move(seam); }
    QPushButton *button() const { return m_command1; }

    /// The window's load: shown for the operator, or kept hidden with the button pressed at once
    /// for a silent installation.
    void start();

signals:
    /// The installation ran and the window closed.
    void finished();

private:
    void install();

    Installer *m_installer;
    QPushButton *m_command1;
    MessageSeam m_showMessage;
};

/// The message box an operator sees.
void showMessageBox(QWidget *parent, const QString &text);

} // namespace lonvera::installer
