#include "GatedConnection.h"
#include "db/ErrorNumbers.h"
#include "db/ResponsiveConnection.h"
#include "support/FakeConnection.h"

#include <QTest>
#include <QTimer>
#include <stdexcept>

using namespace quorvane;
using quorvane::test::FakeDatabase;
using quorvane::test::FakeResult;

class tst_ResponsiveConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void slowCallKeepsEventsFlowing_data();
    void slowCallKeepsEventsFlowing();
    void failureArrivesUnchanged_data();
    void failureArrivesUnchanged();
    void otherExceptionArrivesUnchanged();
    void callsAndRowsComeThroughInOrder();
    void longResultFailsWhereTheReaderMeetsIt();
};

void tst_ResponsiveConnection::slowCallKeepsEventsFlowing_data()
{
    QTest::addColumn<QString>("call");
    for (const char* call :
         { "Open", "Execute", "MoveNext", "setCommandTimeout", "BeginTrans", "CommitTrans", "RollbackTrans", "Close" })
        QTest::newRow(call) << QString::fromLatin1(call);
}

void tst_ResponsiveConnection::slowCallKeepsEventsFlowing()
{
    QFETCH(QString, call);
    test::Gate gate;
    db::ResponsiveConnection connection(std::make_unique<test::GatedConnection>(gate));
    std::unique_ptr<db::RecordSet> rows;
    // Rows are fetched on the call thread as part of the query: the query itself is let through
    // here and the held call is the move past its row.
    if (call == "MoveNext")
        gate.letOneThrough();

    // The timer can only fire while the call is held if this thread handles events meanwhile.
    bool timerFired = false;
    QTimer::singleShot(0, this, [&] {
        timerFired = true;
        gate.letOneThrough();
    });
    if (call == "Open")
        connection.Open(QStringLiteral("Provider=sqloledb"));
    else if (call == "Execute")
        rows = connection.Execute(QStringLiteral("ALTER TABLE dbo.[Item] ADD CONSTRAINT [Item$0]"));
    else if (call == "MoveNext")
        rows = connection.Execute(QStringLiteral("SELECT 1"));
    else if (call == "setCommandTimeout")
        connection.setCommandTimeout(0);
    else if (call == "BeginTrans")
        connection.BeginTrans();
    else if (call == "CommitTrans")
        connection.CommitTrans();
    else if (call == "RollbackTrans")
        connection.RollbackTrans();
    else if (call == "Close")
        connection.Close();

    QVERIFY(timerFired);
    QCOMPARE(gate.forcedOpen.load(), 0);
}

void tst_ResponsiveConnection::failureArrivesUnchanged_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");

    QTest::newRow("Open") << "Open" << int(db::kErrorAuthenticationFailed) << "Login failed for user 'navuser'.";
    QTest::newRow("Execute") << "Execute" << 3725
                             << "The constraint 'Item$0' is being referenced by table 'Sales Line'.\n"
                                "Could not drop constraint. See previous errors.";
    QTest::newRow("MoveNext") << "MoveNext" << int(db::kErrorFail) << "Communication link failure";
    QTest::newRow("Fields") << "Fields" << 3265
                            << "Item cannot be found in the collection corresponding to the requested name or ordinal.";
}

void tst_ResponsiveConnection::failureArrivesUnchanged()
{
    QFETCH(QString, call);
    QFETCH(int, number);
    QFETCH(QString, description);
    FakeDatabase database;
    if (call == "Open")
        database.openFailure = Failure(number, description);
    database.respond = [&](const QString&) {
        FakeResult result { { { "No_" }, { "Name" } }, std::nullopt, 0 };
        if (call == "Execute" || call == "MoveNext")
            result.failure = Failure(number, description);
        result.failAtRow = call == "MoveNext" ? 1 : 0;
        return result;
    };
    db::ResponsiveConnection connection(database.factory()());

    try {
        connection.Open(QStringLiteral("Provider=sqloledb"));
        const std::unique_ptr<db::RecordSet> rows = connection.Execute(QStringLiteral("SELECT 1"));
        if (call == "MoveNext")
            rows->MoveNext();
        if (call == "Fields")
            rows->Fields(1);
        QFAIL("no failure arrived");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number(), number);
        QCOMPARE(failure.description(), description);
    }
}

void tst_ResponsiveConnection::otherExceptionArrivesUnchanged()
{
    FakeDatabase database;
    database.respond = [](const QString&) -> FakeResult { throw std::length_error("statement too long"); };
    db::ResponsiveConnection connection(database.factory()());
    connection.Open(QStringLiteral("Provider=sqloledb"));

    QVERIFY_THROWS_EXCEPTION(std::length_error, connection.Execute(QStringLiteral("SELECT 1")));
}

void tst_ResponsiveConnection::callsAndRowsComeThroughInOrder()
{
    FakeDatabase database;
    database.respond = [](const QString& sql) {
        return sql.startsWith(QLatin1String("SELECT"))
            ? FakeResult { { { "Nummer" }, { "Дата" }, { "番号" } }, std::nullopt, 0 }
            : FakeResult {};
    };
    {
        db::ResponsiveConnection connection(database.factory()());
        connection.Open(QStringLiteral("Provider=sqloledb"));
        QStringList columns;
        for (const auto rows = connection.Execute(QStringLiteral("SELECT 1")); !rows->eof(); rows->MoveNext())
            columns.append(rows->Fields(0));
        QCOMPARE(columns, (QStringList { "Nummer", "Дата", "番号" }));
        connection.setCommandTimeout(0);
        QCOMPARE(connection.CommandTimeout(), 0);
        connection.BeginTrans();
        connection.Execute(QStringLiteral("ALTER TABLE 1"));
        connection.Execute(QStringLiteral("ALTER TABLE 2"));
        connection.CommitTrans();
        QVERIFY(connection.isOpen());
        connection.Close();
        QVERIFY(!connection.isOpen());
    }
    QCOMPARE(database.events,
             (QStringList { "OPEN Provider=sqloledb", "EXEC SELECT 1", "TIMEOUT 0", "BEGIN", "EXEC ALTER TABLE 1",
                            "EXEC ALTER TABLE 2", "COMMIT", "CLOSE" }));
}

// Rows are fetched ahead in batches; a result longer than a batch still arrives whole and in order,
// and a connection lost part way shows at the move past the last row read, not earlier.
void tst_ResponsiveConnection::longResultFailsWhereTheReaderMeetsIt()
{
    constexpr int kRows = 10000;
    constexpr int kLostAt = 9000;
    FakeDatabase database;
    database.respond = [](const QString&) {
        FakeResult result;
        for (int row = 0; row < kRows; ++row)
            result.rows.append({ QString::number(row), QStringLiteral("CRONUS") });
        result.failure = Failure(db::kErrorFail, QStringLiteral("Communication link failure"));
        result.failAtRow = kLostAt;
        return result;
    };
    db::ResponsiveConnection connection(database.factory()());
    connection.Open(QStringLiteral("Provider=sqloledb"));
    const std::unique_ptr<db::RecordSet> rows = connection.Execute(QStringLiteral("SELECT 1"));

    int read = 0;
    try {
        for (; !rows->eof(); rows->MoveNext()) {
            QCOMPARE(rows->Fields(0), QString::number(read));
            QCOMPARE(rows->fieldCount(), 2);
            ++read;
        }
        QFAIL("the lost connection did not arrive");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), QStringLiteral("Communication link failure"));
    }
    QCOMPARE(read, kLostAt);
}

QTEST_GUILESS_MAIN(tst_ResponsiveConnection)
#include "tst_responsiveconnection.moc"
