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

struct KeyColumnItem
{
    QString name;
    bool descending = false;
    friend bool operator==(const KeyColumnItem&, const KeyColumnItem&) = default;
};

// The statements the stand-in understands.
namespace statement {
    // The primary-key list from INFORMATION_SCHEMA.TABLE_CONSTRAINTS.
    struct PrimaryKeyList
    {
    };
    // The key's columns from INFORMATION_SCHEMA.KEY_COLUMN_USAGE.
    struct KeyColumns
    {
        QString constraint;
        QString table;
    };
    // The database check: sysusers joined with Navision's per-user table.
    struct UserCheck
    {
    };
    struct DropConstraint
    {
        TableName table;
        QString constraint;
    };
    struct AddPrimaryKey
    {
        TableName table;
        QString constraint;
        std::optional<bool> clustered; // nothing: the server's default
        QList<KeyColumnItem> columns;
        QString filegroup; // empty: the default filegroup
    };
    // Any SET statement; words holds everything after SET.
    struct Set
    {
        QStringList words;
    };
    struct BeginTransaction
    {
    };
    struct CommitTransaction
    {
    };
    struct RollbackTransaction
    {
    };
    struct Use
    {
        QString database;
    };
    struct SelectTranCount
    {
    };
    // A transaction-manager request (not SQL): begin, commit or rollback, the last two possibly
    // asking for a new transaction at once.
    struct TransactionRequest
    {
        enum class Kind { Begin, Commit, Rollback, Other };
        Kind kind = Kind::Other;
        bool beginsAnother = false;
    };
} // namespace statement

using Action = std::variant<statement::PrimaryKeyList, statement::KeyColumns, statement::UserCheck,
                            statement::DropConstraint, statement::AddPrimaryKey, statement::Set,
                            statement::BeginTransaction, statement::CommitTransaction, statement::RollbackTransaction,
                            statement::Use, statement::SelectTranCount, statement::TransactionRequest>;

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

// The statement kinds faults are set on: "check", "primary_keys", "key_columns", "drop", "add",
// and "begin", "commit", "rollback" (the SQL forms and the transaction-manager requests alike);
// empty for housekeeping.
QString faultKind(const Action& action);
// The table a statement works on, for matching faults; empty when it names none.
QString faultTable(const Action& action);

// A batch split into recognised statements, or the token at which recognition failed.
struct Batch
{
    QList<Statement> statements;
    std::optional<QString> syntaxErrorNear;
};

Batch recogniseBatch(const QString& sql);

} // namespace standin
