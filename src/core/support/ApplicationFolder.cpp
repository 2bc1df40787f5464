#include "support/ApplicationFolder.h"

#include "support/FileHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorvane {

QString resolveApplicationFolder(const QString& executableFolder, const QString& perUserDataFolder)
{
    const QFileInfo folder(executableFolder);
    const QString absolute = QDir::cleanPath(folder.absoluteFilePath());
    if (folder.isDir() && !isInstalledCopyFolder(absolute) && canCreateFilesIn(absolute))
        return QDir::toNativeSeparators(folder.absoluteFilePath());
    QDir().mkpath(perUserDataFolder);
    return QDir::toNativeSeparators(perUserDataFolder);
}

QString perUserDataFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    return QDir::toNativeSeparators(folder);
}

QString applicationFolder()
{
    return resolveApplicationFolder(QCoreApplication::applicationDirPath(), perUserDataFolder());
}

} // namespace quorvane
