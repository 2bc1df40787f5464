#include "rebuild/RebuildPlan.h"

#include "db/Connection.h"
#include "db/RecordSetErrors.h"
#include "rebuild/KeyColumns.h"
#include "rebuild/Statements.h"

#include <QSet>
#include <memory>
#include <optional>

namespace quorvane {

namespace {

    // The filegroup of the table's data; empty for a table on a partition scheme, nothing when the
    // table is not there.
    std::optional<QString> tableFilegroup(db::Connection& connection, const QString& strTable)
    {
        const std::unique_ptr<db::RecordSet> rs = connection.Execute(tableFilegroupQuery(strTable));
        if (rs->eof())
            return std::nullopt;
        // NULL: the data is spread over a partition scheme's filegroups.
        return db::fieldTextOrEmpty(*rs, 0);
    }

    // The first column named twice (names compare as the server's case-insensitive collation does).
    std::optional<QString> repeatedColumn(const QStringList& columns)
    {
        QSet<QString> seen;
        for (const QString& column : columns) {
            const QString key = column.toCaseFolded();
            if (seen.contains(key))
                return column;
            seen.insert(key);
        }
        return std::nullopt;
    }

} // namespace

RebuildPlan planRebuild(db::Connection& connection, const QString& strTable, const QString& strConstraint)
{
    RebuildPlan plan;
    const QStringList columns = keyColumns(connection, strTable, strConstraint);
    plan.columnList = bracketedColumnList(columns);
    if (plan.columnList.trimmed().isEmpty()) {
        plan.skipReason = QStringLiteral("the key has no columns");
        return plan;
    }
    if (const auto column = repeatedColumn(columns)) {
        plan.skipReason = QStringLiteral("the key names the column %1 twice").arg(bracketedName(*column));
        return plan;
    }
    const std::optional<QString> filegroup = tableFilegroup(connection, strTable);
    if (!filegroup) {
        plan.skipReason = QStringLiteral("the table dbo.%1 was not found").arg(bracketedName(strTable));
        return plan;
    }
    if (filegroup->isEmpty()) {
        plan.skipReason = QStringLiteral("the table's data is on a partition scheme");
        return plan;
    }
    plan.drop = dropConstraintStatement(strTable, strConstraint);
    plan.add = addClusteredKeyStatement(strTable, strConstraint, plan.columnList, *filegroup);
    return plan;
}

} // namespace quorvane
