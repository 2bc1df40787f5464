#include "db/ErrorNumbers.h"
#include "db/OdbcErrors.h"

#include <QTest>

using namespace quorvane::db;

Q_DECLARE_METATYPE(QList<DiagnosticRecord>)
Q_DECLARE_METATYPE(OdbcOperation)

namespace {

const QString kFreeTds = QStringLiteral("[FreeTDS][SQL Server]");

DiagnosticRecord freeTds(const char* state, std::int32_t native, const QString& text)
{
    return { QString::fromLatin1(state), native, kFreeTds + text };
}

const DiagnosticRecord kNoDataSource = freeTds("08001", 0, QStringLiteral("Unable to connect to data source"));
const DiagnosticRecord kLoginFailed = freeTds("28000", 18456, QStringLiteral("Login failed for user 'sa'."));
const DiagnosticRecord kCannotOpenDatabase
    = freeTds("42000", 4060, QStringLiteral("Cannot open database \"NAV\" requested by the login. The login failed."));
const DiagnosticRecord kReferenced = freeTds(
    "42000", 3725,
    QStringLiteral("The constraint 'PK_Item' is being referenced by table 'Sales Line', foreign key constraint "
                   "'FK_Item'."));
const DiagnosticRecord kCouldNotDrop
    = freeTds("42000", 3727, QStringLiteral("Could not drop constraint. See previous errors."));

} // namespace

class TestOdbcErrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mapsDiagnostics_data()
    {
        QTest::addColumn<QList<DiagnosticRecord>>("records");
        QTest::addColumn<OdbcOperation>("operation");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");

        const auto connect = OdbcOperation::Connect;
        const auto statement = OdbcOperation::Statement;

        QTest::newRow("server not reachable")
            << QList<DiagnosticRecord> { freeTds("08001", 20009,
                                                 "Unable to connect: Adaptive Server is unavailable or does not exist"),
                                         kNoDataSource }
            << connect << kErrorFail
            << "Unable to connect: Adaptive Server is unavailable or does not exist\nUnable to connect to data source";
        QTest::newRow("login refused") << QList<DiagnosticRecord> { kLoginFailed, kNoDataSource } << connect
                                       << kErrorAuthenticationFailed << "Login failed for user 'sa'.";
        QTest::newRow("database cannot be opened, handed over after the login failure")
            << QList<DiagnosticRecord> { kLoginFailed, kCannotOpenDatabase, kNoDataSource } << connect << kErrorFail
            << "Cannot open database \"NAV\" requested by the login. The login failed.\nLogin failed for user 'sa'.";
        QTest::newRow("database cannot be opened, in the server's order")
            << QList<DiagnosticRecord> { kCannotOpenDatabase, kLoginFailed } << connect << kErrorFail
            << "Cannot open database \"NAV\" requested by the login. The login failed.\nLogin failed for user 'sa'.";
        QTest::newRow("missing table") << QList<DiagnosticRecord> {
            freeTds("42S02", 208, "Invalid object name 'dbo.$ndo$usrproperty'.")
        } << statement << kErrorNoTable << "Invalid object name 'dbo.$ndo$usrproperty'.";
        QTest::newRow("two errors of one statement")
            << QList<DiagnosticRecord> { kReferenced, kCouldNotDrop } << statement << 3725
            << "The constraint 'PK_Item' is being referenced by table 'Sales Line', foreign key constraint 'FK_Item'.\n"
               "Could not drop constraint. See previous errors.";
        QTest::newRow("summary handed over before its cause")
            << QList<DiagnosticRecord> { kCouldNotDrop, kReferenced } << statement << 3725
            << "The constraint 'PK_Item' is being referenced by table 'Sales Line', foreign key constraint 'FK_Item'.\n"
               "Could not drop constraint. See previous errors.";
        QTest::newRow("informational messages are no errors")
            << QList<DiagnosticRecord> { freeTds("01000", 5701, "Changed database context to 'NAV'."),
                                         freeTds("42000", 1779,
                                                 "Table 'Item' already has a primary key defined on it."),
                                         freeTds("42000", 1750,
                                                 "Could not create constraint or index. See previous errors."),
                                         freeTds("01000", 3621, "The statement has been terminated.") }
            << statement << 1779
            << "Table 'Item' already has a primary key defined on it.\n"
               "Could not create constraint or index. See previous errors.";
        QTest::newRow("any other server error keeps its number")
            << QList<DiagnosticRecord> { freeTds("42000", 50000, "Raised by a trigger") } << statement << 50000
            << "Raised by a trigger";
        QTest::newRow("query time-out") << QList<DiagnosticRecord> { freeTds("HYT00", 0, "Timeout expired") }
                                        << statement << kErrorFail << "Query timeout expired";
        QTest::newRow("login time-out") << QList<DiagnosticRecord> {
            freeTds("HYT00", 20003, "Adaptive Server connection timed out"), kNoDataSource
        } << connect << kErrorFail << "Login timeout expired";
        QTest::newRow("connection lost") << QList<DiagnosticRecord> {
            freeTds("08S01", 20004, "Read from the server failed"), freeTds("08S01", 0, "Communication link failure")
        } << statement << kErrorFail << "Read from the server failed\nCommunication link failure";
        QTest::newRow("character conversion in the driver") << QList<DiagnosticRecord> {
            freeTds("22018", 2403, "Some character(s) could not be converted into client's character set.")
        } << statement << kErrorFail << "Some character(s) could not be converted into client's character set.";
        QTest::newRow("driver manager") << QList<DiagnosticRecord> {
            { "IM002", 0, "[unixODBC][Driver Manager]Data source name not found and no default driver specified" }
        } << connect << kErrorFail << "Data source name not found and no default driver specified";
        QTest::newRow("another driver's network error carries an operating-system number") << QList<DiagnosticRecord> {
            { "08001", 10061, "[Microsoft][ODBC Driver 18 for SQL Server]TCP Provider: Error code 0x274D" }
        } << connect << kErrorFail << "TCP Provider: Error code 0x274D";
        QTest::newRow("another driver's server message") << QList<DiagnosticRecord> {
            { "42S02", 208, "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 'Item'." }
        } << statement << kErrorNoTable << "Invalid object name 'Item'.";
        QTest::newRow("failure without any record")
            << QList<DiagnosticRecord> {} << statement << kErrorFail << "Unspecified error";
    }

    void mapsDiagnostics()
    {
        QFETCH(QList<DiagnosticRecord>, records);
        QFETCH(OdbcOperation, operation);
        QFETCH(int, number);
        QFETCH(QString, description);

        const quorvane::Failure failure = FailureFromDiagnostics(records, operation);
        QCOMPARE(failure.description(), description);
        QCOMPARE(failure.number(), number);
    }
};

QTEST_GUILESS_MAIN(TestOdbcErrors)
#include "tst_odbcerrors.moc"
