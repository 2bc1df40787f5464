#include "catalogue/CatalogueRules.h"

#include "catalogue/CodePage.h"
#include "catalogue/Collation.h"
#include "sql/ServerErrors.h"
#include "sql/SqlLexer.h"

#include <QSet>
#include <algorithm>

namespace standin {

namespace {
    ColumnDef sysname(const char* name)
    {
        return { QString::fromLatin1(name), ColumnDef::Kind::NVarChar, 128 };
    }

    bool sameName(const QString& left, const QString& right)
    {
        return nameKey(left) == nameKey(right);
    }

    // A literal's value as the server compares it with a name (nvarchar): written without N, it has
    // been through the database's code page first.
    QString valueOf(const Database& database, const StringLiteral& literal)
    {
        return literal.national ? literal.text : throughCodePage(literal.text, database.codePage());
    }

    // The user table OBJECT_ID finds for a name such as "dbo.[Customer]" in the database: up to
    // database.schema.table, delimited or not; no schema is the login's default, dbo. Nothing for a
    // name that is not well formed, one in another database, or one that names no table.
    std::optional<int> tableOfObjectId(const Database& database, const QString& objectName)
    {
        const SqlTokens lexed = tokenize(objectName);
        if (!lexed.unterminated.isEmpty())
            return std::nullopt;
        QStringList parts { QString() };
        bool expectName = true;
        for (const SqlToken& token : lexed.tokens) {
            if (token.isSymbol(u".")) {
                parts.append(QString());
                expectName = true;
            } else if (token.isName() && expectName && parts.last().isEmpty()) {
                parts.last() = token.text;
                expectName = false;
            } else {
                return std::nullopt;
            }
        }
        if (parts.size() > 3 || parts.last().isEmpty() || (parts.size() == 3 && parts.first().isEmpty()))
            return std::nullopt;
        if (parts.size() == 3 && !sameName(parts.first(), database.name()))
            return std::nullopt;
        const QString schema = parts.size() >= 2 ? parts[parts.size() - 2] : QString();
        return database.findTable(schema, parts.last());
    }

