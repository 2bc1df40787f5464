#include "support/ApplicationFolder.h"

#include "support/FileHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorvane {

namespace {

    QString perUserFolderCreated(const QString& folder)
    {
        QDir().mkpath(folder);
        return QDir::toNativeSeparators(folder);
    }

} // namespace

QString resolveApplicationFolder(const QString& executableFolder, const QString& perUserDataFolder)
{
    const QFileInfo folder(executableFolder);
    const QString absolute = QDir::cleanPath(folder.absoluteFilePath());
    if (!isFolderOnlyTheUserWrites(absolute))
        return perUserFolderCreated(perUserDataFolder);
    if (folder.isDir() && !isInstalledCopyFolder(absolute) && canCreateFilesIn(absolute))
        return QDir::toNativeSeparators(folder.absoluteFilePath());
    return perUserFolderCreated(perUserDataFolder);
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
