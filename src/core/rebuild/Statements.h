#pragma once

#include <QString>

namespace quorvane {

// A name inside square brackets: "[" name "]" with every "]" inside doubled, so it stays one identifier.
QString bracketedName(const QString& name);

// A name inside single quotes: "'" name "'" with every "'" inside doubled, so it stays one literal.
QString quotedLiteral(const QString& text);

// A Unicode literal: "N'" text "'" with every "'" inside doubled. The server compares it as it
// stands; a literal without N is first converted to the database's code page, which turns the
// characters it cannot hold into question marks.
QString unicodeLiteral(const QString& text);

// The key-column query: the column names of the key of dbo.[table] in ascending key position.
// Shared by the key-column view, the rebuild and the script.
QString keyColumnQuery(const QString& strTable, const QString& strConstraint);

// The filegroup that holds dbo.[table]'s data now, that of its heap or clustered index: one row,
// NULL for a table on a partition scheme; no row when there is no such table.
QString tableFilegroupQuery(const QString& strTable);

// The sessions other than this one granted a lock on dbo.[table]: session id, host, login and
// program; from the lock and session views of SQL Server 2005 and later, and from those of SQL
// Server 2000, which has not got the newer views.
QString lockHoldersQuery(const QString& strTable);
QString lockHoldersQuery2000(const QString& strTable);

// 1 when the index of the key is clustered now, 0 when not, NULL when there is no such key.
QString keyIsClusteredQuery(const QString& strTable, const QString& strConstraint);

// "[a],[b],[c]" from the column names in key order; empty for no columns.
QString bracketedColumnList(const QStringList& columns);

// ALTER TABLE dbo.[table] DROP CONSTRAINT [constraint]
QString dropConstraintStatement(const QString& strTable, const QString& strConstraint);

// ALTER TABLE dbo.[table] ADD CONSTRAINT [constraint] PRIMARY KEY CLUSTERED  (columns) ON [filegroup]:
// on the filegroup the table's data is on, as a clustered index holds the data and goes where it
// is told.
QString addClusteredKeyStatement(const QString& strTable, const QString& strConstraint, const QString& columnList,
                                 const QString& filegroup);

} // namespace quorvane
