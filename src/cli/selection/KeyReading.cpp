#include "selection/KeyReading.h"

#include "db/Connection.h"
#include "keys/PrimaryKeyListQuery.h"

#include <QStringList>

namespace quorvane::cli {

KeyRows loadKeyRows(db::Connection& connection)
{
    KeyRows rows;
    const std::unique_ptr<db::RecordSet> rsKeys = connection.Execute(QString::fromLatin1(kPrimaryKeyListQuery));
    while (!rsKeys->eof()) {
        rows.append(KeyRow { rsKeys->Fields(0), rsKeys->Fields(1), rsKeys->Fields(2), std::nullopt });
        rsKeys->MoveNext();
    }
    return rows;
}

KeyRows keysNamed(const KeyRows& rows, const QStringList& names, QStringList& missing)
{
    KeyRows chosen;
    for (const KeyRow& row : rows)
        if (names.contains(row.constraint))
            chosen.append(row);
    missing.clear();
    for (const QString& name : names) {
        const bool found = std::any_of(chosen.cbegin(), chosen.cend(),
                                       [&name](const KeyRow& row) { return row.constraint == name; });
        if (!found && !missing.contains(name))
            missing.append(name);
    }
    return chosen;
}

} // namespace quorvane::cli
