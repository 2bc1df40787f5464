#include "sql/Statements.h"

#include <QTest>

using namespace standin;

namespace {

// The names a statement works on, table first.
QStringList namesOf(const Action& action)
{
    if (const auto* keys = std::get_if<statement::KeyColumns>(&action))
        return { keys->table, keys->constraint };
    if (const auto* drop = std::get_if<statement::DropConstraint>(&action))
        return { drop->table.name, drop->constraint };
    QStringList names;
    if (const auto* add = std::get_if<statement::AddPrimaryKey>(&action)) {
        names = QStringList { add->table.name, add->constraint };
        for (const KeyColumnItem& column : add->columns)
            names.append(column.name);
    }
    return names;
}

QString keyColumns(const QString& constraint, const QString& table)
{
    return QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                          "isKCU.CONSTRAINT_NAME = '%1' AND isKCU.TABLE_NAME = '%2' ORDER BY isKCU.ORDINAL_POSITION")
        .arg(constraint, table);
}

} // namespace

// The statement recogniser: names with quotes and brackets must come back as the names they stand
// for, and anything the program does not send must be refused, so a test sees it at once.
class tst_Statements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
    void batches_data();
    void batches();
    void faultKinds_data();
    void faultKinds();
};

void tst_Statements::names_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("literals with doubled quotes") << keyColumns("Jim''s Bikes$Item$0", "Jim''s Bikes$Item")
                                                  << QStringList { "Jim's Bikes$Item", "Jim's Bikes$Item$0" };
    QTest::newRow("quotes at the ends of literals") << keyColumns("''", "''x''") << QStringList { "'x'", "'" };
    QTest::newRow("empty literals") << keyColumns("", "") << QStringList { "", "" };
    QTest::newRow("drop with doubled brackets")
        << "ALTER TABLE dbo.[Bracket]]Co$Item] DROP CONSTRAINT [Bracket]]Co$Item$0]"
        << QStringList { "Bracket]Co$Item", "Bracket]Co$Item$0" };
    QTest::newRow("drop of bracket-only names")
        << "ALTER TABLE dbo.[]]]]] DROP CONSTRAINT [[]" << QStringList { "]]", "[" };
    QTest::newRow("add with doubled brackets and non-Latin names")
        << "ALTER TABLE dbo.[Компания]]$Клиент] ADD CONSTRAINT [Компания]]$Клиент$0] PRIMARY KEY CLUSTERED  "
           "([Но]]мер],[Jim's]) ON [PRIMARY]"
        << QStringList { "Компания]$Клиент", "Компания]$Клиент$0", "Но]мер", "Jim's" };
}

void tst_Statements::names()
{
    QFETCH(QString, sql);
    const Batch batch = recogniseBatch(sql);
    QVERIFY2(!batch.syntaxErrorNear, qPrintable(batch.syntaxErrorNear.value_or(QString())));
    QCOMPARE(batch.statements.size(), 1);
    QTEST(namesOf(batch.statements[0].action), "names");
}

void tst_Statements::batches_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("statements");
    QTest::addColumn<QString>("near"); // empty: the batch is accepted
    QTest::newRow("commit and begin again") << "IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION" << 2 << "";
    QTest::newRow("rollback") << "IF @@TRANCOUNT > 0 ROLLBACK" << 1 << "";
    QTest::newRow("several sets") << "SET TEXTSIZE 4096 SET ANSI_NULLS ON;SET DATEFORMAT mdy" << 3 << "";
    QTest::newRow("isolation level") << "SET TRANSACTION ISOLATION LEVEL READ COMMITTED" << 1 << "";
    QTest::newRow("use") << "USE [CRONUS]" << 1 << "";
    QTest::newRow("comments only") << "-- nothing\n/* at all */" << 0 << "";
    QTest::newRow("delete") << "DELETE FROM x" << 0 << "DELETE";
    QTest::newRow("list with another order") << "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From "
                                                "INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
                                                "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME] DESC"
                                             << 0 << "DESC";
    QTest::newRow("unterminated literal")
        << "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU "
           "WHERE isKCU.CONSTRAINT_NAME = 'Jim's'"
        << 0 << "'";
    QTest::newRow("unique instead of primary key")
        << "ALTER TABLE dbo.[T] ADD CONSTRAINT [K] UNIQUE ([a])" << 0 << "UNIQUE";
    QTest::newRow("script batch")
        << "-- T (T$0), key columns [No_]\nBEGIN TRANSACTION\n"
           "ALTER TABLE dbo.[T] DROP CONSTRAINT [T$0]\n"
           "ALTER TABLE dbo.[T] ADD CONSTRAINT [T$0] PRIMARY KEY CLUSTERED  ([No_]) ON [PRIMARY]\n"
           "COMMIT TRANSACTION\n"
        << 4 << "";
    QTest::newRow("xact abort") << "-- Server: x\nSET XACT_ABORT ON\n" << 1 << "";
    QTest::newRow("second statement unknown") << "BEGIN TRANSACTION; TRUNCATE TABLE x" << 0 << "TRUNCATE";
}

void tst_Statements::batches()
{
    QFETCH(QString, sql);
    QFETCH(QString, near);
    const Batch batch = recogniseBatch(sql);
    QTEST(static_cast<int>(batch.statements.size()), "statements");
    QCOMPARE(batch.syntaxErrorNear.has_value(), !near.isEmpty());
    const QString found = batch.syntaxErrorNear.value_or(QString());
    QVERIFY2(near.isEmpty() || found.startsWith(near), qPrintable(found));
}

void tst_Statements::faultKinds_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("kinds");
    QTest::newRow("transaction statements")
        << "BEGIN TRANSACTION; COMMIT TRANSACTION; ROLLBACK" << QStringList { "begin", "commit", "rollback" };
    QTest::newRow("as FreeTDS ends a transaction before TDS 7.2")
        << "IF @@TRANCOUNT > 0 ROLLBACK BEGIN TRANSACTION" << QStringList { "rollback", "begin" };
    QTest::newRow("housekeeping") << "SET IMPLICIT_TRANSACTIONS OFF; SELECT @@TRANCOUNT" << QStringList { "", "" };
}

// Faults are set on kinds of statement; the transaction statements' SQL forms have theirs.
void tst_Statements::faultKinds()
{
    QFETCH(QString, sql);
    QStringList kinds;
    for (const Statement& statement : recogniseBatch(sql).statements)
        kinds.append(faultKind(statement.action));
    QTEST(kinds, "kinds");
    using Request = statement::TransactionRequest;
    QCOMPARE(faultKind(Request { Request::Kind::Begin, false }), QStringLiteral("begin"));
    QCOMPARE(faultKind(Request { Request::Kind::Commit, true }), QStringLiteral("commit"));
    QCOMPARE(faultKind(Request { Request::Kind::Rollback, false }), QStringLiteral("rollback"));
    QCOMPARE(faultKind(Request {}), QString());
}

QTEST_GUILESS_MAIN(tst_Statements)
#include "tst_statements.moc"
