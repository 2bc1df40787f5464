#include "log/ApplicationFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorvane {

QString resolveApplicationFolder(const QString& executableFolder, const QString& perUserDataFolder)
{
    const QFileInfo folder(executableFolder);
    // A copy installed by a package lives under /usr, which is no place for log files even for
    // root, who could write there.
    const bool packageInstall = QDir::cleanPath(folder.absoluteFilePath()).startsWith(QLatin1String("/usr/"));
    if (folder.isDir() && folder.isWritable() && !packageInstall)
        return QDir::toNativeSeparators(folder.absoluteFilePath());
    QDir().mkpath(perUserDataFolder);
    return QDir::toNativeSeparators(perUserDataFolder);
}

QString applicationFolder()
{
    return resolveApplicationFolder(QCoreApplication::applicationDirPath(),
                                    QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

} // namespace quorvane
