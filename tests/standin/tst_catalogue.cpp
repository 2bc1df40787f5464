#include "CatalogueJson.h"
#include "CatalogueRules.h"
#include "Collation.h"
#include "Transaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace standin;

Q_DECLARE_METATYPE(statement::AddPrimaryKey)
Q_DECLARE_METATYPE(statement::DropConstraint)

namespace {

Table table(const QString& name, const QStringList& keyColumns, bool clustered = false)
{
    Table t;
    t.name = name;
    t.columns.append({ QStringLiteral("timestamp"), false });
    for (const QString& column : keyColumns)
        t.columns.append({ column, false });
    t.columns.append({ QStringLiteral("Description"), true });
    PrimaryKey key { name + QStringLiteral("$0"), clustered, {} };
    for (const QString& column : keyColumns)
        key.columns.append({ column, false });
    t.primaryKey = key;
    return t;
}

// A small Navision-like database: Customer is referenced by a foreign key, Sales Line has a
// clustered index of its own, Item has no primary key.
Database cronus()
{
    std::vector<Table> tables;
    tables.push_back(table(QStringLiteral("CRONUS$Customer"), { QStringLiteral("No_") }));
    Table entries = table(QStringLiteral("CRONUS$Cust_ Ledger Entry"), { QStringLiteral("Entry No_") });
    entries.columns.append({ QStringLiteral("Customer No_"), false });
    entries.foreignKeys.append({ QStringLiteral("FK_Customer"),
                                 { QStringLiteral("Customer No_") },
                                 QStringLiteral("dbo"),
                                 QStringLiteral("CRONUS$Customer") });
    tables.push_back(entries);
    Table lines
        = table(QStringLiteral("CRONUS$Sales Line"),
                { QStringLiteral("Document Type"), QStringLiteral("Document No_"), QStringLiteral("Line No_") });
    lines.indexes.append({ QStringLiteral("$1"), true, { QStringLiteral("Document No_") } });
    tables.push_back(lines);
    Table item = table(QStringLiteral("CRONUS$Item"), { QStringLiteral("No_") });
    item.primaryKey.reset();
    tables.push_back(item);
    return Database(QStringLiteral("CRONUS"), { { QStringLiteral("navuser"), QByteArray("\x01\x02", 2) } },
                    QList<QByteArray> { QByteArray("\x01\x02", 2) }, std::move(tables));
}

QStringList constraintNames(const Database& database)
{
    QStringList names;
    for (const Row& row : primaryKeyList(database).rows)
        names.append(std::get<QString>(row[0]));
    return names;
}

QStringList firstColumn(const ResultSet& result)
{
    QStringList values;
    for (const Row& row : result.rows)
        values.append(std::get<QString>(row[0]));
    return values;
}

QList<int> numbers(const SqlMessages& messages)
{
    QList<int> result;
    for (const SqlMessage& message : messages)
        result.append(message.number);
    return result;
}

statement::AddPrimaryKey add(const QString& tableName, const QString& constraint, const QStringList& columns,
                             std::optional<bool> clustered = true)
{
    statement::AddPrimaryKey statement;
    statement.table = { QStringLiteral("dbo"), tableName };
    statement.constraint = constraint;
    statement.clustered = clustered;
    for (const QString& column : columns)
        statement.columns.append({ column, false });
    statement.filegroup = QStringLiteral("PRIMARY");
    return statement;
}

} // namespace

// The catalogue's rules: SQL Server's answers and errors for the statements the program sends, the
// collation's order, and the state file's round trip.
class tst_Catalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void collationOrder_data();
    void collationOrder();
    void dropErrors_data();
    void dropErrors();
    void addErrors_data();
    void addErrors();
    void rebuildAsClustered();
    void keyColumnsInKeyOrder();
    void keyColumnsAcrossSchemas();
    void userCheck();
    void rollbackRestoresKeys();
    void stateLoadsAsFixture();
};

