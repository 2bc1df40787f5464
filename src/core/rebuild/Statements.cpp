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

QString unicodeLiteral(const QString& text)
{
    return QLatin1Char('N') + quotedLiteral(text);
}

namespace {

    // OBJECT_ID(N'dbo.[table]'): the table the statements' dbo.[table] reaches.
    QString dboObjectId(const QString& strTable)
    {
        return QStringLiteral("OBJECT_ID(") + unicodeLiteral(QStringLiteral("dbo.") + bracketedName(strTable))
            + QLatin1Char(')');
    }

} // namespace

QString keyColumnQuery(const QString& strTable, const QString& strConstraint)
{
    // Each piece carries its own blanks: one blank between clauses, none at the end. A table of the
    // same name with a key of the same name in another schema would otherwise add its columns.
    return QStringLiteral("SELECT isKCU.COLUMN_NAME ")
        + QStringLiteral("FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU ")
        + QStringLiteral("WHERE isKCU.CONSTRAINT_NAME = ") + unicodeLiteral(strConstraint) + QStringLiteral(" ")
        + QStringLiteral("AND isKCU.TABLE_NAME = ") + unicodeLiteral(strTable) + QStringLiteral(" ")
        + QStringLiteral("AND isKCU.TABLE_SCHEMA = N'dbo' ") + QStringLiteral("ORDER BY isKCU.ORDINAL_POSITION");
}

QString tableFilegroupQuery(const QString& strTable)
{
    return QStringLiteral("SELECT FILEGROUP_NAME(groupid) FROM sysindexes WHERE id = ") + dboObjectId(strTable)
        + QStringLiteral(" AND indid < 2");
}

QString lockHoldersQuery(const QString& strTable)
{
    return QStringLiteral("SELECT DISTINCT s.session_id, s.host_name, s.login_name, s.program_name "
                          "FROM sys.dm_tran_locks l JOIN sys.dm_exec_sessions s ON s.session_id = l.request_session_id "
                          "WHERE l.resource_type = 'OBJECT' AND l.resource_database_id = DB_ID() "
                          "AND l.resource_associated_entity_id = ")
        + dboObjectId(strTable)
        + QStringLiteral(" AND l.request_status = 'GRANT' AND l.request_session_id <> @@SPID ORDER BY s.session_id");
}

QString lockHoldersQuery2000(const QString& strTable)
{
    return QStringLiteral("SELECT DISTINCT p.spid, p.hostname, p.loginame, p.program_name "
                          "FROM master..syslockinfo l JOIN master..sysprocesses p ON p.spid = l.req_spid "
                          "WHERE l.rsc_type = 5 AND l.rsc_dbid = DB_ID() AND l.rsc_objid = ")
        + dboObjectId(strTable) + QStringLiteral(" AND l.req_status = 1 AND l.req_spid <> @@SPID ORDER BY p.spid");
}

QString keyIsClusteredQuery(const QString& strTable, const QString& strConstraint)
{
    return QStringLiteral("SELECT INDEXPROPERTY(") + dboObjectId(strTable) + QStringLiteral(", ")
        + unicodeLiteral(strConstraint) + QStringLiteral(", 'IsClustered')");
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

QString addClusteredKeyStatement(const QString& strTable, const QString& strConstraint, const QString& columnList,
                                 const QString& filegroup)
{
    // "CLUSTERED " and " (" meet with two blanks between them, as the statement has always been sent.
    return QStringLiteral("ALTER TABLE dbo.") + bracketedName(strTable) + QStringLiteral(" ADD CONSTRAINT")
        + QStringLiteral(" ") + bracketedName(strConstraint) + QStringLiteral(" PRIMARY KEY CLUSTERED ")
        + QStringLiteral(" (") + columnList + QStringLiteral(") ON ") + bracketedName(filegroup);
}

} // namespace quorvane
