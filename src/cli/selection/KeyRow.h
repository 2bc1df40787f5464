#pragma once

#include "keys/KeyDetails.h"

#include <QList>
#include <QString>
#include <optional>

namespace quorvane::cli {

// One primary key as the commands show and choose it: one row of the primary-key list, in list
// order, with what the catalogue tells about it when the details could be read.
struct KeyRow
{
    QString constraint;
    QString table;
    QString catalog;
    std::optional<KeyDetails> details;
};

using KeyRows = QList<KeyRow>;

} // namespace quorvane::cli
