#include "Statements.h"

#include <QTest>

using namespace standin;

// The statement recogniser: the program's own statement texts must be understood exactly, names
// with quotes and brackets must come back as the names they stand for, and anything else must be
// refused, so a test sees an unexpected statement at once.
class tst_Statements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void programQueries();
    void keyColumnLiterals_data();
    void keyColumnLiterals();
    void dropAndAddNames_data();
    void dropAndAddNames();
    void addKeyOptions();
    void housekeeping_data();
    void housekeeping();
    void refused_data();
    void refused();
};

void tst_Statements::programQueries()
{
    const Batch list = recogniseBatch(QStringLiteral(
        "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
        "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]"));
    QVERIFY(!list.syntaxErrorNear);
    QCOMPARE(list.statements.size(), 1);
    QVERIFY(std::holds_alternative<statement::PrimaryKeyList>(list.statements[0].action));

    const Batch check = recogniseBatch(QStringLiteral(
        "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name"));
    QCOMPARE(check.statements.size(), 1);
    QVERIFY(std::holds_alternative<statement::UserCheck>(check.statements[0].action));
    QCOMPARE(faultKind(check.statements[0].action), QStringLiteral("check"));
}

void tst_Statements::keyColumnLiterals_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("constraint");
    QTest::addColumn<QString>("table");
    const QString text
        = QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                         "isKCU.CONSTRAINT_NAME = '%1' AND isKCU.TABLE_NAME = '%2' ORDER BY "
                         "isKCU.ORDINAL_POSITION");
    QTest::newRow("plain") << text.arg(QStringLiteral("CRONUS$Customer$0"), QStringLiteral("CRONUS$Customer"))
                           << QStringLiteral("CRONUS$Customer$0") << QStringLiteral("CRONUS$Customer");
    QTest::newRow("doubled quote") << text.arg(QStringLiteral("Jim''s Bikes$Item$0"),
                                               QStringLiteral("Jim''s Bikes$Item"))
                                   << QStringLiteral("Jim's Bikes$Item$0") << QStringLiteral("Jim's Bikes$Item");
    QTest::newRow("quote at the ends") << text.arg(QStringLiteral("''"), QStringLiteral("''x''")) << QStringLiteral("'")
                                       << QStringLiteral("'x'");
    QTest::newRow("bracket and non-Latin") << text.arg(QStringLiteral("Компания]$0"), QStringLiteral("Компания]"))
                                           << QStringLiteral("Компания]$0") << QStringLiteral("Компания]");
    QTest::newRow("empty names") << text.arg(QString(), QString()) << QString() << QString();
}

void tst_Statements::keyColumnLiterals()
{
    QFETCH(QString, sql);
    const Batch batch = recogniseBatch(sql);
    QVERIFY2(!batch.syntaxErrorNear, qPrintable(batch.syntaxErrorNear.value_or(QString())));
    QCOMPARE(batch.statements.size(), 1);
    const auto* keys = std::get_if<statement::KeyColumns>(&batch.statements[0].action);
    QVERIFY(keys);
    QTEST(keys->constraint, "constraint");
    QTEST(keys->table, "table");
}

void tst_Statements::dropAndAddNames_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("constraint");
    QTest::addColumn<QString>("column");
    QTest::newRow("navision") << QStringLiteral("CRONUS$Sales Line") << QStringLiteral("CRONUS$Sales Line$0")
                              << QStringLiteral("Document No_");
    QTest::newRow("closing bracket") << QStringLiteral("Bracket]Co$Item") << QStringLiteral("Bracket]Co$Item$0")
                                     << QStringLiteral("No]_");
    QTest::newRow("brackets only") << QStringLiteral("]]") << QStringLiteral("[") << QStringLiteral("]");
    QTest::newRow("apostrophe") << QStringLiteral("Jim's Bikes$Item") << QStringLiteral("Jim's Bikes$Item$0")
                                << QStringLiteral("No_");
    QTest::newRow("greek") << QStringLiteral("Εταιρεία$Πελάτης") << QStringLiteral("Εταιρεία$Πελάτης$0")
                           << QStringLiteral("Αριθμός");
}

void tst_Statements::dropAndAddNames()
{
    QFETCH(QString, table);
    QFETCH(QString, constraint);
    QFETCH(QString, column);
    const auto bracketed = [](QString name) { return u'[' + name.replace(u']', QStringLiteral("]]")) + u']'; };

    const Batch drop = recogniseBatch(
        QStringLiteral("ALTER TABLE dbo.%1 DROP CONSTRAINT %2").arg(bracketed(table), bracketed(constraint)));
    QCOMPARE(drop.statements.size(), 1);
    const auto* dropped = std::get_if<statement::DropConstraint>(&drop.statements[0].action);
    QVERIFY(dropped);
    QCOMPARE(dropped->table.schema, QStringLiteral("dbo"));
    QCOMPARE(dropped->table.name, table);
    QCOMPARE(dropped->constraint, constraint);

    const Batch add
        = recogniseBatch(QStringLiteral("ALTER TABLE dbo.%1 ADD CONSTRAINT %2 PRIMARY KEY CLUSTERED  (%3,[x]) "
                                        "ON [PRIMARY]")
                             .arg(bracketed(table), bracketed(constraint), bracketed(column)));
    QCOMPARE(add.statements.size(), 1);
    const auto* added = std::get_if<statement::AddPrimaryKey>(&add.statements[0].action);
    QVERIFY(added);
    QCOMPARE(added->table.name, table);
    QCOMPARE(added->constraint, constraint);
    QCOMPARE(added->columns, (QList<KeyColumnSpec> { { column, false }, { QStringLiteral("x"), false } }));
    QCOMPARE(added->clustered, std::optional<bool>(true));
    QCOMPARE(added->filegroup, QStringLiteral("PRIMARY"));
    QCOMPARE(faultTable(add.statements[0].action), table);
}

