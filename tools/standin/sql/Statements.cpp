#include "sql/Statements.h"

#include "sql/ServerErrors.h"
#include "sql/SqlCursor.h"

namespace standin {

namespace {
    using Kind = SqlToken::Kind;

    const QStringList& statementStarts()
    {
        static const QStringList words
            = { QStringLiteral("SELECT"), QStringLiteral("ALTER"),   QStringLiteral("SET"),
                QStringLiteral("BEGIN"),  QStringLiteral("COMMIT"),  QStringLiteral("ROLLBACK"),
                QStringLiteral("IF"),     QStringLiteral("USE"),     QStringLiteral("INSERT"),
                QStringLiteral("UPDATE"), QStringLiteral("DELETE"),  QStringLiteral("CREATE"),
                QStringLiteral("DROP"),   QStringLiteral("EXEC"),    QStringLiteral("EXECUTE"),
                QStringLiteral("SAVE"),   QStringLiteral("DECLARE"), QStringLiteral("PRINT") };
        return words;
    }

    // The fixed queries, written as the program sends them; '?' stands for a captured string literal.
    const QList<SqlToken>& primaryKeyListPattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(QStringLiteral("SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From "
                                      "INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' "
                                      "ORDER BY [CONSTRAINT_NAME]"))
                  .tokens;
        return tokens;
    }
    // The details query; with the filegroup, as the program sends it since it reads where each table's
    // data is (a seventh column before FROM) and no longer asks for namesakes in other schemas (the
    // key-column query names the schema now).
    const QList<SqlToken>& keyDetailsPattern(bool withFilegroup)
    {
        const auto pattern = [](const char* namesakes, const char* filegroup) {
            return tokenize(
                       QStringLiteral(
                           "SELECT k.name AS constraint_name, t.name AS table_name, "
                           "CASE WHEN i.indid = 1 THEN 1 ELSE 0 END AS is_clustered, d.rowcnt AS row_count, "
                           "(SELECT SUM(s.reserved) FROM sysindexes s WHERE s.id = t.id AND s.indid IN (0, 1, 255)) "
                           "AS reserved_pages, "
                           "CASE WHEN EXISTS (SELECT * FROM sysreferences r WHERE r.rkeyid = t.id "
                           "AND r.rkeyindid = i.indid) THEN 1 ELSE 0 END "
                           "+ CASE WHEN EXISTS (SELECT * FROM sysindexes c WHERE c.id = t.id AND c.indid = 1 "
                           "AND c.name <> k.name) THEN 2 ELSE 0 END ")
                       + QLatin1String(namesakes)
                       + QStringLiteral(
                           "+ CASE WHEN OBJECT_ID(N'dbo.' + QUOTENAME(t.name)) = t.id THEN 0 ELSE 8 END AS refusals")
                       + QLatin1String(filegroup)
                       + QStringLiteral(" FROM sysobjects k JOIN sysobjects t ON t.id = k.parent_obj "
                                        "JOIN sysindexes i ON i.id = k.parent_obj AND i.name = k.name "
                                        "JOIN sysindexes d ON d.id = k.parent_obj AND d.indid < 2 "
                                        "WHERE k.xtype = 'PK' ORDER BY k.name"))
                .tokens;
        };
        static const QList<SqlToken> plain = pattern("+ CASE WHEN (SELECT COUNT(*) FROM sysobjects n WHERE n.xtype = "
                                                     "'U' AND n.name = t.name) > 1 THEN 4 ELSE 0 END ",
                                                     "");
        static const QList<SqlToken> filegroup = pattern("", ", FILEGROUP_NAME(d.groupid) AS filegroup");
        return withFilegroup ? filegroup : plain;
    }
    // The key-column query; with the schema clause and N'' literals as the program sends it since it
    // reads dbo's table only.
    const QList<SqlToken>& keyColumnsPattern(bool withSchema)
    {
        const auto pattern = [](const char* schema) {
            return tokenize(QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU "
                                           "WHERE isKCU.CONSTRAINT_NAME = ? AND isKCU.TABLE_NAME = ? ")
                            + QLatin1String(schema) + QStringLiteral("ORDER BY isKCU.ORDINAL_POSITION"))
                .tokens;
        };
        static const QList<SqlToken> plain = pattern("");
        static const QList<SqlToken> schema = pattern("AND isKCU.TABLE_SCHEMA = ? ");
        return withSchema ? schema : plain;
    }
    const QList<SqlToken>& tableFilegroupPattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(QStringLiteral("SELECT FILEGROUP_NAME(groupid) FROM sysindexes WHERE id = OBJECT_ID(?) "
                                      "AND indid < 2"))
                  .tokens;
        return tokens;
    }
    const QList<SqlToken>& indexClusteredPattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(QStringLiteral("SELECT INDEXPROPERTY(OBJECT_ID(?), ?, 'IsClustered')")).tokens;
        return tokens;
    }
    const QList<SqlToken>& userCheckPattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(QStringLiteral("select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b "
                                      "Where a.sid = b.sid order by a.name"))
                  .tokens;
        return tokens;
    }
    const QList<SqlToken>& tranCountPattern()
    {
        static const QList<SqlToken> tokens = tokenize(QStringLiteral("SELECT @@TRANCOUNT")).tokens;
        return tokens;
    }

    StringLiteral literal(const SqlToken& token)
    {
        return { token.text, token.national };
    }

    std::optional<TableName> tableName(SqlCursor& cursor)
    {
        QStringList parts;
        const auto first = cursor.name();
        if (!first)
            return std::nullopt;
        parts.append(*first);
        while (parts.size() < 3 && cursor.symbol(u".")) {
            const auto next = cursor.name();
            if (!next)
                return std::nullopt;
            parts.append(*next);
        }
        TableName table;
        table.name = parts.takeLast();
        if (!parts.isEmpty())
            table.schema = parts.takeLast();
        return table;
    }

    // TRAN, TRANSACTION or WORK and an optional transaction name after BEGIN, COMMIT or ROLLBACK.
    bool transactionTail(SqlCursor& cursor, bool requireTran)
    {
        const bool tran = cursor.keyword(u"TRAN") || cursor.keyword(u"TRANSACTION");
        if (!tran && !cursor.keyword(u"WORK") && requireTran)
            return false;
        if (tran && cursor.peek() && cursor.peek()->isName() && !startsStatement(*cursor.peek()))
            cursor.name();
        return true;
    }

    std::optional<TranCountCondition> condition(SqlCursor& cursor)
    {
        const qsizetype start = cursor.position();
        if (!cursor.keyword(u"IF"))
            return std::nullopt;
        const SqlToken* variable = cursor.peek();
        if (!variable || variable->kind != Kind::Variable
            || variable->text.compare(u"@@TRANCOUNT", Qt::CaseInsensitive))
            return cursor.rewind(start), std::nullopt;
        cursor.rewind(cursor.position() + 1);
        const SqlToken* op = cursor.peek();
        if (!op || op->kind != Kind::Symbol)
            return cursor.rewind(start), std::nullopt;
        cursor.rewind(cursor.position() + 1);
        const SqlToken* number = cursor.peek();
        bool ok = false;
        const int value = number && number->kind == Kind::Number ? number->text.toInt(&ok) : 0;
        if (!ok)
            return cursor.rewind(start), std::nullopt;
        cursor.rewind(cursor.position() + 1);
        return TranCountCondition { op->text, value };
    }
    // Tries the kinds of Action in their order; the first that recognises the statement, or stops
    // inside it, ends the search.
    template <typename... Kinds> std::optional<Action> recogniseStatement(SqlCursor& cursor, std::variant<Kinds...>*)
    {
        std::optional<Action> found;
        const qsizetype start = cursor.position();
        const auto attempt = [&](auto recognise) {
            if (found || cursor.position() != start)
                return;
            if (auto statement = recognise(cursor))
                found = std::move(*statement);
        };
        (
            [&] {
                if constexpr (requires { Kinds::recognise(cursor); })
                    attempt(&Kinds::recognise);
            }(),
            ...);
        return found;
    }
} // namespace

