#include "Statements.h"

#include "SqlLexer.h"

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
    const QList<SqlToken>& keyColumnsPattern()
    {
        static const QList<SqlToken> tokens
            = tokenize(QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU "
                                      "WHERE isKCU.CONSTRAINT_NAME = ? AND isKCU.TABLE_NAME = ? "
                                      "ORDER BY isKCU.ORDINAL_POSITION"))
                  .tokens;
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

    // A position in the token list with the small matching steps the statements are made of.
    class Cursor
    {
    public:
        explicit Cursor(const QList<SqlToken>& tokens)
            : m_tokens(tokens)
        { }

        bool atEnd() const { return m_at >= m_tokens.size(); }
        const SqlToken* peek() const { return atEnd() ? nullptr : &m_tokens[m_at]; }
        qsizetype position() const { return m_at; }
        void rewind(qsizetype to) { m_at = to; }
        // The text of the token where recognition stopped, for "Incorrect syntax near".
        QString nearText() const
        {
            if (atEnd())
                return m_tokens.isEmpty() ? QString() : m_tokens.last().text;
            return m_tokens[m_at].text;
        }

        bool keyword(QStringView word)
        {
            if (atEnd() || !m_tokens[m_at].isKeyword(word))
                return false;
            ++m_at;
            return true;
        }
        bool symbol(QStringView text)
        {
            if (atEnd() || !m_tokens[m_at].isSymbol(text))
                return false;
            ++m_at;
            return true;
        }
        QString take() { return atEnd() ? QString() : m_tokens[m_at++].text; }
        std::optional<QString> name()
        {
            if (atEnd() || !m_tokens[m_at].isName())
                return std::nullopt;
            return m_tokens[m_at++].text;
        }
        // Matches a fixed pattern; string literals at '?' are appended to captures.
        bool pattern(const QList<SqlToken>& pattern, QStringList* captures = nullptr)
        {
            const qsizetype start = m_at;
            for (const SqlToken& expected : pattern) {
                if (atEnd())
                    return fail(start);
                const SqlToken& actual = m_tokens[m_at];
                if (expected.isSymbol(u"?")) {
                    if (actual.kind != Kind::String)
                        return fail(start);
                    if (captures)
                        captures->append(actual.text);
                } else if (!same(expected, actual)) {
                    return fail(start);
                }
                ++m_at;
            }
            return true;
        }

    private:
        static bool same(const SqlToken& expected, const SqlToken& actual)
        {
            if (expected.isName())
                return actual.isName() && expected.text.compare(actual.text, Qt::CaseInsensitive) == 0;
            return expected.kind == actual.kind && expected.text.compare(actual.text, Qt::CaseInsensitive) == 0;
        }
        bool fail(qsizetype start)
        {
            m_at = start;
            return false;
        }

        const QList<SqlToken>& m_tokens;
        qsizetype m_at = 0;
    };

    std::optional<TableName> tableName(Cursor& cursor)
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

    std::optional<Action> alterTable(Cursor& cursor)
    {
        if (!cursor.keyword(u"TABLE"))
            return std::nullopt;
        const auto table = tableName(cursor);
        if (!table)
            return std::nullopt;
        if (cursor.keyword(u"DROP")) {
            cursor.keyword(u"CONSTRAINT");
            const auto constraint = cursor.name();
            if (!constraint)
                return std::nullopt;
            return statement::DropConstraint { *table, *constraint };
        }
        if (!cursor.keyword(u"ADD") || !cursor.keyword(u"CONSTRAINT"))
            return std::nullopt;
        statement::AddPrimaryKey add;
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

    // TRAN, TRANSACTION or WORK and an optional transaction name after BEGIN, COMMIT or ROLLBACK.
    bool transactionTail(Cursor& cursor, bool requireTran)
    {
        const bool tran = cursor.keyword(u"TRAN") || cursor.keyword(u"TRANSACTION");
        if (!tran && !cursor.keyword(u"WORK") && requireTran)
            return false;
        if (tran && cursor.peek() && cursor.peek()->isName() && !startsStatement(*cursor.peek()))
            cursor.name();
        return true;
    }

    std::optional<Action> action(Cursor& cursor)
    {
        QStringList captures;
        if (cursor.pattern(primaryKeyListPattern()))
            return statement::PrimaryKeyList {};
        if (cursor.pattern(keyColumnsPattern(), &captures))
            return statement::KeyColumns { captures.value(0), captures.value(1) };
        if (cursor.pattern(userCheckPattern()))
            return statement::UserCheck {};
        if (cursor.pattern(tranCountPattern()))
            return statement::SelectTranCount {};
        if (cursor.keyword(u"ALTER"))
            return alterTable(cursor);
        if (cursor.keyword(u"SET")) {
            statement::Set set;
            while (!cursor.atEnd() && !cursor.peek()->isSymbol(u";") && !startsStatement(*cursor.peek()))
                set.words.append(cursor.take());
            if (set.words.isEmpty())
                return std::nullopt;
            return set;
        }
        if (cursor.keyword(u"BEGIN")) {
            if (!transactionTail(cursor, true))
                return std::nullopt;
            return statement::BeginTransaction {};
        }
        if (cursor.keyword(u"COMMIT")) {
            transactionTail(cursor, false);
            return statement::CommitTransaction {};
        }
        if (cursor.keyword(u"ROLLBACK")) {
            transactionTail(cursor, false);
            return statement::RollbackTransaction {};
        }
        if (cursor.keyword(u"USE")) {
            const auto database = cursor.name();
            if (!database)
                return std::nullopt;
            return statement::Use { *database };
        }
        return std::nullopt;
    }

    std::optional<TranCountCondition> condition(Cursor& cursor)
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
} // namespace

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