void tst_Statements::addKeyOptions()
{
    const Batch batch
        = recogniseBatch(QStringLiteral("alter table T add constraint K primary key nonclustered (a desc, b asc); "
                                        "ALTER TABLE T ADD CONSTRAINT K PRIMARY KEY (a)"));
    QCOMPARE(batch.statements.size(), 2);
    const auto& first = std::get<statement::AddPrimaryKey>(batch.statements[0].action);
    QCOMPARE(first.table.schema, QString());
    QCOMPARE(first.clustered, std::optional<bool>(false));
    QCOMPARE(first.columns, (QList<KeyColumnSpec> { { QStringLiteral("a"), true }, { QStringLiteral("b"), false } }));
    const auto& second = std::get<statement::AddPrimaryKey>(batch.statements[1].action);
    QCOMPARE(second.clustered, std::optional<bool>());
    QCOMPARE(second.filegroup, QString());
}

void tst_Statements::housekeeping_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("statements");
    QTest::addColumn<bool>("firstConditional");
    QTest::newRow("commit and begin again")
        << QStringLiteral("IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION") << 2 << true;
    QTest::newRow("rollback") << QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK") << 1 << true;
    QTest::newRow("begin tran") << QStringLiteral("BEGIN TRAN") << 1 << false;
    QTest::newRow("commit work") << QStringLiteral("commit work") << 1 << false;
    QTest::newRow("implicit transactions") << QStringLiteral("SET IMPLICIT_TRANSACTIONS ON") << 1 << false;
    QTest::newRow("several sets") << QStringLiteral("SET TEXTSIZE 4096 SET ANSI_NULLS ON;SET DATEFORMAT mdy") << 3
                                  << false;
    QTest::newRow("isolation level") << QStringLiteral("SET TRANSACTION ISOLATION LEVEL READ COMMITTED") << 1 << false;
    QTest::newRow("use") << QStringLiteral("USE [CRONUS]") << 1 << false;
    QTest::newRow("comments only") << QStringLiteral("-- nothing\n/* at all */") << 0 << false;
}

void tst_Statements::housekeeping()
{
    QFETCH(QString, sql);
    const Batch batch = recogniseBatch(sql);
    QVERIFY2(!batch.syntaxErrorNear, qPrintable(batch.syntaxErrorNear.value_or(QString())));
    QTEST(static_cast<int>(batch.statements.size()), "statements");
    if (!batch.statements.isEmpty())
        QTEST(batch.statements[0].condition.has_value(), "firstConditional");
}

void tst_Statements::refused_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("near");
    QTest::newRow("delete") << QStringLiteral("DELETE FROM x") << QStringLiteral("DELETE");
    QTest::newRow("list with another order") << QStringLiteral(
        "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
        "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME] DESC")
                                             << QStringLiteral("DESC");
    QTest::newRow("unterminated literal") << QStringLiteral("SELECT isKCU.COLUMN_NAME FROM "
                                                            "INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                                                            "isKCU.CONSTRAINT_NAME = 'Jim's'")
                                          << QStringLiteral("'");
    QTest::newRow("drop without a name") << QStringLiteral("ALTER TABLE dbo.[T] DROP CONSTRAINT")
                                         << QStringLiteral("CONSTRAINT");
    QTest::newRow("unique instead of primary key")
        << QStringLiteral("ALTER TABLE dbo.[T] ADD CONSTRAINT [K] UNIQUE ([a])") << QStringLiteral("UNIQUE");
    QTest::newRow("second statement unknown")
        << QStringLiteral("BEGIN TRANSACTION; TRUNCATE TABLE x") << QStringLiteral("TRUNCATE");
}

void tst_Statements::refused()
{
    QFETCH(QString, sql);
    const Batch batch = recogniseBatch(sql);
    QVERIFY(batch.syntaxErrorNear.has_value());
    QVERIFY(batch.statements.isEmpty());
    QFETCH(QString, near);
    QVERIFY2(batch.syntaxErrorNear->startsWith(near), qPrintable(*batch.syntaxErrorNear));
}

QTEST_GUILESS_MAIN(tst_Statements)
#include "tst_statements.moc"
