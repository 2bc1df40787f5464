#include "sql/Statements.h"

#include <QTest>

using namespace standin;

namespace {

// A statement as the tests compare it: its fault kind, then the names it works on, table first.
QString describe(const Action& action)
{
    QStringList parts { faultKind(action) };
    if (const auto* keys = std::get_if<statement::KeyColumns>(&action))
        parts << keys->table << keys->constraint;
    if (const auto* drop = std::get_if<statement::DropConstraint>(&action))
        parts << drop->table.name << drop->constraint;
    if (const auto* add = std::get_if<statement::AddPrimaryKey>(&action)) {
        parts << add->table.name << add->constraint;
        for (const KeyColumnItem& column : add->columns)
            parts << column.name + (column.descending ? QStringLiteral(" DESC") : QString());
    }
    return parts.join(u'|');
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
    void batches_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("near"); // empty: the batch is accepted
        QTest::newRow("literals with doubled quotes")
            << keyColumns("Jim''s Bikes$Item$0", "''x''") << QStringList { "key_columns|'x'|Jim's Bikes$Item$0" } << "";
        QTest::newRow("doubled brackets")
            << "ALTER TABLE dbo.[]]]]] DROP CONSTRAINT [[]" << QStringList { "drop|]]|[" } << "";
        QTest::newRow("script batch")
            << "-- T (T$0)\nBEGIN TRANSACTION\nALTER TABLE dbo.[Ком]]$T] ADD CONSTRAINT [T$0] "
               "PRIMARY KEY CLUSTERED  ([Но]]мер],[Jim's] DESC) ON [PRIMARY]\nCOMMIT WORK\n"
            << QStringList { "begin", "add|Ком]$T|T$0|Но]мер|Jim's DESC", "commit" } << "";
        QTest::newRow("as FreeTDS ends a transaction before TDS 7.2")
            << "IF @@TRANCOUNT > 0 ROLLBACK BEGIN TRANSACTION" << QStringList { "rollback", "begin" } << "";
        QTest::newRow("housekeeping") << "SET TEXTSIZE 4096 SET ANSI_NULLS ON;USE [CRONUS]; SELECT @@TRANCOUNT"
                                      << QStringList { "", "", "", "" } << "";
        QTest::newRow("comments only") << "-- nothing\n/* at all */" << QStringList {} << "";
        QTest::newRow("delete") << "DELETE FROM x" << QStringList {} << "DELETE";
        QTest::newRow("list with another order") << "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From "
                                                    "INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
                                                    "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME] DESC"
                                                 << QStringList {} << "DESC";
        QTest::newRow("unterminated literal") << keyColumns("Jim's", "x") << QStringList {} << "'";
        QTest::newRow("unique instead of primary key")
            << "ALTER TABLE dbo.[T] ADD CONSTRAINT [K] UNIQUE ([a])" << QStringList {} << "UNIQUE";
        QTest::newRow("second statement unknown")
            << "BEGIN TRANSACTION; TRUNCATE TABLE x" << QStringList {} << "TRUNCATE";
    }

    void batches()
    {
        QFETCH(QString, sql);
        QFETCH(QString, near);
        const Batch batch = recogniseBatch(sql);
        QStringList statements;
        for (const Statement& statement : batch.statements)
            statements.append(describe(statement.action));
        QTEST(statements, "statements");
        QCOMPARE(batch.syntaxErrorNear.value_or(QString()).left(near.size()), near);
        QCOMPARE(batch.syntaxErrorNear.has_value(), !near.isEmpty());
    }

    // A transaction-manager request takes the faults of the SQL statement it stands for.
    void transactionRequestFaults()
    {
        using Request = statement::TransactionRequest;
        QCOMPARE(faultKind(Request { Request::Kind::Commit, true }), QStringLiteral("commit"));
        QCOMPARE(faultKind(Request { Request::Kind::Rollback, false }), QStringLiteral("rollback"));
        QCOMPARE(faultKind(Request {}), QString());
    }
};

QTEST_GUILESS_MAIN(tst_Statements)
#include "tst_statements.moc"
