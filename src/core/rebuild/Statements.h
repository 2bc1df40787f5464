#pragma once

#include <QString>

namespace quorvane {

// A name inside square brackets: "[" name "]" with every "]" inside doubled, so it stays one identifier.
QString bracketedName(const QString& name);

// A name inside single quotes: "'" name "'" with every "'" inside doubled, so it stays one literal.
QString quotedLiteral(const QString& text);

// The key-column query: the key's column names in ascending key position, matched on constraint
// and table name only (no schema filter). Shared by the key-column view and the rebuild.
QString keyColumnQuery(const QString& strTable, const QString& strConstraint);

// "[a],[b],[c]" from the column names in key order; empty for no columns.
QString bracketedColumnList(const QStringList& columns);

// ALTER TABLE dbo.[table] DROP CONSTRAINT [constraint]
QString dropConstraintStatement(const QString& strTable, const QString& strConstraint);

// ALTER TABLE dbo.[table] ADD CONSTRAINT [constraint] PRIMARY KEY CLUSTERED  (columns) ON [PRIMARY]
QString addClusteredKeyStatement(const QString& strTable, const QString& strConstraint, const QString& columnList);

} // namespace quorvane
