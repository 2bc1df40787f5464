#pragma once

#include "catalogue/Catalogue.h"
#include "protocol/ResultSet.h"
#include "protocol/SqlMessage.h"
#include "sql/Statements.h"

#include <optional>
#include <variant>

namespace standin {

// What a statement that changes a table did: the table and its definition before the change.
struct TableChange
{
    int table = 0;
    Table before;
};

// A changing statement's result: SQL Server's errors, or the change it made.
struct ChangeOutcome
{
    SqlMessages errors;
    std::optional<TableChange> change;
};

// The answers SQL Server gives to the statements, computed on one database.

// INFORMATION_SCHEMA.TABLE_CONSTRAINTS, primary keys only, ordered by constraint name.
ResultSet primaryKeyList(const Database& database);
// Every primary key with its clustering, its table's rows and reserved pages, and the refusals the
// catalogue shows, as the details query over sysobjects, sysindexes and sysreferences reads them;
// ordered by constraint name; withFilegroup adds the filegroup of the table's data (NULL for a
// partitioned table, which also reports 0 rows and 0 pages there).
ResultSet keyDetails(const Database& database, bool withFilegroup = false);
// INFORMATION_SCHEMA.KEY_COLUMN_USAGE for one constraint and table name (and schema, when the query
// names one), in ORDINAL_POSITION order.
ResultSet keyColumns(const Database& database, const statement::KeyColumns& query);
// FILEGROUP_NAME(groupid) of the table's sysindexes row with indid < 2: one row, NULL for a
// partitioned table; no row when OBJECT_ID finds no table.
ResultSet tableFilegroup(const Database& database, const statement::TableFilegroup& query);
// INDEXPROPERTY(..., 'IsClustered'): 1 or 0, NULL when there is no such table or index.
ResultSet indexClustered(const Database& database, const statement::IndexClustered& query);
// sysusers joined with [dbo].[$ndo$usrproperty] on sid, ordered by user name; 208 without the table.
std::variant<ResultSet, SqlMessages> userCheck(const Database& database);
ChangeOutcome dropConstraint(Database& database, const statement::DropConstraint& drop);
ChangeOutcome addPrimaryKey(Database& database, const statement::AddPrimaryKey& add);

} // namespace standin
