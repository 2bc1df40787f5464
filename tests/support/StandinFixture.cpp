#include "support/StandinFixture.h"

namespace quorvane::test {

namespace {

    QJsonArray columnObjects(const QStringList& columns, const char* key, const QJsonValue& value)
    {
        QJsonArray objects;
        for (const QString& column : columns)
            objects.append(QJsonObject { { "name", column }, { QLatin1String(key), value } });
        return objects;
    }

    QJsonObject with(QJsonObject object, const char* key, const QJsonValue& value)
    {
        object.insert(QLatin1String(key), value);
        return object;
    }

} // namespace

QJsonObject keyedTable(const QString& name, const QStringList& columns, const QStringList& keyColumns,
                       const QString& schema)
{
    return QJsonObject { { "schema", schema },
                         { "name", name },
                         { "columns", columnObjects(columns, "nullable", false) },
                         { "primary_key", primaryKey(name + QStringLiteral("$0"), keyColumns, false) } };
}

QJsonObject databaseFixture(const QJsonArray& tables, const QJsonArray& faults, const QString& password)
{
    const QJsonArray logins { QJsonObject {
        { "name", kLoginName }, { "password", password }, { "default_database", kDatabaseName } } };
    const QJsonArray databases { QJsonObject {
        { "name", kDatabaseName },
        { "users", QJsonArray { QJsonObject { { "name", kLoginName }, { "sid", "0x0A0B" } } } },
        { "navision_user_table", QJsonObject { { "sids", QJsonArray { "0x0A0B" } } } },
        { "tables", tables } } };
    return QJsonObject { { "logins", logins }, { "databases", databases }, { "faults", faults } };
}

QJsonArray numberedTables(int count, const QString& prefix)
{
    QJsonArray tables;
    for (int n = 1; n <= count; ++n)
        tables.append(keyedTable(prefix + QString::number(n)));
    return tables;
}

QJsonArray everyMark()
{
    const auto sized = [](const QJsonObject& table, qint64 rows, qint64 reservedKb) {
        return with(with(table, "rows", rows), "reserved_kb", reservedKb);
    };
    const QJsonObject foreignKey { { "name", "FK_Customer" },
                                   { "columns", QJsonArray { "Customer No_" } },
                                   { "references", QJsonObject { { "table", "B$Customer" } } } };
    const QJsonObject clusteredIndex { { "name", "$1" },
                                       { "clustered", true },
                                       { "columns", QJsonArray { "Line No_" } } };
    return { with(sized(keyedTable("A$Clustered"), 1234567, 850 * 1024), "primary_key",
                  primaryKey("A$Clustered$0", { "No_" }, true)),
             sized(keyedTable("B$Customer"), 5213, 6128),
             with(keyedTable("C$Sales Header", { "No_", "Customer No_" }), "foreign_keys", QJsonArray { foreignKey }),
             with(keyedTable("D$Sales Line", { "No_", "Line No_" }), "indexes", QJsonArray { clusteredIndex }),
             keyedTable("E$Dup"),
             keyedTable("E$Dup", { "No_" }, { "No_" }, "sales"),
             keyedTable("F$Archive", { "No_" }, { "No_" }, "archive"),
             sized(keyedTable("G$Item"), 1, 16) };
}

QJsonObject withDatabaseKeys(QJsonObject fixture, const QJsonObject& keys)
{
    QJsonArray databases = fixture["databases"].toArray();
    QJsonObject database = databases[0].toObject();
    for (auto key = keys.begin(); key != keys.end(); ++key)
        database.insert(key.key(), key.value());
    databases[0] = database;
    fixture["databases"] = databases;
    return fixture;
}

QJsonObject sessionHolding(const QString& table, int holdMs)
{
    const QJsonObject session { { "session_id", 57 },
                                { "host", "NAVCLIENT12" },
                                { "login", "CRONUS\\anna" },
                                { "program", "Microsoft Business Solutions-Navision" },
                                { "locks", QJsonArray { table } },
                                { "hold_ms", holdMs } };
    return { { "sessions", QJsonArray { session } } };
}

QJsonObject fault(const QString& statement, const QString& table, const QString& key, const QJsonValue& value)
{
    const QJsonObject object { { "database", kDatabaseName }, { "statement", statement }, { key, value } };
    return table.isEmpty() ? object : with(object, "table", table);
}

QJsonObject primaryKey(const QString& name, const QStringList& columns, bool clustered)
{
    return QJsonObject { { "name", name },
                         { "clustered", clustered },
                         { "columns", columnObjects(columns, "descending", false) } };
}

std::optional<QJsonObject> primaryKeyIn(const QJsonObject& state, const QString& table)
{
    for (const QJsonValue& database : state[QLatin1String("databases")].toArray())
        for (const QJsonValue& entry : database[QLatin1String("tables")].toArray())
            if (entry["name"].toString() == table && entry["schema"].toString() == "dbo"
                && entry["primary_key"].isObject())
                return entry["primary_key"].toObject();
    return std::nullopt;
}

} // namespace quorvane::test
