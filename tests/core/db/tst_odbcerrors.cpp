#include "db/ErrorNumbers.h"
#include "db/OdbcErrors.h"

#include <QTest>

using namespace quorvane::db;

using Records = QList<DiagnosticRecord>;
Q_DECLARE_METATYPE(Records)
Q_DECLARE_METATYPE(OdbcOperation)

namespace {

DiagnosticRecord freeTds(const char* state, std::int32_t native, const QString& text)
{
    return { QString::fromLatin1(state), native, QStringLiteral("[FreeTDS][SQL Server]") + text };
}

const QString kLoginFailed = QStringLiteral("Login failed for user 'sa'.");
const QString kCannotOpen = QStringLiteral("Cannot open database \"NAV\" requested by the login. The login failed.");
const QString kReferenced = QStringLiteral(
    "The constraint 'PK_Item' is being referenced by table 'Sales Line', foreign key constraint 'FK_Item'.");
const QString kCouldNotDrop = QStringLiteral("Could not drop constraint. See previous errors.");
const QString kHasKey = QStringLiteral("Table 'Item' already has a primary key defined on it.");
const QString kCouldNotCreate = QStringLiteral("Could not create constraint or index. See previous errors.");
const QString kUnreachable = QStringLiteral("Unable to connect: Adaptive Server is unavailable or does not exist");
const DiagnosticRecord kNoDataSource = freeTds("08001", 0, QStringLiteral("Unable to connect to data source"));

} // namespace

class TestOdbcErrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mapsDiagnostics_data()
    {
        QTest::addColumn<Records>("records");
        QTest::addColumn<OdbcOperation>("operation");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");

        const auto connect = OdbcOperation::Connect;
        const auto statement = OdbcOperation::Statement;
        const QString referenced = kReferenced + u'\n' + kCouldNotDrop;
        const QString cannotOpen = kCannotOpen + u'\n' + kLoginFailed;

        QTest::newRow("server not reachable")
            << Records { freeTds("08001", 20009, kUnreachable), kNoDataSource } << connect << kErrorFail
            << kUnreachable + QStringLiteral("\nUnable to connect to data source");
        QTest::newRow("database cannot be opened, handed over after the login failure")
            << Records { freeTds("28000", 18456, kLoginFailed), freeTds("42000", 4060, kCannotOpen), kNoDataSource }
            << connect << kErrorFail << cannotOpen;
        QTest::newRow("summary handed over before its cause")
            << Records { freeTds("42000", 3727, kCouldNotDrop), freeTds("42000", 3725, kReferenced) } << statement
            << 3725 << referenced;
        QTest::newRow("informational messages are no errors")
            << Records { freeTds("42000", 1779, kHasKey), freeTds("42000", 1750, kCouldNotCreate),
                         freeTds("01000", 3621, "The statement has been terminated.") }
            << statement << 1779 << kHasKey + u'\n' + kCouldNotCreate;
        QTest::newRow("login time-out") << Records { freeTds("HYT00", 20003, "Adaptive Server connection timed out"),
                                                     kNoDataSource }
                                        << connect << kErrorFail << "Login timeout expired";
        QTest::newRow("driver manager") << Records {
            { "IM002", 0, "[unixODBC][Driver Manager]Data source name not found and no default driver specified" }
        } << connect << kErrorFail << "Data source name not found and no default driver specified";
        QTest::newRow("another driver's network error carries an operating-system number") << Records {
            { "08001", 10061, "[Microsoft][ODBC Driver 18 for SQL Server]TCP Provider: Error code 0x274D" }
        } << connect << kErrorFail << "TCP Provider: Error code 0x274D";
        QTest::newRow("another driver's server message") << Records {
            { "42S02", 208, "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 'Item'." }
        } << statement << kErrorNoTable << "Invalid object name 'Item'.";
        QTest::newRow("failure without any record") << Records {} << statement << kErrorFail << "Unspecified error";
        // As FreeTDS 1.3.17 reports a connection the server closed while it answered a statement.
        QTest::newRow("connection closed by the server, handed over as a warning")
            << Records { freeTds("01000", 5701, "Changed database context to 'NAV'."),
                         freeTds("01000", 20017, "Unexpected EOF from the server") }
            << statement << kErrorFail << "Unexpected EOF from the server";
    }

    void mapsDiagnostics()
    {
        QFETCH(Records, records);
        QFETCH(OdbcOperation, operation);
        const quorvane::Failure failure = FailureFromDiagnostics(records, operation);
        QTEST(failure.description(), "description");
        QTEST(static_cast<int>(failure.number()), "number");
    }
};

QTEST_GUILESS_MAIN(TestOdbcErrors)
#include "tst_odbcerrors.moc"