bool startsStatement(const SqlToken& token)
{
    if (token.kind != Kind::Word)
        return false;
    for (const QString& word : statementStarts()) {
        if (token.isKeyword(word))
            return true;
    }
    return false;
}

std::optional<statement::PrimaryKeyList> statement::PrimaryKeyList::recognise(SqlCursor& cursor)
{
    return cursor.pattern(primaryKeyListPattern()) ? std::optional(PrimaryKeyList {}) : std::nullopt;
}

std::optional<statement::KeyDetails> statement::KeyDetails::recognise(SqlCursor& cursor)
{
    for (const bool withFilegroup : { false, true }) {
        if (cursor.pattern(keyDetailsPattern(withFilegroup)))
            return KeyDetails { withFilegroup };
    }
    return std::nullopt;
}

std::optional<statement::KeyColumns> statement::KeyColumns::recognise(SqlCursor& cursor)
{
    for (const bool withSchema : { false, true }) {
        QList<SqlToken> literals;
        if (!cursor.literalPattern(keyColumnsPattern(withSchema), literals))
            continue;
        KeyColumns query { literal(literals[0]), literal(literals[1]), std::nullopt };
        if (withSchema)
            query.schema = literal(literals[2]);
        return query;
    }
    return std::nullopt;
}

std::optional<statement::TableFilegroup> statement::TableFilegroup::recognise(SqlCursor& cursor)
{
    QList<SqlToken> literals;
    if (!cursor.literalPattern(tableFilegroupPattern(), literals))
        return std::nullopt;
    return TableFilegroup { literal(literals[0]) };
}

