#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace quorvane::cli {

// What the catalogue tells about a key beyond the list: filled when the details could be read.
struct KeyDetails
{
    QString schema;
    bool clustered = false;
    qint64 rows = 0;
    qint64 reservedKb = 0;
    QString refusal; // the rebuild the server is expected to refuse, in a few words; empty: none
};

// One primary key as the commands show and choose it: one row of the primary-key list, in list order.
struct KeyRow
{
    QString constraint;
    QString table;
    QString catalog;
    std::optional<KeyDetails> details;
};

using KeyRows = QList<KeyRow>;

} // namespace quorvane::cli