    // The filegroup FILEGROUP_NAME(groupid) names for the table's data; NULL for a partitioned table,
    // whose sysindexes row has no groupid.
    Cell dataFilegroup(const Table& table)
    {
        return table.partitionScheme.isEmpty() ? Cell(table.filegroup) : Cell(std::monostate {});
    }
} // namespace

ResultSet primaryKeyList(const Database& database)
{
    ResultSet result;
    result.columns = { sysname("CONSTRAINT_NAME"), sysname("TABLE_NAME"), sysname("CONSTRAINT_CATALOG") };
    result.rows.reserve(static_cast<qsizetype>(database.tablesByPrimaryKeyName().size()));
    for (const int index : database.tablesByPrimaryKeyName()) {
        const Table& table = database.table(index);
        result.rows.append(Row { table.primaryKey->name, table.name, database.name() });
    }
    return result;
}

ResultSet keyDetails(const Database& database, bool withFilegroup)
{
    const auto number = [](const char* name) {
        return ColumnDef { QString::fromLatin1(name), ColumnDef::Kind::Int, 4 };
    };
    // The refusals as the query adds them up.
    enum : std::int32_t { Referenced = 1, OtherClustered = 2, SeveralSchemas = 4, OutsideDbo = 8 };
    ResultSet result;
    result.columns = { sysname("constraint_name"), sysname("table_name"),
                       number("is_clustered"),     { QStringLiteral("row_count"), ColumnDef::Kind::BigInt, 8 },
                       number("reserved_pages"),   number("refusals") };
    if (withFilegroup)
        result.columns.append(sysname("filegroup"));
    result.rows.reserve(static_cast<qsizetype>(database.tablesByPrimaryKeyName().size()));
    for (const int index : database.tablesByPrimaryKeyName()) {
        const Table& table = database.table(index);
        std::int32_t refusals = 0;
        if (database.isReferenced(index))
            refusals += Referenced;
        if (table.clusteredIndex() != nullptr)
            refusals += OtherClustered;
        if (!withFilegroup && database.tablesNamedCount(table.name) > 1)
            refusals += SeveralSchemas;
        if (database.findTable(QStringLiteral("dbo"), table.name) != index)
            refusals += OutsideDbo;
        // sysindexes counts whole 8 KB pages, and reports 0 rows and 0 pages for a partitioned table.
        const bool partitioned = !table.partitionScheme.isEmpty();
        const qint64 pages = partitioned ? 0 : (table.reservedKb + 7) / 8;
        result.rows.append(Row { table.primaryKey->name, table.name,
                                 static_cast<std::int32_t>(table.primaryKey->clustered ? 1 : 0),
                                 static_cast<std::int64_t>(partitioned ? 0 : table.rows),
                                 static_cast<std::int32_t>(std::min<qint64>(pages, INT32_MAX)), refusals });
        if (withFilegroup)
            result.rows.last().append(dataFilegroup(table));
    }
    return result;
}

ResultSet keyColumns(const Database& database, const statement::KeyColumns& query)
{
    struct Entry
    {
        int ordinal;
        QString column;
    };
    const QString constraint = valueOf(database, query.constraint);
    QList<Entry> entries;
    for (const int index : database.tablesNamed(valueOf(database, query.table))) {
        const Table& t = database.table(index);
        if (query.schema && !sameName(t.schema, valueOf(database, *query.schema)))
            continue;
        if (t.primaryKey && sameName(t.primaryKey->name, constraint)) {
            for (int i = 0; i < t.primaryKey->columns.size(); ++i)
                entries.append({ i + 1, t.primaryKey->columns[i].name });
        }
        for (const ForeignKey& key : t.foreignKeys) {
            if (!sameName(key.name, constraint))
                continue;
            for (int i = 0; i < key.columns.size(); ++i)
                entries.append({ i + 1, key.columns[i] });
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& l, const Entry& r) { return l.ordinal < r.ordinal; });
    ResultSet result;
    result.columns = { sysname("COLUMN_NAME") };
    for (const Entry& entry : entries)
        result.rows.append(Row { entry.column });
    return result;
}

ResultSet tableFilegroup(const Database& database, const statement::TableFilegroup& query)
{
    ResultSet result;
    result.columns = { { QString(), ColumnDef::Kind::NVarChar, 128 } };
    if (const auto index = tableOfObjectId(database, valueOf(database, query.object)))
        result.rows.append(Row { dataFilegroup(database.table(*index)) });
    return result;
}

ResultSet indexClustered(const Database& database, const statement::IndexClustered& query)
{
    ResultSet result;
    result.columns = { { QString(), ColumnDef::Kind::NullableInt, 4 } };
    Cell clustered = std::monostate {};
    if (const auto index = tableOfObjectId(database, valueOf(database, query.object))) {
        const Table& table = database.table(*index);
        const QString name = valueOf(database, query.index);
        if (table.primaryKey && sameName(table.primaryKey->name, name))
            clustered = std::int32_t(table.primaryKey->clustered ? 1 : 0);
        for (const Index& other : table.indexes) {
            if (sameName(other.name, name))
                clustered = std::int32_t(other.clustered ? 1 : 0);
        }
    }
    result.rows.append(Row { clustered });
    return result;
}

std::variant<ResultSet, SqlMessages> userCheck(const Database& database)
{
    if (!database.navisionSids())
        return SqlMessages { errors::invalidObjectName(QStringLiteral("dbo.$ndo$usrproperty")) };
    QList<User> matching;
    for (const User& user : database.users()) {
        for (const QByteArray& sid : *database.navisionSids()) {
            if (sid == user.sid)
                matching.append(user);
        }
    }
    std::stable_sort(matching.begin(), matching.end(),
                     [](const User& l, const User& r) { return collationCompare(l.name, r.name) < 0; });
    ResultSet result;
    result.columns = { sysname("name"), { QStringLiteral("sid"), ColumnDef::Kind::VarBinary, 85 } };
    for (const User& user : matching)
        result.rows.append(Row { user.name, user.sid });
    return result;
}

ChangeOutcome dropConstraint(Database& database, const statement::DropConstraint& drop)
{
    const auto index = database.findTable(drop.table.schema, drop.table.name);
    if (!index)
        return { { errors::objectNotFound(drop.table.display()) }, std::nullopt };
    const Table& table = database.table(*index);
    Table changed = table;
    if (table.primaryKey && sameName(table.primaryKey->name, drop.constraint)) {
        const auto references = database.foreignKeysReferencing(*index);
        if (!references.isEmpty()) {
            const auto [referencing, key] = *std::min_element(references.begin(), references.end());
            const Table& other = database.table(referencing);
            return { { errors::constraintReferenced(table.primaryKey->name, other.name, other.foreignKeys[key].name),
                       errors::couldNotDropConstraint() },
                     std::nullopt };
        }
        changed.primaryKey.reset();
    } else {
        const auto key = std::find_if(changed.foreignKeys.begin(), changed.foreignKeys.end(),
                                      [&](const ForeignKey& k) { return sameName(k.name, drop.constraint); });
        if (key == changed.foreignKeys.end())
            return { { errors::notAConstraint(drop.constraint), errors::couldNotDropConstraint() }, std::nullopt };
        changed.foreignKeys.erase(key);
    }
    TableChange change { *index, table };
    database.replaceTable(*index, std::move(changed));
    return { {}, std::move(change) };
}

ChangeOutcome addPrimaryKey(Database& database, const statement::AddPrimaryKey& add)
{
    const auto index = database.findTable(add.table.schema, add.table.name);
    if (!index)
        return { { errors::objectNotFound(add.table.display()) }, std::nullopt };
    const Table& table = database.table(*index);
    const auto fail = [](SqlMessage first) {
        return ChangeOutcome { { std::move(first), errors::couldNotCreateConstraint() }, std::nullopt };
    };
    if (table.primaryKey)
        return fail(errors::alreadyHasPrimaryKey(table.name));
    if (database.objectExists(table.schema, add.constraint))
        return fail(errors::objectAlreadyExists(add.constraint));
    PrimaryKey key;
    key.name = add.constraint;
    QSet<QString> seen;
    for (const KeyColumnItem& item : add.columns) {
        const Column* column = table.column(item.name);
        if (!column)
            return fail(errors::columnDoesNotExist(item.name));
        if (seen.contains(nameKey(item.name)))
            return fail(errors::duplicateKeyColumn(item.name));
        seen.insert(nameKey(item.name));
        if (column->nullable)
            return fail(errors::nullableKeyColumn(table.name));
        key.columns.append({ column->name, item.descending });
    }
    // ON a filegroup puts the index there; ON "default" or no ON, where the table is.
    const bool moves = !add.filegroup.isEmpty() && !sameName(add.filegroup, QStringLiteral("default"));
    const auto target = database.findFilegroup(moves ? add.filegroup : table.filegroup);
    if (moves && !target)
        return fail(errors::invalidFilegroup(add.filegroup));
    const Index* clustered = table.clusteredIndex();
    key.clustered = add.clustered.value_or(clustered == nullptr);
    if (key.clustered && clustered)
        return fail(errors::secondClusteredIndex(table.name, clustered->name));
    // Building the index writes the table's rows (a clustered one: the whole table) into its filegroup.
    const bool intoFilegroup = moves || table.partitionScheme.isEmpty();
    if (intoFilegroup && target && database.filegroups()[*target].full && table.rows > 0)
        return fail(errors::filegroupFull(table.schema + u'.' + table.name, key.name, database.name(),
                                          database.filegroups()[*target].name));
    TableChange change { *index, table };
    Table changed = table;
    if (key.clustered && moves) {
        // A clustered index created ON a filegroup moves the whole table there, out of any partition scheme.
        changed.filegroup = database.filegroups()[*target].name;
        changed.partitionScheme.clear();
    }
    changed.primaryKey = std::move(key);
    database.replaceTable(*index, std::move(changed));
    return { {}, std::move(change) };
}

} // namespace standin