std::optional<statement::IndexClustered> statement::IndexClustered::recognise(SqlCursor& cursor)
{
    QList<SqlToken> literals;
    if (!cursor.literalPattern(indexClusteredPattern(), literals))
        return std::nullopt;
    return IndexClustered { literal(literals[0]), literal(literals[1]) };
}

std::optional<statement::UserCheck> statement::UserCheck::recognise(SqlCursor& cursor)
{
    return cursor.pattern(userCheckPattern()) ? std::optional(UserCheck {}) : std::nullopt;
}

std::optional<statement::SelectTranCount> statement::SelectTranCount::recognise(SqlCursor& cursor)
{
    return cursor.pattern(tranCountPattern()) ? std::optional(SelectTranCount {}) : std::nullopt;
}

std::optional<statement::DropConstraint> statement::DropConstraint::recognise(SqlCursor& cursor)
{
    const qsizetype start = cursor.position();
    if (!cursor.keyword(u"ALTER") || !cursor.keyword(u"TABLE"))
        return cursor.rewind(start), std::nullopt;
    const auto table = tableName(cursor);
    if (!table || !cursor.keyword(u"DROP"))
        return cursor.rewind(start), std::nullopt;
    cursor.keyword(u"CONSTRAINT");
    const auto constraint = cursor.name();
    if (!constraint)
        return std::nullopt;
    return DropConstraint { *table, *constraint };
}

std::optional<statement::AddPrimaryKey> statement::AddPrimaryKey::recognise(SqlCursor& cursor)
{
    if (!cursor.keyword(u"ALTER") || !cursor.keyword(u"TABLE"))
        return std::nullopt;
    const auto table = tableName(cursor);
    if (!table || !cursor.keyword(u"ADD") || !cursor.keyword(u"CONSTRAINT"))
        return std::nullopt;
    AddPrimaryKey add;
    add.table = *table;
    const auto constraint = cursor.name();
    if (!constraint || !cursor.keyword(u"PRIMARY") || !cursor.keyword(u"KEY"))
        return std::nullopt;
    add.constraint = *constraint;
    if (cursor.keyword(u"CLUSTERED"))
        add.clustered = true;
    else if (cursor.keyword(u"NONCLUSTERED"))
        add.clustered = false;
    if (!cursor.symbol(u"("))
        return std::nullopt;
    do {
        const auto column = cursor.name();
        if (!column)
            return std::nullopt;
        KeyColumnItem item { *column, false };
        if (cursor.keyword(u"DESC"))
            item.descending = true;
        else
            cursor.keyword(u"ASC");
        add.columns.append(item);
    } while (cursor.symbol(u","));
    if (!cursor.symbol(u")"))
        return std::nullopt;
    if (cursor.keyword(u"ON")) {
        const auto filegroup = cursor.name();
        if (!filegroup)
            return std::nullopt;
        add.filegroup = *filegroup;
    }
    return add;
}

