#pragma once

#include <QString>

namespace quorvane {

namespace db {
    class Connection;
}

// The two statements that re-create one key as clustered, as the catalogue stands now, or why the
// table is to be left alone.
struct RebuildPlan
{
    QString drop;
    QString add;
    QString columnList; // "[a],[b]" in key order
    QString skipReason; // empty: the statements are to be sent
    bool skipped() const { return !skipReason.isEmpty(); }
};

// Reads the key's columns (those of dbo.[table]'s key only) and the filegroup of the table's data,
// and plans the DROP and the ADD on that filegroup. A key without columns, a key that names a
// column twice and a table on a partition scheme are planned as skipped, with the reason. Failures
// of the queries are thrown as they come.
RebuildPlan planRebuild(db::Connection& connection, const QString& strTable, const QString& strConstraint);

} // namespace quorvane