QString faultKind(const Action& action)
{
    if (std::holds_alternative<statement::UserCheck>(action))
        return QStringLiteral("check");
    if (std::holds_alternative<statement::PrimaryKeyList>(action))
        return QStringLiteral("primary_keys");
    if (std::holds_alternative<statement::KeyColumns>(action))
        return QStringLiteral("key_columns");
    if (std::holds_alternative<statement::DropConstraint>(action))
        return QStringLiteral("drop");
    if (std::holds_alternative<statement::AddPrimaryKey>(action))
        return QStringLiteral("add");
    using Request = statement::TransactionRequest;
    const auto* request = std::get_if<Request>(&action);
    if (std::holds_alternative<statement::BeginTransaction>(action)
        || (request && request->kind == Request::Kind::Begin))
        return QStringLiteral("begin");
    if (std::holds_alternative<statement::CommitTransaction>(action)
        || (request && request->kind == Request::Kind::Commit))
        return QStringLiteral("commit");
    if (std::holds_alternative<statement::RollbackTransaction>(action)
        || (request && request->kind == Request::Kind::Rollback))
        return QStringLiteral("rollback");
    return {};
}

QString faultTable(const Action& action)
{
    if (const auto* keys = std::get_if<statement::KeyColumns>(&action))
        return keys->table;
    if (const auto* drop = std::get_if<statement::DropConstraint>(&action))
        return drop->table.name;
    if (const auto* add = std::get_if<statement::AddPrimaryKey>(&action))
        return add->table.name;
    return {};
}

Batch recogniseBatch(const QString& sql)
{
    const SqlTokens lexed = tokenize(sql);
    Batch batch;
    if (!lexed.unterminated.isEmpty()) {
        batch.syntaxErrorNear = lexed.unterminated;
        return batch;
    }
    Cursor cursor(lexed.tokens);
    while (!cursor.atEnd()) {
        if (cursor.symbol(u";"))
            continue;
        Statement statement { statement::Set {}, condition(cursor) };
        const auto recognised = action(cursor);
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