std::optional<statement::Set> statement::Set::recognise(SqlCursor& cursor)
{
    if (!cursor.keyword(u"SET"))
        return std::nullopt;
    Set set;
    while (!cursor.atEnd() && !cursor.peek()->isSymbol(u";") && !startsStatement(*cursor.peek()))
        set.words.append(cursor.take());
    if (set.words.isEmpty())
        return std::nullopt;
    return set;
}

std::optional<statement::BeginTransaction> statement::BeginTransaction::recognise(SqlCursor& cursor)
{
    if (!cursor.keyword(u"BEGIN") || !transactionTail(cursor, true))
        return std::nullopt;
    return BeginTransaction {};
}

std::optional<statement::CommitTransaction> statement::CommitTransaction::recognise(SqlCursor& cursor)
{
    if (!cursor.keyword(u"COMMIT"))
        return std::nullopt;
    transactionTail(cursor, false);
    return CommitTransaction {};
}

std::optional<statement::RollbackTransaction> statement::RollbackTransaction::recognise(SqlCursor& cursor)
{
    if (!cursor.keyword(u"ROLLBACK"))
        return std::nullopt;
    transactionTail(cursor, false);
    return RollbackTransaction {};
}

std::optional<statement::Use> statement::Use::recognise(SqlCursor& cursor)
{
    if (!cursor.keyword(u"USE"))
        return std::nullopt;
    const auto database = cursor.name();
    if (!database)
        return std::nullopt;
    return Use { *database };
}

bool TranCountCondition::holds(int tranCount) const
{
    if (op == u">")
        return tranCount > value;
    if (op == u">=")
        return tranCount >= value;
    if (op == u"<")
        return tranCount < value;
    if (op == u"<=")
        return tranCount <= value;
    if (op == u"=")
        return tranCount == value;
    return tranCount != value;
}

StatementTraits statement::DropConstraint::traits()
{
    return { u"drop", true, &errors::couldNotDropConstraint };
}

StatementTraits statement::AddPrimaryKey::traits()
{
    return { u"add", true, &errors::couldNotCreateConstraint };
}

StatementTraits statement::TransactionRequest::traits() const
{
    switch (kind) {
    case Kind::Begin:
        return BeginTransaction::traits();
    case Kind::Commit:
        return CommitTransaction::traits();
    case Kind::Rollback:
        return RollbackTransaction::traits();
    case Kind::Other:
        break;
    }
    return {};
}

StatementTraits traitsOf(const Action& action)
{
    return std::visit([](const auto& statement) { return statement.traits(); }, action);
}

QString faultKind(const Action& action)
{
    return traitsOf(action).fault.toString();
}

QString faultTable(const Action& action)
{
    return std::visit(
        [](const auto& statement) {
            if constexpr (requires { statement.faultTable(); })
                return statement.faultTable();
            else
                return QString();
        },
        action);
}

Batch recogniseBatch(const QString& sql)
{
    const SqlTokens lexed = tokenize(sql);
    Batch batch;
    if (!lexed.unterminated.isEmpty()) {
        batch.syntaxErrorNear = lexed.unterminated;
        return batch;
    }
    SqlCursor cursor(lexed.tokens);
    while (!cursor.atEnd()) {
        if (cursor.symbol(u";"))
            continue;
        Statement statement { statement::Set {}, condition(cursor) };
        const auto recognised = recogniseStatement(cursor, static_cast<Action*>(nullptr));
        const bool ended = cursor.atEnd() || cursor.peek()->isSymbol(u";") || startsStatement(*cursor.peek());
        if (!recognised || !ended) {
            batch.statements.clear();
            batch.syntaxErrorNear = cursor.nearText();
            return batch;
        }
        statement.action = *recognised;
        batch.statements.append(statement);
    }
    return batch;
}

} // namespace standin