void tst_Catalogue::collationOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("ordered");
    QTest::newRow("case is ignored") << QStringList { "b$0", "A$0", "a$1", "C$0" }
                                     << QStringList { "A$0", "a$1", "b$0", "C$0" };
    QTest::newRow("accents are kept") << QStringList { "Cafg", "Café", "Cafe", "Caff" }
                                      << QStringList { "Cafe", "Café", "Caff", "Cafg" };
    QTest::newRow("navision names") << QStringList {
        "CRONUS$Item$0", "CRONUS$Item Ledger Entry$0", "cronus$G_L Entry$0"
    } << QStringList { "cronus$G_L Entry$0", "CRONUS$Item Ledger Entry$0", "CRONUS$Item$0" };
    QTest::newRow("digits before letters")
        << QStringList { "T$a", "T$9", "T$10" } << QStringList { "T$10", "T$9", "T$a" };
}

void tst_Catalogue::collationOrder()
{
    QFETCH(QStringList, names);
    std::vector<Table> tables;
    for (const QString& name : names) {
        Table t = table(QStringLiteral("T") + QString::number(tables.size()), { QStringLiteral("No_") });
        t.primaryKey->name = name;
        tables.push_back(t);
    }
    Database database(QStringLiteral("D"), {}, std::nullopt, std::move(tables));
    QTEST(constraintNames(database), "ordered");

    // The order holds when keys are dropped and added again one by one.
    for (int i = 0; i < static_cast<int>(database.tables().size()); ++i) {
        const QString name = database.table(i).primaryKey->name;
        QVERIFY(dropConstraint(database, { { QStringLiteral("dbo"), database.table(i).name }, name }).change);
        QVERIFY(addPrimaryKey(database, add(database.table(i).name, name, { QStringLiteral("No_") })).change);
    }
    QTEST(constraintNames(database), "ordered");
}

void tst_Catalogue::dropErrors_data()
{
    QTest::addColumn<statement::DropConstraint>("drop");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("firstText");
    QTest::newRow("missing table") << statement::DropConstraint { { "dbo", "CRONUS$Nothing" }, "x" }
                                   << QList<int> { 4902 }
                                   << "Cannot find the object \"dbo.CRONUS$Nothing\" because it does not exist or you "
                                      "do not have permissions.";
    QTest::newRow("not a constraint") << statement::DropConstraint { { "dbo", "CRONUS$Customer" }, "CRONUS$Vendor$0" }
                                      << QList<int> { 3728, 3727 } << "'CRONUS$Vendor$0' is not a constraint.";
    QTest::newRow("referenced by a foreign key")
        << statement::DropConstraint { { "dbo", "CRONUS$Customer" }, "CRONUS$Customer$0" } << QList<int> { 3725, 3727 }
        << "The constraint 'CRONUS$Customer$0' is being referenced by table 'CRONUS$Cust_ Ledger Entry', foreign key "
           "constraint 'FK_Customer'.";
    QTest::newRow("other schema") << statement::DropConstraint { { "navuser", "CRONUS$Customer" }, "CRONUS$Customer$0" }
                                  << QList<int> { 4902 }
                                  << "Cannot find the object \"navuser.CRONUS$Customer\" because it does not exist or "
                                     "you do not have permissions.";
}

void tst_Catalogue::dropErrors()
{
    QFETCH(statement::DropConstraint, drop);
    Database database = cronus();
    const QStringList before = constraintNames(database);
    const ChangeOutcome outcome = dropConstraint(database, drop);
    QTEST(numbers(outcome.errors), "errors");
    QTEST(outcome.errors.first().text, "firstText");
    QVERIFY(!outcome.change);
    QCOMPARE(constraintNames(database), before);
}

