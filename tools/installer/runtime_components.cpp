// See runtime_components.h.
#include "tools/installer/runtime_components.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <unistd.h>

namespace lonvera::installer {

namespace {

// apt-get may take a while on a slow mirror; dpkg-query answers at once.
constexpr int kQueryMs = 30'000;
constexpr int kInstallMs = 30 * 60'000;

bool runApt(const QStringList &arguments)
{
    QProcess apt;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
    apt.setProcessEnvironment(environment);
    apt.setProcessChannelMode(QProcess::ForwardedChannels);
    apt.start(QStringLiteral("apt-get"), arguments);
    return apt.waitForFinished(kInstallMs) && apt.exitStatus() == QProcess::NormalExit &&
           apt.exitCode() == 0;
}

} // namespace

QList<RuntimeComponent> parseRuntimeComponents(const QString &table)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QList<RuntimeComponent> components;
    for (QString line : table.split(u'\n')) {
        const qsizetype comment = line.indexOf(u'#');
        if (comment >= 0)
            line.truncate(comment);
        QStringList words = line.split(blanks, Qt::SkipEmptyParts);
        if (words.size() < 2)
            continue;
        const QString name = words.takeFirst();
        components.append({name, words});
    }
    return components;
}

QList<RuntimeComponent> runtimeComponents()
{
    QFile table(QStringLiteral(":/lonvera/installer/runtime_components.txt"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    return parseRuntimeComponents(QString::fromUtf8(table.readAll()));
}

QString installCommand(const QStringList &packages)
{
    return QStringLiteral("sudo apt-get install -y ") + packages.join(u' ');
}

bool DpkgPackageManager::isInstalled(const QString &package)
{
    QProcess query;
    query.start(QStringLiteral("dpkg-query"),
                {QStringLiteral("-W"), QStringLiteral("-f=${db:Status-Status}"), package});
    if (!query.waitForFinished(kQueryMs) || query.exitCode() != 0)
        return false;
    return query.readAllStandardOutput().trimmed() == "installed";
}

bool DpkgPackageManager::canInstall() const
{
    return ::geteuid() == 0;
}

bool DpkgPackageManager::install(const QStringList &packages)
{
    const QStringList arguments = QStringList{QStringLiteral("install"), QStringLiteral("-y"),
                                              QStringLiteral("--no-install-recommends")} +
                                  packages;
    if (runApt(arguments))
        return true;
    // A fresh machine may not have its package lists yet.
    return runApt({QStringLiteral("update")}) && runApt(arguments);
}

} // namespace lonvera::installer
