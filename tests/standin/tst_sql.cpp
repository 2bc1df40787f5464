#include "catalogue/CatalogueJson.h"
#include "catalogue/CatalogueRules.h"
#include "catalogue/Collation.h"
#include "catalogue/FixtureGenerator.h"
#include "sql/Statements.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <tuple>

using namespace standin;

namespace {

// A statement as the tests compare it: its fault kind, then the names it works on, table first.
QString describe(const Action& action)
{
    QStringList parts { faultKind(action) };
    if (const auto* keys = std::get_if<statement::KeyColumns>(&action))
        parts << keys->table.text << keys->constraint.text;
    if (const auto* drop = std::get_if<statement::DropConstraint>(&action))
        parts << drop->table.name << drop->constraint;
    if (const auto* add = std::get_if<statement::AddPrimaryKey>(&action)) {
        parts << add->table.name << add->constraint;
        for (const KeyColumnItem& column : add->columns)
            parts << column.name + (column.descending ? QStringLiteral(" DESC") : QString());
    }
    return parts.join(u'|');
}

// A table with a timestamp, the given NOT NULL key columns and a nullable Description.
Table table(const QString& name, const QStringList& keyColumns)
{
    Table t;
    t.name = name;
    t.columns.append({ QStringLiteral("timestamp"), false });
    t.primaryKey = PrimaryKey { name + QStringLiteral("$0"), false, {} };
    for (const QString& column : keyColumns) {
        t.columns.append({ column, false });
        t.primaryKey->columns.append({ column, false });
    }
    t.columns.append({ QStringLiteral("Description"), true });
    return t;
}

// A small Navision-like database: Customer is referenced by a foreign key, Sales Line has a
// clustered index of its own, Item has no primary key.
Catalogue cronus()
{
    Table entries = table("CRONUS$Cust_ Ledger Entry", { "Entry No_", "Customer No_" });
    entries.foreignKeys.append({ "FK_Customer", { "Customer No_" }, "dbo", "CRONUS$Customer" });
    Table lines = table("CRONUS$Sales Line", { "Document Type", "Document No_", "Line No_" });
    lines.indexes.append({ "$1", true, { "Document No_" } });
    Table item = table("CRONUS$Item", { "No_" });
    item.primaryKey.reset();
    Catalogue catalogue;
    catalogue.logins.append({ "navuser", "Demo#2006", {} });
    catalogue.databases.push_back(Database("CRONUS", { { "navuser", QByteArray("\x01\x02", 2) } },
                                           QList<QByteArray> { QByteArray("\x01\x02", 2) },
                                           { table("CRONUS$Customer", { "No_" }), entries, lines, item }));
    catalogue.faults.append({ "CRONUS", "CRONUS$Item", "add", SqlMessage { 1505, 1, 16, "duplicate" }, 0, false, {} });
    return catalogue;
}

QStringList constraintNames(const Database& database)
{
    QStringList names;
    for (const Row& row : primaryKeyList(database).rows)
        names.append(std::get<QString>(row[0]));
    return names;
}

QString drop(const QString& table, const QString& key)
{
    return QStringLiteral("ALTER TABLE dbo.[%1] DROP CONSTRAINT [%2]").arg(table, key);
}

QString add(const QString& table, const QString& key, const QString& kind, const QString& columns)
{
    return QStringLiteral("ALTER TABLE dbo.[%1] ADD CONSTRAINT [%2] PRIMARY KEY %3 (%4) ON [PRIMARY]")
        .arg(table, key, kind, columns);
}

// Applies a DROP or ADD statement as the session does.
ChangeOutcome apply(Database& database, const Statement& statement)
{
    if (const auto* dropped = std::get_if<statement::DropConstraint>(&statement.action))
        return dropConstraint(database, *dropped);
    return addPrimaryKey(database, std::get<statement::AddPrimaryKey>(statement.action));
}

// The outcome of a batch on the catalogue: the error numbers and the first one's text, or the key afterwards
// and where the state file puts the table's data.
QString outcomeOf(const QString& sql, Catalogue catalogue = cronus())
{
    Database& database = catalogue.databases.front();
    // The statements run in order until one fails; a failed statement changes nothing.
    QJsonObject before;
    ChangeOutcome outcome;
    for (const Statement& statement : recogniseBatch(sql).statements) {
        before = catalogueToJson(catalogue);
        outcome = apply(database, statement);
        if (!outcome.errors.isEmpty())
            break;
    }
    QString described;
    if (outcome.errors.isEmpty() != outcome.change.has_value()
        || (!outcome.change && catalogueToJson(catalogue) != before))
        return QStringLiteral("a change with errors, or a failure that changed the catalogue");
    for (const SqlMessage& message : outcome.errors)
        described += QString::number(message.number) + u' ';
    if (!outcome.change)
        return described + ": " + outcome.errors.first().text;
    const PrimaryKey& key = *database.table(outcome.change->table).primaryKey;
    described = key.name + (key.clustered ? " CLUSTERED" : " NONCLUSTERED");
    for (const KeyColumn& column : key.columns)
        described += u' ' + column.name + (column.descending ? " DESC" : "");
    const QJsonValue table = catalogueToJson(catalogue)["databases"][0]["tables"][outcome.change->table];
    return described + " ON " + table["filegroup"].toString() + table["partition_scheme"].toString();
}

// A Latin-1 database (or one of the collation given) with a filegroup beside PRIMARY, one that is
// full, a partitioned table, a table named in Japanese, and B also in schema sales with its key's name.
Database storageDatabase(const QString& collation = QStringLiteral("Latin1_General_CI_AS"))
{
    Table onPrimary = table("A", { "No_" });
    onPrimary.rows = 10;
    Table onData = table("B", { "No_" });
    onData.filegroup = "Data Filegroup 1";
    onData.primaryKey->clustered = true;
    Table namesake = table("B", { "Code" });
    namesake.schema = "sales";
    Table partitioned = table("P", { "No_" });
    partitioned.partitionScheme = "psYear";
    partitioned.rows = 10;
    return Database("CRONUS", {}, std::nullopt,
                    { onPrimary, onData, namesake, partitioned, table(QStringLiteral("顧客"), { "No_" }) },
                    { collation, { { "Data Filegroup 1", true, false }, { "Full", false, true } } });
}

QString cellText(const Cell& cell)
{
    if (const auto* text = std::get_if<QString>(&cell))
        return *text;
    const auto* number = std::get_if<std::int64_t>(&cell);
    return number                                    ? QString::number(*number)
        : std::holds_alternative<std::int32_t>(cell) ? QString::number(std::get<std::int32_t>(cell))
                                                     : "NULL";
}

// The rows a query answers on the database, each as its cells joined by '|', NULL for NULL.
QStringList answer(const Database& database, const QString& sql)
{
    const Action action = recogniseBatch(sql).statements.value(0).action;
    ResultSet result;
    if (const auto* keys = std::get_if<statement::KeyColumns>(&action))
        result = keyColumns(database, *keys);
    else if (const auto* filegroup = std::get_if<statement::TableFilegroup>(&action))
        result = tableFilegroup(database, *filegroup);
    else if (const auto* property = std::get_if<statement::IndexClustered>(&action))
        result = indexClustered(database, *property);
    else
        return { "not recognised" };
    QStringList rows;
    for (const Row& row : result.rows) {
        QStringList cells;
        for (const Cell& cell : row)
            cells << cellText(cell);
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

// What the stand-in makes of the SQL the program sends: the statements it recognises, and the
// catalogue's answers and errors for them.
class tst_Sql : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The statement recogniser: names with quotes and brackets must come back as the names they stand
    // for, and anything the program does not send must be refused, so a test sees it at once.
    void batches()
    {
        const QString keyColumns = QStringLiteral(
            "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = "
            "'Jim''s Bikes$Item$0' AND isKCU.TABLE_NAME = '''x''' ORDER BY isKCU.ORDINAL_POSITION");
        // The batch, the statements recognised, and the text a syntax error is near (empty: accepted).
        const std::tuple<QString, QStringList, QString> rows[] = {
            { keyColumns, { "key_columns|'x'|Jim's Bikes$Item$0" }, "" },
            { "-- T (T$0)\nBEGIN TRANSACTION\nALTER TABLE dbo.[Ком]]$T] ADD CONSTRAINT [T$0] PRIMARY KEY CLUSTERED  "
              "([Но]]мер],[Jim's] DESC) ON [PRIMARY]\nCOMMIT WORK\n",
              { "begin", "add|Ком]$T|T$0|Но]мер|Jim's DESC", "commit" },
              "" },
            { "-- nothing\n/* at all */", {}, "" },
            // Refused: what the program does not send.
            { "DELETE FROM x", {}, "DELETE" },
            { "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS "
              "WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME] DESC",
              {},
              "DESC" },
            { QString(keyColumns).replace("''", "'"), {}, "'" }, // an unterminated literal
            { "ALTER TABLE dbo.[T] ADD CONSTRAINT [K] UNIQUE ([a])", {}, "UNIQUE" },
            { "BEGIN TRANSACTION; TRUNCATE TABLE x", {}, "TRUNCATE" },
        };
        for (const auto& [sql, expected, near] : rows) {
            const Batch batch = recogniseBatch(sql);
            QStringList statements;
            for (const Statement& statement : batch.statements)
                statements.append(describe(statement.action));
            QCOMPARE(statements, expected);
            QCOMPARE(batch.syntaxErrorNear.value_or(QString()).left(near.size()), near);
            QCOMPARE(batch.syntaxErrorNear.has_value(), !near.isEmpty());
        }
    }

    // The catalogue's rules: SQL Server's answers and errors for the statements the program sends, the
    // collation's order, and the state file's round trip.
    void changes()
    {
        const QString lines = QStringLiteral("CRONUS$Sales Line");
        // The batch, and the error numbers with the first one's text, or the key afterwards.
        const std::pair<QString, QString> rows[] = {
            { drop("CRONUS$Nothing", "x"), // a missing table
              "4902 : Cannot find the object \"dbo.CRONUS$Nothing\" because it does not exist "
              "or you do not have permissions." },
            { drop("CRONUS$Customer", "CRONUS$Vendor$0"), "3728 3727 : 'CRONUS$Vendor$0' is not a constraint." },
            { add("CRONUS$Customer", "CRONUS$Customer$1", "CLUSTERED", "[No_]"),
              "1779 1750 : Table 'CRONUS$Customer' already has a primary key defined on it." },
            { add("CRONUS$Item", "CRONUS$Customer$0", "CLUSTERED", "[No_]"),
              "2714 1750 : There is already an object named 'CRONUS$Customer$0' in the database." },
            { add("CRONUS$Item", "CRONUS$Item$0", "CLUSTERED", "[No_],[Code]"),
              "1911 1750 : Column name 'Code' does not exist in the target table or view." },
            { add("CRONUS$Item", "CRONUS$Item$0", "CLUSTERED", "[Description]"),
              "8111 1750 : Cannot define PRIMARY KEY constraint on nullable column in table 'CRONUS$Item'." },
            { add("CRONUS$Item", "CRONUS$Item$0", "CLUSTERED", "[No_],[no_]"),
              "1909 1750 : Cannot use duplicate column names in index. Column name 'no_' listed more than once." },
            // Beside a clustered index the default is non-clustered.
            { drop(lines, lines + "$0") + "; " + add(lines, lines + "$0", "", "[Line No_],[Document Type] DESC"),
              "CRONUS$Sales Line$0 NONCLUSTERED Line No_ Document Type DESC ON PRIMARY" },
            // Names match case-insensitively, columns keep the table's spelling.
            { add("cronus$item", "CRONUS$Item$0", "CLUSTERED", "[NO_]"), "CRONUS$Item$0 CLUSTERED No_ ON PRIMARY" },
        };
        for (const auto& [sql, expected] : rows)
            QCOMPARE(outcomeOf(sql), expected);
    }

    // Case is ignored, accents are kept, blanks and punctuation come before digits before letters.
    void collationOrder()
    {
        const QStringList ordered = QStringLiteral("A$0|a$1|b$0|C$0|Cafe|Café|Caff|Cafg|cronus$G_L Entry$0|"
                                                   "CRONUS$Item Ledger Entry$0|CRONUS$Item$0|T$10|T$9|T$a")
                                        .split(u'|');
        QStringList names = ordered;
        std::reverse(names.begin(), names.end());
        std::swap(names[0], names[5]);
        std::vector<Table> tables;
        for (const QString& name : names) {
            tables.push_back(table(QStringLiteral("T%1").arg(tables.size()), { QStringLiteral("No_") }));
            tables.back().primaryKey->name = name;
        }
        Database database(QStringLiteral("D"), {}, std::nullopt, std::move(tables));
        QCOMPARE(constraintNames(database), ordered);

        // The order holds when the keys are dropped and added again one by one.
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString name = QStringLiteral("T%1").arg(i);
            for (const Statement& statement :
                 recogniseBatch(drop(name, names[i]) + "; " + add(name, names[i], "CLUSTERED", "[No_]")).statements)
                QVERIFY(apply(database, statement).change);
        }
        QCOMPARE(constraintNames(database), ordered);
    }

    // A part page counts whole and the row count is a bigint, as in sysindexes. (The refusals are met
    // end to end by the key details test.)
    void keyDetails()
    {
        Table customer = table("CRONUS$Customer", { "No_" });
        customer.rows = 1234567;
        customer.reservedKb = 850 * 1024 + 1;
        const ResultSet result = standin::keyDetails(Database("CRONUS", {}, std::nullopt, { customer }));
        QCOMPARE(result.columns[3].kind, ColumnDef::Kind::BigInt);
        QVERIFY(result.rows
                == QList<Row>({ { customer.primaryKey->name, customer.name, 0, std::int64_t(1234567), 108801, 0 } }));
        // The filegroup of each table's data, NULL for a partitioned one, which counts 0 rows there.
        QStringList filegroups;
        for (const Row& row : standin::keyDetails(storageDatabase(), true).rows)
            filegroups << cellText(row[0]) + u' ' + cellText(row[3]) + u' ' + cellText(row[6]);
        QCOMPARE(filegroups,
                 QStringList({ "A$0 10 PRIMARY", "B$0 0 Data Filegroup 1", "B$0 0 PRIMARY", "P$0 0 NULL",
                               "顧客$0 0 PRIMARY" }));
    }

    // The queries that read a table's filegroup, key columns and clustering, with literals with and
    // without N: one without N is read in the database's code page first.
    void storageQueries()
    {
        const QString keyColumns = "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                                   "isKCU.CONSTRAINT_NAME = %1'%2$0' AND isKCU.TABLE_NAME = %1'%2' %3"
                                   "ORDER BY isKCU.ORDINAL_POSITION";
        const QString dbo = "AND isKCU.TABLE_SCHEMA = N'dbo' ";
        const QString filegroup = "SELECT FILEGROUP_NAME(groupid) FROM sysindexes WHERE id = OBJECT_ID(%1'%2') AND "
                                  "indid < 2";
        const QString clustered = "SELECT INDEXPROPERTY(OBJECT_ID(N'%1'), N'%2', 'IsClustered')";
        const QString japanese = QStringLiteral("顧客");
        // The database's collation, the query, and its rows.
        const std::tuple<QString, QString, QStringList> rows[] = {
            { "", filegroup.arg("N", "dbo.[A]"), { "PRIMARY" } },
            { "", filegroup.arg("", "B"), { "Data Filegroup 1" } },
            { "", filegroup.arg("N", "CRONUS.dbo.P"), { "NULL" } }, // partitioned
            { "", filegroup.arg("N", "dbo.[C]"), {} },
            { "", keyColumns.arg("", "B", ""), { "No_", "Code" } },
            { "", keyColumns.arg("", japanese, dbo), {} }, // '??' in code page 1252
            { "Japanese_CI_AS", keyColumns.arg("", japanese, dbo), { "No_" } },
            { "", clustered.arg("dbo.[A]", "a$0"), { "0" } },
            { "", clustered.arg("dbo.[A]", "B$0"), { "NULL" } },
            { "", clustered.arg("dbo.[C]", "C$0"), { "NULL" } },
        };
        for (const auto& [collation, sql, expected] : rows)
            QCOMPARE(answer(collation.isEmpty() ? storageDatabase() : storageDatabase(collation), sql), expected);
    }

    // Where a rebuilt table's data goes: ON a filegroup moves it there with a clustered key, without ON it
    // stays (a partitioned table on its scheme), and a full filegroup takes no rows.
    void storageChanges()
    {
        const auto rebuild = [](const QString& table, const QString& kind, const QString& on) {
            return drop(table, table + "$0") + "; "
                + add(table, table + "$0", kind, "[No_]").replace(" ON [PRIMARY]", on);
        };
        Catalogue catalogue;
        catalogue.databases.push_back(storageDatabase());
        const std::pair<QString, QString> rows[] = {
            { rebuild("A", "CLUSTERED", " ON [data filegroup 1]"), "A$0 CLUSTERED No_ ON Data Filegroup 1" },
            { rebuild("A", "CLUSTERED", ""), "A$0 CLUSTERED No_ ON PRIMARY" },
            { rebuild("A", "NONCLUSTERED", " ON [Data Filegroup 1]"), "A$0 NONCLUSTERED No_ ON PRIMARY" },
            { rebuild("P", "CLUSTERED", " ON [PRIMARY]"), "P$0 CLUSTERED No_ ON PRIMARY" },
            { rebuild("P", "CLUSTERED", " ON [default]"), "P$0 CLUSTERED No_ ON psYear" },
            { rebuild("B", "CLUSTERED", " ON [Full]"), "B$0 CLUSTERED No_ ON Full" }, // empty: no rows reach it
            { rebuild("A", "CLUSTERED", " ON [Nowhere]"), "1921 1750 : Invalid filegroup 'Nowhere' specified." },
            { rebuild("A", "NONCLUSTERED", " ON [Full]"),
              "1105 1750 : Could not allocate space for object 'dbo.A'.'A$0' in database 'CRONUS' because the 'Full' "
              "filegroup is full. Create disk space by deleting unneeded files, dropping objects in the filegroup, "
              "adding additional files to the filegroup, or setting autogrowth on for existing files in the "
              "filegroup." },
        };
        for (const auto& [sql, expected] : rows)
            QCOMPARE(outcomeOf(sql, catalogue), expected);
    }

    void stateLoadsAsFixture()
    {
        const Catalogue catalogue = cronus();
        QTemporaryDir folder;
        QString error;
        QVERIFY(saveCatalogue(folder.filePath("state.json"), catalogueToJson(catalogue), error));
        const auto loaded = loadCatalogue(folder.filePath("state.json"), error);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(catalogueToJson(*loaded), catalogueToJson(catalogue));
        QCOMPARE(loaded->databases.front().foreignKeysReferencing(0).size(), 1);
        QVERIFY(loaded->faultFor("cronus", "add", "CRONUS$ITEM").has_value());
    }

    // A fault with "times" applies to that many matching statements, then no more; the state file
    // keeps the times left and leaves out a fault that is used up.
    void faultTimes()
    {
        QString error;
        const QByteArray fixture = R"({"databases": [{"name": "CRONUS"}], "faults": [
        {"statement": "rollback", "times": 2, "error": {"number": 3998}},
        {"statement": "commit", "table": "CRONUS$Item", "disconnect": true}]})";
        auto catalogue = catalogueFromJson(QJsonDocument::fromJson(fixture).object(), error);
        QVERIFY2(catalogue, qPrintable(error));

        QVERIFY(catalogue->faultFor("CRONUS", "rollback", {}).has_value()); // looking does not count
        QCOMPARE(catalogue->takeFault("CRONUS", "rollback", {})->error->number, 3998);
        QCOMPARE(catalogueToJson(*catalogue)["faults"][0]["times"].toInt(), 1);
        QVERIFY(catalogue->takeFault("cronus", "ROLLBACK", {}).has_value());
        QVERIFY(!catalogue->takeFault("CRONUS", "rollback", {}).has_value());
        QCOMPARE(catalogueToJson(*catalogue)["faults"].toArray().size(), 1);
        // Without "times" every time; a transaction statement names no table, so none narrows it.
        for (int n = 0; n < 3; ++n)
            QVERIFY(catalogue->takeFault("CRONUS", "commit", {})->disconnect);

        QVERIFY(!catalogueFromJson(QJsonDocument::fromJson(QByteArray(fixture).replace(": 2", ": 0")).object(), error));
        QCOMPARE(error, QStringLiteral("fault on \"rollback\" has \"times\" below 1"));
    }

    void generatedFixture()
    {
        // More tables than the list of Navision tables: names must stay unique.
        QString error;
        const auto catalogue = catalogueFromJson(generateFixture({ .companies = 3, .tablesPerCompany = 95 }), error);
        QVERIFY2(catalogue, qPrintable(error));
        QSet<QString> names;
        // Navision-like sizes: some empty tables, ledger entries far larger than setup tables, whole pages.
        qint64 largestEntries = 0;
        qint64 largestSetup = 0;
        int empty = 0;
        for (const Table& t : catalogue->databases.front().tables()) {
            names.insert(nameKey(t.name));
            QCOMPARE(t.primaryKey->name, t.name + QStringLiteral("$0"));
            QCOMPARE(t.columns.first().name, QStringLiteral("timestamp"));
            for (const KeyColumn& key : t.primaryKey->columns)
                QVERIFY(t.column(key.name) && !t.column(key.name)->nullable);
            QVERIFY(t.reservedKb % 8 == 0 && (t.rows == 0) == (t.reservedKb == 0));
            empty += t.rows == 0 ? 1 : 0;
            if (t.name.contains(QLatin1String("Entry")))
                largestEntries = std::max(largestEntries, t.rows);
            if (t.name.contains(QLatin1String("$Currency")) || t.name.contains(QLatin1String("$Payment Terms")))
                largestSetup = std::max(largestSetup, t.rows);
        }
        QCOMPARE(names.size(), 3 * 95);
        QVERIFY(empty > 0 && empty < 3 * 95 / 5);
        QVERIFY(largestSetup > 0 && largestEntries > 100 * largestSetup);
        // The login can pass the database check.
        QVERIFY(catalogue->findLogin(QStringLiteral("navuser")));
        QCOMPARE(std::get<ResultSet>(userCheck(catalogue->databases.front())).rows.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_Sql)
#include "tst_sql.moc"
