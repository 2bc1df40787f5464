#include "rebuild/Statements.h"

#include <QStringList>

namespace quorvane {

QString bracketedName(const QString& name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char(']'), QLatin1String("]]"));
    return QLatin1Char('[') + escaped + QLatin1Char(']');
}

QString quotedLiteral(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString keyColumnQuery(const QString& strTable, const QString& strConstraint)
{
    // Each piece carries its own blanks: one blank between clauses, none at the end.
    return QStringLiteral("SELECT isKCU.COLUMN_NAME ")
        + QStringLiteral("FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU ")
        + QStringLiteral("WHERE isKCU.CONSTRAINT_NAME = ") + quotedLiteral(strConstraint) + QStringLiteral(" ")
        + QStringLiteral("AND isKCU.TABLE_NAME = ") + quotedLiteral(strTable) + QStringLiteral(" ")
        + QStringLiteral("ORDER BY isKCU.ORDINAL_POSITION");
}

QString bracketedColumnList(const QStringList& columns)
{
    QString strColumns;
    for (const QString& column : columns)
        strColumns += bracketedName(column) + QLatin1Char(',');
    strColumns.chop(1);
    return strColumns;
}

QString dropConstraintStatement(const QString& strTable, const QString& strConstraint)
{
    return QStringLiteral("ALTER TABLE dbo.") + bracketedName(strTable) + QStringLiteral(" DROP CONSTRAINT ")
        + bracketedName(strConstraint);
}

QString addClusteredKeyStatement(const QString& strTable, const QString& strConstraint, const QString& columnList)
{
    // "CLUSTERED " and " (" meet with two blanks between them, as the statement has always been sent.
    return QStringLiteral("ALTER TABLE dbo.") + bracketedName(strTable) + QStringLiteral(" ADD CONSTRAINT")
        + QStringLiteral(" ") + bracketedName(strConstraint) + QStringLiteral(" PRIMARY KEY CLUSTERED ")
        + QStringLiteral(" (") + columnList + QStringLiteral(") ON [PRIMARY]");
}

} // namespace quorvane
