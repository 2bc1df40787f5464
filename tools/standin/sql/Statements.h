#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace standin {

// A table named in a statement: schema (empty when the statement leaves it out) and name.
struct TableName
{
    QString schema;
    QString name;
    // The name as SQL Server prints it in messages: "schema.table" or "table".
    QString display() const { return schema.isEmpty() ? name : schema + u'.' + name; }
};

// A string literal of a statement: its value, and whether it was written N'...' (Unicode, kept as it
// is) or without N (read in the database's code page).
struct StringLiteral
{
    QString text;
    bool national = false;
};

struct KeyColumnItem
{
    QString name;
    bool descending = false;
    friend bool operator==(const KeyColumnItem&, const KeyColumnItem&) = default;
};

class SqlCursor;
class BatchEngine;
struct SqlMessage;

// What the batch engine needs to know of a statement kind besides its handler.
struct StatementTraits
{
    // The name faults are set on ("check", "add", ...); empty for housekeeping, which takes none.
    QStringView fault;
    // Under SET IMPLICIT_TRANSACTIONS ON the statement opens a transaction when none is open.
    bool opensTransaction = false;
    // The error the server adds after a fault's own error, as it does for constraints; null: none.
    SqlMessage (*faultTrailer)() = nullptr;
};

// The statements the stand-in understands. Each kind declares, in one place, its recogniser (it
// answers nothing and leaves the cursor where it was when the tokens are not its statement, or
// moves the cursor to where a statement of its kind went wrong), its traits and its handler,
// which answers it through the batch engine. Kinds are tried in the order of Action.
namespace statement {
    // The primary-key list from INFORMATION_SCHEMA.TABLE_CONSTRAINTS.
    struct PrimaryKeyList
    {
        static std::optional<PrimaryKeyList> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"primary_keys", true }; }
        void run(BatchEngine& engine) const;
    };
    // Every primary key's details from sysobjects, sysindexes and sysreferences.
    struct KeyDetails
    {
        bool withFilegroup = false; // the seventh column, FILEGROUP_NAME of the data's sysindexes row
        static std::optional<KeyDetails> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"key_details", true }; }
        void run(BatchEngine& engine) const;
    };
    // The key's columns from INFORMATION_SCHEMA.KEY_COLUMN_USAGE, of any schema or of the one named.
    struct KeyColumns
    {
        StringLiteral constraint;
        StringLiteral table;
        std::optional<StringLiteral> schema;
        static std::optional<KeyColumns> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"key_columns", true }; }
        QString faultTable() const { return table.text; }
        void run(BatchEngine& engine) const;
    };
    // The database check: sysusers joined with Navision's per-user table.
    struct UserCheck
    {
        static std::optional<UserCheck> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"check", true }; }
        void run(BatchEngine& engine) const;
    };
    struct SelectTranCount
    {
        static std::optional<SelectTranCount> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    struct DropConstraint
    {
        TableName table;
        QString constraint;
        static std::optional<DropConstraint> recognise(SqlCursor& cursor);
        static StatementTraits traits();
        QString faultTable() const { return table.name; }
        const TableName& lockedTable() const { return table; }
        void run(BatchEngine& engine) const;
    };
    // Recognised after DropConstraint, it takes every other ALTER statement, to report where it goes wrong.
    struct AddPrimaryKey
    {
        TableName table;
        QString constraint;
        std::optional<bool> clustered; // nothing: the server's default
        QList<KeyColumnItem> columns;
        QString filegroup; // empty: the default filegroup
        static std::optional<AddPrimaryKey> recognise(SqlCursor& cursor);
        static StatementTraits traits();
        QString faultTable() const { return table.name; }
        const TableName& lockedTable() const { return table; }
        void run(BatchEngine& engine) const;
    };
    // Any SET statement; words holds everything after SET.
    struct Set
    {
        QStringList words;
        static std::optional<Set> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    struct BeginTransaction
    {
        static std::optional<BeginTransaction> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"begin" }; }
        void run(BatchEngine& engine) const;
    };
    struct CommitTransaction
    {
        static std::optional<CommitTransaction> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"commit" }; }
        void run(BatchEngine& engine) const;
    };
    struct RollbackTransaction
    {
        static std::optional<RollbackTransaction> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { u"rollback" }; }
        void run(BatchEngine& engine) const;
    };
    struct Use
    {
        QString database;
        static std::optional<Use> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    struct SelectLockTimeout
    {
        static std::optional<SelectLockTimeout> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    // The sessions holding a lock on a table, from sys.dm_tran_locks and sys.dm_exec_sessions.
    struct LockHolders
    {
        QString object; // the text OBJECT_ID is given
        static std::optional<LockHolders> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    // The same from SQL Server 2000's master..syslockinfo and master..sysprocesses.
    struct LockHolders2000
    {
        QString object;
        static std::optional<LockHolders2000> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    // The filegroup of a table's data: FILEGROUP_NAME(groupid) of its sysindexes row with indid < 2.
    struct TableFilegroup
    {
        StringLiteral object; // the argument of OBJECT_ID
        static std::optional<TableFilegroup> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return { {}, true }; }
        void run(BatchEngine& engine) const;
    };
    // INDEXPROPERTY(OBJECT_ID(...), index, 'IsClustered'); selects from no table.
    struct IndexClustered
    {
        StringLiteral object; // the argument of OBJECT_ID
        StringLiteral index;
        static std::optional<IndexClustered> recognise(SqlCursor& cursor);
        static constexpr StatementTraits traits() { return {}; }
        void run(BatchEngine& engine) const;
    };
    // A transaction-manager request (not SQL, so without a recogniser): begin, commit or rollback,
    // the last two possibly asking for a new transaction at once.
    struct TransactionRequest
    {
        enum class Kind { Begin, Commit, Rollback, Other };
        Kind kind = Kind::Other;
        bool beginsAnother = false;
        StatementTraits traits() const;
        void run(BatchEngine& engine) const;
    };
} // namespace statement

using Action
    = std::variant<statement::PrimaryKeyList, statement::KeyDetails, statement::KeyColumns, statement::UserCheck,
                   statement::SelectTranCount, statement::DropConstraint, statement::AddPrimaryKey, statement::Set,
                   statement::BeginTransaction, statement::CommitTransaction, statement::RollbackTransaction,
                   statement::Use, statement::SelectLockTimeout, statement::LockHolders, statement::LockHolders2000,
                   statement::TransactionRequest, statement::TableFilegroup, statement::IndexClustered>;

StatementTraits traitsOf(const Action& action);

// "IF @@TRANCOUNT <op> <n>" in front of a statement.
struct TranCountCondition
{
    QString op;
    int value = 0;
    bool holds(int tranCount) const;
};

struct Statement
{
    Action action;
    std::optional<TranCountCondition> condition;
};

// The statement kinds faults are set on: "check", "primary_keys", "key_details", "key_columns", "drop",
// "add", and "begin", "commit", "rollback" (the SQL forms and the transaction-manager requests alike);
// empty for housekeeping.
QString faultKind(const Action& action);
// The table a statement works on, for matching faults; empty when it names none.
QString faultTable(const Action& action);
// The table a statement takes a schema-modification lock on; nothing when it takes none.
std::optional<TableName> lockedTable(const Action& action);

// A batch split into recognised statements, or the token at which recognition failed.
struct Batch
{
    QList<Statement> statements;
    std::optional<QString> syntaxErrorNear;
};

Batch recogniseBatch(const QString& sql);

} // namespace standin
