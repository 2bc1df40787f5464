#pragma once

#include "keys/KeyDetails.h"

#include <vector>

namespace quorvane {

namespace db {
    class Connection;
}

// Every primary key of the database with what the list does not show: whether the key is clustered,
// the table's row count and reserved pages, and the rebuilds the server will refuse. It reads only
// the system tables SQL Server 2000 has and every later version keeps as compatibility views
// (sysobjects, sysindexes, sysreferences), so it runs unchanged on all of them. Columns, in order:
// constraint name, table name, clustered (1/0), row count, reserved pages (8 KB each), the
// refusals as the sum of their KeyRefusal values (1 referenced by a foreign key, 2 another
// clustered index, 8 the table not reachable as dbo.[table]), and the filegroup of the table's
// data (NULL for a table on a partition scheme).
inline constexpr char kKeyDetailsQuery[]
    = "SELECT k.name AS constraint_name, t.name AS table_name, "
      "CASE WHEN i.indid = 1 THEN 1 ELSE 0 END AS is_clustered, "
      "d.rowcnt AS row_count, "
      "(SELECT SUM(s.reserved) FROM sysindexes s WHERE s.id = t.id AND s.indid IN (0, 1, 255)) AS reserved_pages, "
      "CASE WHEN EXISTS (SELECT * FROM sysreferences r WHERE r.rkeyid = t.id AND r.rkeyindid = i.indid) "
      "THEN 1 ELSE 0 END "
      "+ CASE WHEN EXISTS (SELECT * FROM sysindexes c WHERE c.id = t.id AND c.indid = 1 AND c.name <> k.name) "
      "THEN 2 ELSE 0 END "
      "+ CASE WHEN OBJECT_ID(N'dbo.' + QUOTENAME(t.name)) = t.id THEN 0 ELSE 8 END AS refusals, "
      "FILEGROUP_NAME(d.groupid) AS filegroup "
      "FROM sysobjects k "
      "JOIN sysobjects t ON t.id = k.parent_obj "
      "JOIN sysindexes i ON i.id = k.parent_obj AND i.name = k.name "
      "JOIN sysindexes d ON d.id = k.parent_obj AND d.indid < 2 "
      "WHERE k.xtype = 'PK' ORDER BY k.name";

// The number of a field that does not hold a number: the classic runtime's "Type mismatch".
inline constexpr std::int32_t kTypeMismatch = 13;

// Sends the details query and reads every row. Throws Failure for a refused query, a lost
// connection, or a field that is not what the query promises.
std::vector<NamedKeyDetails> readKeyDetails(db::Connection& connection);

} // namespace quorvane