void tst_Catalogue::addErrors_data()
{
    QTest::addColumn<statement::AddPrimaryKey>("statement");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("firstText");
    QTest::newRow("missing table") << add("CRONUS$Nothing", "K", { "No_" }) << QList<int> { 4902 }
                                   << "Cannot find the object \"dbo.CRONUS$Nothing\" because it does not exist or you "
                                      "do not have permissions.";
    QTest::newRow("already has a key") << add("CRONUS$Customer", "CRONUS$Customer$1", { "No_" })
                                       << QList<int> { 1779, 1750 }
                                       << "Table 'CRONUS$Customer' already has a primary key defined on it.";
    QTest::newRow("name taken") << add("CRONUS$Item", "CRONUS$Customer$0", { "No_" }) << QList<int> { 2714, 1750 }
                                << "There is already an object named 'CRONUS$Customer$0' in the database.";
    QTest::newRow("unknown column") << add("CRONUS$Item", "CRONUS$Item$0", { "No_", "Code" })
                                    << QList<int> { 1911, 1750 }
                                    << "Column name 'Code' does not exist in the target table or view.";
    QTest::newRow("nullable column")
        << add("CRONUS$Item", "CRONUS$Item$0", { "Description" }) << QList<int> { 8111, 1750 }
        << "Cannot define PRIMARY KEY constraint on nullable column in table 'CRONUS$Item'.";
    QTest::newRow("column twice") << add("CRONUS$Item", "CRONUS$Item$0", { "No_", "no_" }) << QList<int> { 1909, 1750 }
                                  << "Cannot use duplicate column names in index. Column name 'no_' listed more than "
                                     "once.";
}

void tst_Catalogue::addErrors()
{
    QFETCH(statement::AddPrimaryKey, statement);
    Database database = cronus();
    const ChangeOutcome outcome = addPrimaryKey(database, statement);
    QTEST(numbers(outcome.errors), "errors");
    QTEST(outcome.errors.first().text, "firstText");
    QVERIFY(!outcome.change);
    QVERIFY(!database.table(3).primaryKey);
}

void tst_Catalogue::rebuildAsClustered()
{
    Database database = cronus();
    // Sales Line has a clustered index already: the ADD is refused after the DROP, as on the server.
    QVERIFY(dropConstraint(database, { { "dbo", "CRONUS$Sales Line" }, "CRONUS$Sales Line$0" }).change);
    const ChangeOutcome second
        = addPrimaryKey(database, add("CRONUS$Sales Line", "CRONUS$Sales Line$0", { "Document Type", "Line No_" }));
    QCOMPARE(numbers(second.errors), (QList<int> { 1902, 1750 }));
    QCOMPARE(
        second.errors.first().text,
        QStringLiteral("Cannot create more than one clustered index on table 'CRONUS$Sales Line'. Drop the existing "
                       "clustered index '$1' before creating another."));
    // Without CLUSTERED or NONCLUSTERED the key becomes non-clustered beside the clustered index.
    QVERIFY(
        addPrimaryKey(database, add("CRONUS$Sales Line", "CRONUS$Sales Line$0", { "Line No_" }, std::nullopt)).change);
    QVERIFY(!database.table(2).primaryKey->clustered);

    // Names match case-insensitively; the key takes the table's spelling of the columns.
    const ChangeOutcome added = addPrimaryKey(database, add("cronus$item", "CRONUS$Item$0", { "NO_" }));
    QVERIFY(added.errors.isEmpty());
    QVERIFY(database.table(3).primaryKey->clustered);
    QCOMPARE(database.table(3).primaryKey->columns.first().name, QStringLiteral("No_"));
    QVERIFY(constraintNames(database).contains(QStringLiteral("CRONUS$Item$0")));
}

void tst_Catalogue::keyColumnsInKeyOrder()
{
    Database database = cronus();
    QVERIFY(dropConstraint(database, { { "dbo", "CRONUS$Sales Line" }, "CRONUS$Sales Line$0" }).change);
    QVERIFY(
        addPrimaryKey(database, add("CRONUS$Sales Line", "CRONUS$Sales Line$0", { "Line No_", "Document Type" }, false))
            .change);
    QCOMPARE(firstColumn(keyColumns(database, "cronus$sales line$0", "CRONUS$SALES LINE")),
             (QStringList { "Line No_", "Document Type" }));
    // A dropped key has no columns left, and a key asked for with the wrong table has none.
    QVERIFY(dropConstraint(database, { { "dbo", "CRONUS$Sales Line" }, "CRONUS$Sales Line$0" }).change);
    QVERIFY(keyColumns(database, "CRONUS$Sales Line$0", "CRONUS$Sales Line").rows.isEmpty());
    QVERIFY(keyColumns(database, "CRONUS$Customer$0", "CRONUS$Item").rows.isEmpty());
}

