#include "keys/Captions.h"

namespace quorvane {

QString versionCaption(int major, int minor, int revision)
{
    return QStringLiteral("Clustered Index Fix Utility - v%1.%2.%3  (TVL 2006)").arg(major).arg(minor).arg(revision);
}

QString selectedKeysCaption(std::optional<qint32> count)
{
    const QString prefix = QStringLiteral("Selected Keys: ");
    return count ? prefix + QString::number(*count) : prefix;
}

} // namespace quorvane
