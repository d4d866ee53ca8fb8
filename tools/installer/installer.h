// The installation Stavro runs: the runtime components in order, then the control library copied
// from beside the installer into the machine's system folder (replacing the one there) and
// registered. Only the library copy decides the outcome the operator is told; the runtime step
// names what it could not install. No widgets, so a silent installation runs without a display.
// Main thread.
#pragma once

#include "tools/installer/runtime_components.h"

#include <QStringList>

namespace lonvera::installer {

/// True when the arguments (without the program name) ask for a silent installation: "/s" as a
/// whole argument, or a longer switch beginning with it ("/silent"). An argument that is a path
/// ("/srv/gateway", "/home/s/x") is no switch, even though it holds "/s".
bool isSilent(const QStringList &arguments);

struct Outcome
{
    bool libraryCopied = false;
    QStringList missingPackages; ///< runtime packages still missing after the run
};

class Installer
{
public:
    /// installerFolder holds the control library to install.
    Installer(QStringList arguments, QString installerFolder, PackageManager *packages);

    bool silent() const { return m_silent; }

    /// Places one runtime component: its present packages are left alone, missing ones are
    /// installed when that is allowed. Returns the packages still missing.
    QStringList writeAndRegister(const RuntimeComponent &component);

    /// The whole installation after the button was pressed.
    Outcome install();

    /// What the operator is told at the end, in order; nothing in silent mode.
    QStringList finalMessages(const Outcome &outcome) const;

    /// The text naming the command that installs the missing packages ("" when none are).
    static QString missingRuntimeText(const QStringList &missingPackages);

private:
    QStringList m_arguments;
    QString m_folder;
    PackageManager *m_packages;
    bool m_silent;
};

/// The final message of a successful installation.
QString doneMessage();
/// The final message when the control library could not be copied.
QString copyFailedMessage();

} // namespace lonvera::installer
