#include "catalogue/Catalogue.h"

#include "catalogue/CodePage.h"
#include "catalogue/Collation.h"

#include <algorithm>

namespace standin {

namespace {
    QString qualifiedKey(const QString& schema, const QString& name)
    {
        return nameKey(schema.isEmpty() ? QStringLiteral("dbo") : schema) + QChar(0x1F) + nameKey(name);
    }
} // namespace

const Column* Table::column(const QString& columnName) const
{
    const QString key = nameKey(columnName);
    for (const Column& c : columns) {
        if (nameKey(c.name) == key)
            return &c;
    }
    return nullptr;
}

const Index* Table::clusteredIndex() const
{
    for (const Index& index : indexes) {
        if (index.clustered)
            return &index;
    }
    return nullptr;
}

Database::Database(QString name, QList<User> users, std::optional<QList<QByteArray>> navisionSids,
                   std::vector<Table> tables, DatabaseStorage storage)
    : m_name(std::move(name))
    , m_storage(std::move(storage))
    , m_codePage(codePageOf(m_storage.collation).value_or(1252))
    , m_users(std::move(users))
    , m_navisionSids(std::move(navisionSids))
    , m_tables(std::move(tables))
    , m_keySortKeys(m_tables.size())
{
    m_byQualifiedName.reserve(static_cast<qsizetype>(m_tables.size()));
    m_byName.reserve(static_cast<qsizetype>(m_tables.size()));
    m_objectCount.reserve(static_cast<qsizetype>(m_tables.size()) * 2);
    m_keyOrder.reserve(m_tables.size());
    for (int i = 0; i < static_cast<int>(m_tables.size()); ++i) {
        const Table& t = m_tables[static_cast<size_t>(i)];
        m_byQualifiedName.insert(qualifiedKey(t.schema, t.name), i);
        m_byName.insert(nameKey(t.name), i);
        addToIndexes(i);
        if (t.primaryKey)
            m_keyOrder.push_back(i);
    }
    std::stable_sort(m_keyOrder.begin(), m_keyOrder.end(), [this](int l, int r) { return keyOrderLess(l, r); });
    // Every database has PRIMARY, with filegroup id 1.
    const auto primary = std::find_if(m_storage.filegroups.begin(), m_storage.filegroups.end(), [](const Filegroup& f) {
        return nameKey(f.name) == nameKey(QStringLiteral("PRIMARY"));
    });
    if (primary == m_storage.filegroups.end())
        m_storage.filegroups.prepend({ QStringLiteral("PRIMARY") });
    else
        m_storage.filegroups.move(primary - m_storage.filegroups.begin(), 0);
    if (std::none_of(m_storage.filegroups.begin(), m_storage.filegroups.end(),
                     [](const Filegroup& f) { return f.isDefault; }))
        m_storage.filegroups.first().isDefault = true;
}

std::optional<int> Database::findFilegroup(const QString& filegroupName) const
{
    for (int i = 0; i < m_storage.filegroups.size(); ++i) {
        if (nameKey(m_storage.filegroups[i].name) == nameKey(filegroupName))
            return i;
    }
    return std::nullopt;
}

std::optional<int> Database::findTable(const QString& schema, const QString& tableName) const
{
    const auto found = m_byQualifiedName.constFind(qualifiedKey(schema, tableName));
    if (found == m_byQualifiedName.constEnd())
        return std::nullopt;
    return *found;
}

QList<int> Database::tablesNamed(const QString& tableName) const
{
    QList<int> found = m_byName.values(nameKey(tableName));
    std::sort(found.begin(), found.end());
    return found;
}

int Database::tablesNamedCount(const QString& tableName) const
{
    return static_cast<int>(m_byName.count(nameKey(tableName)));
}

bool Database::isReferenced(int tableIndex) const
{
    const Table& t = table(tableIndex);
    return m_referencedBy.contains(qualifiedKey(t.schema, t.name));
}

QList<std::pair<int, int>> Database::foreignKeysReferencing(int tableIndex) const
{
    const Table& t = table(tableIndex);
    return m_referencedBy.values(qualifiedKey(t.schema, t.name));
}

bool Database::objectExists(const QString& schema, const QString& objectName) const
{
    return m_objectCount.value(qualifiedKey(schema, objectName)) > 0;
}

void Database::replaceTable(int index, Table replacement)
{
    removeFromIndexes(index);
    const bool hadKey = m_tables[static_cast<size_t>(index)].primaryKey.has_value();
    if (hadKey)
        m_keyOrder.erase(std::find(m_keyOrder.begin(), m_keyOrder.end(), index));
    // The schema and name of a table never change, so the name indexes stay as they are.
    m_tables[static_cast<size_t>(index)] = std::move(replacement);
    addToIndexes(index);
    if (m_tables[static_cast<size_t>(index)].primaryKey) {
        const auto at = std::upper_bound(m_keyOrder.begin(), m_keyOrder.end(), index,
                                         [this](int l, int r) { return keyOrderLess(l, r); });
        m_keyOrder.insert(at, index);
    }
}

void Database::addToIndexes(int index)
{
    const Table& t = m_tables[static_cast<size_t>(index)];
    ++m_objectCount[qualifiedKey(t.schema, t.name)];
    if (t.primaryKey) {
        ++m_objectCount[qualifiedKey(t.schema, t.primaryKey->name)];
        m_keySortKeys[static_cast<size_t>(index)] = sortKey(t.primaryKey->name);
    }
    for (int f = 0; f < t.foreignKeys.size(); ++f) {
        const ForeignKey& key = t.foreignKeys[f];
        ++m_objectCount[qualifiedKey(t.schema, key.name)];
        m_referencedBy.insert(qualifiedKey(key.referencedSchema, key.referencedTable), { index, f });
    }
}

void Database::removeFromIndexes(int index)
{
    const Table& t = m_tables[static_cast<size_t>(index)];
    const auto release = [this](const QString& key) {
        if (--m_objectCount[key] <= 0)
            m_objectCount.remove(key);
    };
    release(qualifiedKey(t.schema, t.name));
    if (t.primaryKey)
        release(qualifiedKey(t.schema, t.primaryKey->name));
    m_keySortKeys[static_cast<size_t>(index)].reset();
    for (int f = 0; f < t.foreignKeys.size(); ++f) {
        const ForeignKey& key = t.foreignKeys[f];
        release(qualifiedKey(t.schema, key.name));
        m_referencedBy.remove(qualifiedKey(key.referencedSchema, key.referencedTable), { index, f });
    }
}

bool Database::keyOrderLess(int left, int right) const
{
    const int order = m_keySortKeys[static_cast<size_t>(left)]->compare(*m_keySortKeys[static_cast<size_t>(right)]);
    return order != 0 ? order < 0 : left < right;
}

const Login* Catalogue::findLogin(const QString& name) const
{
    for (const Login& login : logins) {
        if (nameKey(login.name) == nameKey(name))
            return &login;
    }
    return nullptr;
}

std::optional<int> Catalogue::findDatabase(const QString& name) const
{
    for (int i = 0; i < static_cast<int>(databases.size()); ++i) {
        if (nameKey(databases[static_cast<size_t>(i)].name()) == nameKey(name))
            return i;
    }
    return std::nullopt;
}

namespace {

