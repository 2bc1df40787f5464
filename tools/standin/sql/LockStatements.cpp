// The statements about locks: SELECT @@LOCK_TIMEOUT and the two lock-holder queries, recognised
// and answered here; SET LOCK_TIMEOUT is one of the SET options.
#include "sql/BatchEngine.h"
#include "sql/ServerErrors.h"
#include "sql/SqlCursor.h"
#include "sql/Statements.h"

namespace standin {

namespace {
    const QList<SqlToken>& lockTimeoutPattern()
    {
        static const QList<SqlToken> tokens = tokenize(QStringLiteral("SELECT @@LOCK_TIMEOUT")).tokens;
        return tokens;
    }
    // The queries as the program sends them; '?' stands for the text OBJECT_ID is given.
    const QList<SqlToken>& lockHoldersPattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(
                  QStringLiteral(
                      "SELECT DISTINCT s.session_id, s.host_name, s.login_name, s.program_name "
                      "FROM sys.dm_tran_locks l JOIN sys.dm_exec_sessions s ON s.session_id = l.request_session_id "
                      "WHERE l.resource_type = 'OBJECT' AND l.resource_database_id = DB_ID() "
                      "AND l.resource_associated_entity_id = OBJECT_ID(?) AND l.request_status = 'GRANT' "
                      "AND l.request_session_id <> @@SPID ORDER BY s.session_id"))
                  .tokens;
        return tokens;
    }
    const QList<SqlToken>& lockHolders2000Pattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(QStringLiteral("SELECT DISTINCT p.spid, p.hostname, p.loginame, p.program_name "
                                      "FROM master..syslockinfo l JOIN master..sysprocesses p ON p.spid = l.req_spid "
                                      "WHERE l.rsc_type = 5 AND l.rsc_dbid = DB_ID() AND l.rsc_objid = OBJECT_ID(?) "
                                      "AND l.req_status = 1 AND l.req_spid <> @@SPID ORDER BY p.spid"))
                  .tokens;
        return tokens;
    }

    // The table OBJECT_ID names, given "[schema.]table" with either part bracketed or quoted.
    std::optional<LockedTable> objectTable(BatchEngine& engine, const QString& object)
    {
        const QList<SqlToken> tokens = tokenize(object).tokens;
        TableName name;
        if (tokens.size() == 1 && tokens[0].isName())
            name.name = tokens[0].text;
        else if (tokens.size() == 3 && tokens[0].isName() && tokens[1].isSymbol(u".") && tokens[2].isName())
            name = { tokens[0].text, tokens[2].text };
        else
            return std::nullopt;
        const auto table = engine.database().findTable(name.schema, name.name);
        if (!table)
            return std::nullopt;
        return LockedTable { engine.databaseIndex(), *table };
    }

    // The other sessions holding a lock on the table OBJECT_ID names; none when it names none.
    QList<SessionInfo> holders(BatchEngine& engine, const QString& object)
    {
        const auto table = objectTable(engine, object);
        return table ? engine.locks().holdersOtherThan(engine.identity().spid, *table) : QList<SessionInfo> {};
    }
} // namespace

std::optional<statement::SelectLockTimeout> statement::SelectLockTimeout::recognise(SqlCursor& cursor)
{
    return cursor.pattern(lockTimeoutPattern()) ? std::optional(SelectLockTimeout {}) : std::nullopt;
}

std::optional<statement::LockHolders> statement::LockHolders::recognise(SqlCursor& cursor)
{
    QStringList captures;
    if (!cursor.pattern(lockHoldersPattern(), &captures))
        return std::nullopt;
    return LockHolders { captures.value(0) };
}

std::optional<statement::LockHolders2000> statement::LockHolders2000::recognise(SqlCursor& cursor)
{
    QStringList captures;
    if (!cursor.pattern(lockHolders2000Pattern(), &captures))
        return std::nullopt;
    return LockHolders2000 { captures.value(0) };
}

std::optional<TableName> lockedTable(const Action& action)
{
    return std::visit(
        [](const auto& statement) -> std::optional<TableName> {
            if constexpr (requires { statement.lockedTable(); })
                return statement.lockedTable();
            else
                return std::nullopt;
        },
        action);
}

namespace statement {

    void SelectLockTimeout::run(BatchEngine& engine) const
    {
        ResultSet result;
        result.columns = { { QString(), ColumnDef::Kind::Int, 4 } };
        result.rows = { Row { static_cast<std::int32_t>(engine.lockTimeout()) } };
        engine.rows(result);
    }

    void LockHolders::run(BatchEngine& engine) const
    {
        const ConnectionIdentity& identity = engine.identity();
        if (identity.release == u"2000")
            return engine.fail({ errors::invalidObjectName(QStringLiteral("sys.dm_tran_locks")) });
        if (!identity.viewServerState)
            return engine.fail({ errors::serverPermissionDenied(identity.release == u"2022"
                                                                    ? QStringLiteral("VIEW SERVER PERFORMANCE STATE")
                                                                    : QStringLiteral("VIEW SERVER STATE")),
                                 errors::noPermission() });
        ResultSet result;
        result.columns = { { QStringLiteral("session_id"), ColumnDef::Kind::SmallInt, 2 },
                           { QStringLiteral("host_name"), ColumnDef::Kind::NVarChar, 128 },
                           { QStringLiteral("login_name"), ColumnDef::Kind::NVarChar, 128 },
                           { QStringLiteral("program_name"), ColumnDef::Kind::NVarChar, 128 } };
        for (const SessionInfo& session : holders(engine, object))
            result.rows.append(
                Row { static_cast<std::int32_t>(session.spid), session.host, session.login, session.program });
        engine.rows(result);
    }

    void LockHolders2000::run(BatchEngine& engine) const
    {
        constexpr int kWidth = 128;
        ResultSet result;
        result.columns = { { QStringLiteral("spid"), ColumnDef::Kind::SmallInt, 2 },
                           { QStringLiteral("hostname"), ColumnDef::Kind::NChar, kWidth },
                           { QStringLiteral("loginame"), ColumnDef::Kind::NChar, kWidth },
                           { QStringLiteral("program_name"), ColumnDef::Kind::NChar, kWidth } };
        // Without VIEW SERVER STATE, sysprocesses on SQL Server 2005 and later shows the own session only.
        const bool seesOthers = engine.identity().viewServerState || engine.identity().release == u"2000";
        for (const SessionInfo& session : seesOthers ? holders(engine, object) : QList<SessionInfo> {})
            result.rows.append(Row {
                static_cast<std::int32_t>(session.spid), session.host.leftJustified(kWidth, u' ', true),
                session.login.leftJustified(kWidth, u' ', true), session.program.leftJustified(kWidth, u' ', true) });
        engine.rows(result);
    }

} // namespace statement

} // namespace standin
