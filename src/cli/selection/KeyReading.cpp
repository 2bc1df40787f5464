#include "selection/KeyReading.h"

#include "db/Connection.h"
#include "keys/KeyDetailsQuery.h"
#include "keys/PrimaryKeyListQuery.h"
#include "support/Guard.h"

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

void attachKeyDetails(KeyRows& rows, db::Connection& connection, const ErrorReport& report)
{
    guardedQuietly(report, "LoadKeyDetails", [&] {
        KeyDetailsIndex index(readKeyDetails(connection));
        for (KeyRow& row : rows)
            row.details = index.take(row.constraint, row.table);
    });
}

} // namespace quorvane::cli
