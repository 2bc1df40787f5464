#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace quorvane::test {

// Fixtures for the stand-in: one database "CRONUS" that the login navuser reaches.
inline const QString kDatabaseName = QStringLiteral("CRONUS");
inline const QString kLoginName = QStringLiteral("navuser");
inline const QString kLoginPassword = QStringLiteral("Demo#2006");

// A primary key as the stand-in's catalogue holds it, and the key of a table in a saved catalogue.
QJsonObject primaryKey(const QString& name, const QStringList& columns, bool clustered);
std::optional<QJsonObject> primaryKeyIn(const QJsonObject& state, const QString& table);
// A table in the schema given, all its columns NOT NULL, with a non-clustered primary key named
// "<table>$0" over keyColumns, in that order.
QJsonObject keyedTable(const QString& name, const QStringList& columns = { "No_" },
                       const QStringList& keyColumns = { "No_" }, const QString& schema = QStringLiteral("dbo"));
// A whole fixture: the login with its password, and the Navision database CRONUS (its per-user
// table names the login's user) holding the tables; faults as the stand-in reads them.
QJsonObject databaseFixture(const QJsonArray& tables, const QJsonArray& faults = {},
                            const QString& password = kLoginPassword);
// One-column tables <prefix>1 .. <prefix>count, listed in that order.
QJsonArray numberedTables(int count, const QString& prefix = QStringLiteral("CRONUS$T"));
// One table for every mark the key details give, listed in this order by constraint name:
//  1 A$Clustered      clustered already, 1,234,567 rows in 850 MB
//  2 B$Customer       referenced by the foreign key FK_Customer of C$Sales Header; 5,213 rows
//  3 C$Sales Header   to rebuild
//  4 D$Sales Line     has a clustered index of its own
//  5 E$Dup (dbo)      its name is in two schemas
//  6 E$Dup (sales)    the same, and not in dbo
//  7 F$Archive        not in dbo
//  8 G$Item           to rebuild; 1 row
QJsonArray everyMark();
// The fixture with more keys set on its database CRONUS ("sessions", "filegroups", "collation").
QJsonObject withDatabaseKeys(QJsonObject fixture, const QJsonObject& keys);
// The "sessions" key of a Navision client, session 57 on NAVCLIENT12 as CRONUS\anna, holding a
// lock on the dbo table for holdMs.
QJsonObject sessionHolding(const QString& table, int holdMs);
// A fault on one kind of statement ("primary_keys", "key_columns", "drop", "add") for one table (or all).
QJsonObject fault(const QString& statement, const QString& table, const QString& key, const QJsonValue& value);

} // namespace quorvane::test
