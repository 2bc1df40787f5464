#pragma once

#include <QString>
#include <optional>

namespace quorvane {

// "Clustered Index Fix Utility - v<major>.<minor>.<revision>  (TVL 2006)": plain decimal numbers,
// two blanks before the parenthesis.
QString versionCaption(int major, int minor, int revision);

// "Selected Keys: " followed by the count, or by nothing when counting failed.
QString selectedKeysCaption(std::optional<qint32> count);

} // namespace quorvane
