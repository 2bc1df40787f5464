#include "log/ApplicationFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorvane {

QString resolveApplicationFolder(const QString& executableFolder, const QString& perUserDataFolder)
{
    const QFileInfo folder(executableFolder);
    if (folder.isDir() && folder.isWritable())
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