    bool faultMatches(const Fault& fault, const QString& database, const QString& statement, const QString& table)
    {
        if (fault.usedUp() || fault.statement.compare(statement, Qt::CaseInsensitive) != 0)
            return false;
        if (!fault.database.isEmpty() && nameKey(fault.database) != nameKey(database))
            return false;
        return table.isEmpty() || fault.table.isEmpty() || nameKey(fault.table) == nameKey(table);
    }

    void mergeFault(std::optional<Fault>& merged, const Fault& fault)
    {
        if (!merged) {
            merged = fault;
            return;
        }
        merged->delayMs = std::max(merged->delayMs, fault.delayMs);
        merged->disconnect = merged->disconnect || fault.disconnect;
        merged->disconnectAfter = merged->disconnectAfter || fault.disconnectAfter;
        if (!merged->error)
            merged->error = fault.error;
    }

} // namespace

std::optional<Fault> Catalogue::faultFor(const QString& database, const QString& statement, const QString& table) const
{
    std::optional<Fault> merged;
    for (const Fault& fault : faults)
        if (faultMatches(fault, database, statement, table))
            mergeFault(merged, fault);
    return merged;
}

std::optional<Fault> Catalogue::takeFault(const QString& database, const QString& statement, const QString& table)
{
    std::optional<Fault> merged;
    for (Fault& fault : faults) {
        if (!faultMatches(fault, database, statement, table))
            continue;
        mergeFault(merged, fault);
        if (fault.times)
            --*fault.times;
    }
    return merged;
}

} // namespace standin
