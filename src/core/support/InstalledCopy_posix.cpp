#include "support/ApplicationFolder.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

bool isInstalledCopyFolder(const QString& folder)
{
    // A copy installed by a package lives under /usr, which is no place for log files even for
    // root, who could write there.
    return folder.startsWith(QLatin1String("/usr/"));
}

bool isFolderOnlyTheUserWrites(const QString& folder)
{
    // Another user who can write here could plant a link named like a log and have the program
    // append to a file of this user's.
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        return false;
    const bool trustedOwner = status.st_uid == ::geteuid() || status.st_uid == 0;
    return trustedOwner && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace quorvane
