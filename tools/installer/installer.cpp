// See installer.h.
#include "tools/installer/installer.h"

#include "platform/component_registry.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace lonvera::installer {

using namespace Qt::StringLiterals;

bool isSilent(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        // A switch is one word; a second slash makes it a path.
        if (argument.startsWith(u"/s"_s) && !argument.mid(1).contains(u'/'))
            return true;
    }
    return false;
}

Installer::Installer(QStringList arguments, QString installerFolder, PackageManager *packages)
    : m_arguments(std::move(arguments)), m_folder(std::move(installerFolder)), m_packages(packages),
      m_silent(isSilent(m_arguments))
{
}

QStringList Installer::writeAndRegister(const RuntimeComponent &component)
{
    QStringList missing;
    for (const QString &package : component.packages) {
        if (!m_packages->isInstalled(package))
            missing.append(package);
    }
    // Installed once, never replaced: the package manager owns what is there.
    if (missing.isEmpty() || !m_packages->canInstall())
        return missing;
    m_packages->install(missing);
    QStringList still;
    for (const QString &package : std::as_const(missing)) {
        if (!m_packages->isInstalled(package))
            still.append(package);
    }
    return still;
}

Outcome Installer::install()
{
    Outcome outcome;
    const QString system = platform::systemFolder();
    for (const RuntimeComponent &component : runtimeComponents())
        outcome.missingPackages += writeAndRegister(component);

    const QString libraryName = QString::fromLatin1(platform::kControlLibraryFile);
    const QString target = QDir(system).filePath(libraryName);
    QDir().mkpath(system);
    outcome.libraryCopied = platform::copyComponent(QDir(m_folder).filePath(libraryName), target);
    // Registration is not examined, as regsvr32's answer never was; a library that is not in the
    // system folder at all is not recorded there.
    if (QFileInfo::exists(target))
        platform::registerControlLibrary(target);

    if (!outcome.missingPackages.isEmpty())
        std::fprintf(stderr, "Stavro: %s\n",
                     qPrintable(missingRuntimeText(outcome.missingPackages)));
    if (!outcome.libraryCopied)
        std::fprintf(stderr, "Stavro: cannot copy %s into %s\n",
                     qPrintable(QDir(m_folder).filePath(libraryName)), qPrintable(system));
    return outcome;
}

QStringList Installer::finalMessages(const Outcome &outcome) const
{
    if (m_silent)
        return {};
    QStringList messages;
    if (!outcome.missingPackages.isEmpty())
        messages.append(missingRuntimeText(outcome.missingPackages));
    messages.append(outcome.libraryCopied ? doneMessage() : copyFailedMessage());
    return messages;
}

QString Installer::missingRuntimeText(const QStringList &missingPackages)
{
    if (missingPackages.isEmpty())
        return {};
    return u"缺少运行组件，请以管理员身份运行：\n"_s + installCommand(missingPackages);
}

QString doneMessage()
{
    return u"安装完成"_s;
}

QString copyFailedMessage()
{
    return u"控件注册失败！控件可能在调用中，请重启系统再试！"_s;
}

} // namespace lonvera::installer