void tst_Catalogue::keyColumnsAcrossSchemas()
{
    std::vector<Table> tables;
    tables.push_back(table("T", { "a", "b" }));
    Table other = table("T", { "c" });
    other.schema = "navuser";
    tables.push_back(other);
    Database database("D", {}, std::nullopt, std::move(tables));
    // No schema filter: both keys' columns, merged in ORDINAL_POSITION order.
    QCOMPARE(firstColumn(keyColumns(database, "T$0", "T")), (QStringList { "a", "c", "b" }));
    QCOMPARE(constraintNames(database), (QStringList { "T$0", "T$0" }));
}

void tst_Catalogue::userCheck()
{
    const Database database = cronus();
    const auto rows = standin::userCheck(database);
    QVERIFY(std::holds_alternative<ResultSet>(rows));
    QCOMPARE(firstColumn(std::get<ResultSet>(rows)), QStringList { "navuser" });

    const Database plain("PLAIN", { { "navuser", QByteArray("\x01", 1) } }, std::nullopt, {});
    const auto missing = standin::userCheck(plain);
    QVERIFY(std::holds_alternative<SqlMessages>(missing));
    QCOMPARE(std::get<SqlMessages>(missing),
             SqlMessages { (SqlMessage { 208, 1, 16, "Invalid object name 'dbo.$ndo$usrproperty'." }) });

    const Database noMatch("OTHER", { { "navuser", QByteArray("\x01", 1) } }, QList<QByteArray> { "\x02" }, {});
    QVERIFY(std::get<ResultSet>(standin::userCheck(noMatch)).rows.isEmpty());
}

void tst_Catalogue::rollbackRestoresKeys()
{
    Catalogue catalogue;
    catalogue.databases.push_back(cronus());
    Database& database = catalogue.databases.front();
    const QStringList before = constraintNames(database);
    Transaction transaction;
    transaction.begin(QByteArray(8, '\1'));
    const ChangeOutcome dropped = dropConstraint(database, { { "dbo", "CRONUS$Sales Line" }, "CRONUS$Sales Line$0" });
    transaction.recordChange(0, *dropped.change);
    const ChangeOutcome added
        = addPrimaryKey(database, add("CRONUS$Sales Line", "CRONUS$Sales Line$0", { "Line No_" }, false));
    transaction.recordChange(0, *added.change);
    QCOMPARE(database.table(2).primaryKey->columns.size(), 1);
    // The state written while the transaction is open shows the committed key.
    const QJsonObject committed = catalogueToJson(catalogue, transaction.originals());
    const QJsonArray committedColumns = committed["databases"][0]["tables"][2]["primary_key"]["columns"].toArray();
    QCOMPARE(committedColumns.size(), 3);

    transaction.rollback(catalogue);
    QVERIFY(!transaction.active());
    QCOMPARE(database.table(2).primaryKey->columns.size(), 3);
    QCOMPARE(constraintNames(database), before);
}

void tst_Catalogue::stateLoadsAsFixture()
{
    Catalogue catalogue;
    catalogue.logins.append({ "navuser", "Demo#2006", {} });
    catalogue.databases.push_back(cronus());
    catalogue.faults.append({ "CRONUS", "CRONUS$Item", "add", SqlMessage { 1505, 1, 16, "duplicate" }, 0, false });
    QTemporaryDir folder;
    const QString path = folder.filePath("state.json");
    QString error;
    QVERIFY(saveCatalogue(path, catalogueToJson(catalogue), error));
    const auto loaded = loadCatalogue(path, error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(QJsonDocument(catalogueToJson(*loaded)).toJson(), QJsonDocument(catalogueToJson(catalogue)).toJson());
    QCOMPARE(loaded->databases.front().foreignKeysReferencing(0).size(), 1);
    QVERIFY(loaded->faultFor("cronus", "add", "CRONUS$ITEM").has_value());
    QVERIFY(!loaded->faultFor("cronus", "drop", "CRONUS$Item").has_value());
}

QTEST_GUILESS_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
