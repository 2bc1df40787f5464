#include "support/ApplicationFolder.h"

namespace quorvane {

bool isInstalledCopyFolder(const QString& folder)
{
    // A copy installed by a package lives under /usr, which is no place for log files even for
    // root, who could write there.
    return folder.startsWith(QLatin1String("/usr/"));
}

} // namespace quorvane
