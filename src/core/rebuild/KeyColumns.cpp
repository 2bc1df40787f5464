#include "rebuild/KeyColumns.h"

#include "db/Connection.h"
#include "rebuild/Statements.h"

#include <memory>

namespace quorvane {

QStringList keyColumns(db::Connection& connection, const QString& strTable, const QString& strConstraint)
{
    QStringList columns;
    const std::unique_ptr<db::RecordSet> rsKeys = connection.Execute(keyColumnQuery(strTable, strConstraint));
    while (!rsKeys->eof()) {
        columns.append(rsKeys->Fields(0));
        rsKeys->MoveNext();
    }
    return columns;
}

} // namespace quorvane
