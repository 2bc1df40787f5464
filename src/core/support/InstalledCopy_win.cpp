#include "support/ApplicationFolder.h"

#include <QDir>

namespace quorvane {

bool isInstalledCopyFolder(const QString& folder)
{
    // An installed copy lives below one of the Program Files folders (the 64-bit one, and the
    // 32-bit one beside it), which is no place for log files even for an administrator.
    for (const char* variable : { "ProgramFiles", "ProgramW6432", "ProgramFiles(x86)" }) {
        const QString root = QDir::cleanPath(QDir::fromNativeSeparators(qEnvironmentVariable(variable)));
        if (root.isEmpty())
            continue;
        if (folder.compare(root, Qt::CaseInsensitive) == 0
            || folder.startsWith(root + QLatin1Char('/'), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace quorvane
