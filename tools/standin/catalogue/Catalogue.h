#pragma once

#include "protocol/SqlMessage.h"

#include <QByteArray>
#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace standin {

struct Column
{
    QString name;
    bool nullable = true;
};

struct KeyColumn
{
    QString name;
    bool descending = false;
};

struct PrimaryKey
{
    QString name;
    bool clustered = false;
    QList<KeyColumn> columns;
};

struct Index
{
    QString name;
    bool clustered = false;
    QStringList columns;
};

struct ForeignKey
{
    QString name;
    QStringList columns;
    QString referencedSchema;
    QString referencedTable;
};

struct Table
{
    QString schema = QStringLiteral("dbo");
    QString name;
    QList<Column> columns;
    std::optional<PrimaryKey> primaryKey;
    QList<Index> indexes;
    QList<ForeignKey> foreignKeys;
    qint64 rows = 0; // the row count sysindexes reports
    qint64 reservedKb = 0; // the space reserved for data and indexes
    // Where the table's data (its heap or clustered index) is: a filegroup, or, for a partitioned
    // table, the partition scheme (then filegroup is not used).
    QString filegroup = QStringLiteral("PRIMARY");
    QString partitionScheme;

    const Column* column(const QString& columnName) const;
    // The clustered index other than the primary key, if the table has one.
    const Index* clusteredIndex() const;
};

struct Filegroup
{
    QString name;
    bool isDefault = false; // the database's default filegroup
    bool full = false; // no page can be allocated in it
};

// How a database stores its data: its collation (which sets the code page of varchar text) and its
// filegroups.
struct DatabaseStorage
{
    QString collation = QStringLiteral("Latin1_General_CI_AS");
    // PRIMARY is added (first) when it is not listed.
    QList<Filegroup> filegroups;
};

struct User
{
    QString name;
    QByteArray sid;
};

// One database with the indexes that keep every lookup of the statements O(1) or O(log n), and
// the primary keys kept sorted by name in the server's collation.
class Database
{
public:
    Database(QString name, QList<User> users, std::optional<QList<QByteArray>> navisionSids, std::vector<Table> tables,
             DatabaseStorage storage = {});

    const QString& name() const { return m_name; }
    const QList<User>& users() const { return m_users; }
    // The sids in Navision's per-user table; nothing when the table does not exist.
    const std::optional<QList<QByteArray>>& navisionSids() const { return m_navisionSids; }
    const std::vector<Table>& tables() const { return m_tables; }
    const Table& table(int index) const { return m_tables[static_cast<size_t>(index)]; }
    const QString& collation() const { return m_storage.collation; }
    // The code page of the collation, in which string literals written without N are read.
    int codePage() const { return m_codePage; }
    // The filegroups, PRIMARY first; a filegroup's id is its position plus one.
    const QList<Filegroup>& filegroups() const { return m_storage.filegroups; }
    // The position of the filegroup of this name in filegroups().
    std::optional<int> findFilegroup(const QString& filegroupName) const;

    // The table with this schema and name; an empty schema means dbo.
    std::optional<int> findTable(const QString& schema, const QString& tableName) const;
    // Every table of this name, whatever its schema.
    QList<int> tablesNamed(const QString& tableName) const;
    int tablesNamedCount(const QString& tableName) const;
    // Whether any foreign key references this table.
    bool isReferenced(int tableIndex) const;
    // The foreign keys (table, key position) that reference this table.
    QList<std::pair<int, int>> foreignKeysReferencing(int tableIndex) const;
    // Whether a table or constraint of this name exists in the schema.
    bool objectExists(const QString& schema, const QString& objectName) const;
    // The tables that have a primary key, ordered by the key's name as ORDER BY orders it.
    const std::vector<int>& tablesByPrimaryKeyName() const { return m_keyOrder; }

    // Replaces one table's definition, keeping every index up to date.
    void replaceTable(int index, Table table);

private:
    void addToIndexes(int index);
    void removeFromIndexes(int index);
    bool keyOrderLess(int left, int right) const;

    QString m_name;
    DatabaseStorage m_storage;
    int m_codePage = 1252;
    QList<User> m_users;
    std::optional<QList<QByteArray>> m_navisionSids;
    std::vector<Table> m_tables;
    QHash<QString, int> m_byQualifiedName;
    QMultiHash<QString, int> m_byName;
    QHash<QString, int> m_objectCount;
    QMultiHash<QString, std::pair<int, int>> m_referencedBy;
    std::vector<std::optional<QCollatorSortKey>> m_keySortKeys;
    std::vector<int> m_keyOrder;
};

struct Login
{
    QString name;
    QString password;
    QString defaultDatabase; // empty: the first database
    // A Windows login ("DOMAIN\user"): it logs in only through NTLM, never with a SQL password.
    bool windows = false;
    // Holds VIEW SERVER STATE, which the server's session and lock views require.
    bool viewServerState = true;
};

// Another user's session that holds locks on dbo tables of a database from the start, until it is
// released or its hold time has passed.
struct OtherSession
{
    QString database;
    int sessionId = 0;
    QString host;
    QString login;
    QString program;
    QStringList locks; // dbo table names
    std::optional<int> holdMs; // nothing: until released
};

// A failure injected on a statement kind, optionally only for one database or table.
struct Fault
{
    QString database; // empty: any
    QString table; // empty: any
    // "check", "primary_keys", "key_details", "key_columns", "drop", "add", "begin", "commit", "rollback"
    QString statement;
    std::optional<SqlMessage> error;
    int delayMs = 0;
    bool disconnect = false;
    // How many more matching statements it applies to; nothing: every one.
    std::optional<int> times;
    // The statement is carried out (a COMMIT commits), then the connection is cut before its reply.
    bool disconnectAfter = false;

    bool usedUp() const { return times && *times <= 0; }
};

struct Catalogue
{
    QList<Login> logins;
    std::vector<Database> databases;
    QList<Fault> faults;
    QList<OtherSession> sessions;

    // Logins compare case-insensitively, as on a case-insensitive server.
    const Login* findLogin(const QString& name) const;
    // The database's position, found case-insensitively.
    std::optional<int> findDatabase(const QString& name) const;
    // The faults set on this kind of statement for this database and table that are not used up,
    // merged into one: the longest delay, the first error, a disconnect if any asks for one. A
    // fault's table is not looked at for statements that name no table (the check, the primary-key
    // list and the transaction statements).
    std::optional<Fault> faultFor(const QString& database, const QString& statement, const QString& table) const;
    // The same for a statement that has arrived: every fault merged in counts it as one of its times.
    std::optional<Fault> takeFault(const QString& database, const QString& statement, const QString& table);
};

} // namespace standin
