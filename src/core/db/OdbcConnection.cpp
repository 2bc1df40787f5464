#include "db/OdbcConnection.h"

#include "db/DriverConnectionString.h"
#include "db/ErrorNumbers.h"
#include "db/InstanceLookup.h"
#include "db/OdbcCursor.h"
#include "db/OdbcHandle.h"
#include "db/OdbcRecordSet.h"
#include "db/OdbcSession.h"
#include "db/ServerTrust.h"
#include "db/SqlServerDriver.h"
#include "support/Failure.h"

#include <mutex>
#include <optional>
#include <utility>

namespace quorvane::db {

namespace {

    constexpr std::int32_t kBadArguments = 3001;
    constexpr std::int32_t kObjectOpen = 3705;
    constexpr std::int32_t kConnectionClosed = 3709;

    SQLPOINTER integerAttribute(SQLULEN value)
    {
        return reinterpret_cast<SQLPOINTER>(value);
    }

    // Whether the driver has found the link to the server broken: a communication-link failure, a
    // connection the server closed. Such a connection cannot be used again; it must be opened anew.
    bool linkBroken(SQLHDBC connection) noexcept
    {
        SQLUINTEGER dead = SQL_CD_FALSE;
        const SQLRETURN result
            = SQLGetConnectAttrW(connection, SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, nullptr);
        return SQL_SUCCEEDED(result) && dead == SQL_CD_TRUE;
    }

    class OdbcConnection final : public Connection
    {
    public:
        OdbcConnection() = default;
        OdbcConnection(const OdbcConnection&) = delete;
        OdbcConnection& operator=(const OdbcConnection&) = delete;
        ~OdbcConnection() override { Close(); }

        void Open(const QString& connectionString) override;
        std::unique_ptr<RecordSet> Execute(const QString& sql) override;
        void setCommandTimeout(int seconds) override;
        int CommandTimeout() const override { return m_commandTimeout; }
        void BeginTrans() override;
        void CommitTrans() override;
        void RollbackTrans() override;
        void Close() noexcept override;
        bool isOpen() const override { return m_session && !linkBroken(m_session->connection.get()); }
        void Cancel() noexcept override;

    private:
        const OdbcHandle& connectionHandle() const;
        const OdbcHandle& transactionConnection();
        void restoreAutocommit() noexcept;
        void detachCursor() noexcept;

        std::shared_ptr<OdbcSession> m_session;
        // The record set still reading from the connection, if any.
        std::weak_ptr<OdbcCursor> m_cursor;
        int m_commandTimeout = kDefaultCommandTimeoutSeconds;
        bool m_inTransaction = false;
        // The statement being executed now, for a cancel from another thread; null between calls.
        std::mutex m_executingLock;
        SQLHSTMT m_executing = nullptr;
    };

    void OdbcConnection::Open(const QString& connectionString)
    {
        if (isOpen())
            throw Failure(kObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
        // A connection whose link broke is let go of first; it is opened anew.
        Close();
        OdbcConnectRequest request = TranslateConnectionString(connectionString, &PlatformSqlServerDriver);
        ResolveInstancePort(request);

        auto session = std::make_shared<OdbcSession>();
        session->environment = NewOdbcEnvironment();
        session->connection = OdbcHandle(SQL_HANDLE_DBC, session->environment.get());
        const SQLHDBC connection = session->connection.get();

        // Without a login time-out a silent server holds the program for minutes. FreeTDS takes the
        // time for connecting and logging in from the connection time-out, other drivers from the
        // login time-out; the connection time-out goes back to "no limit" once logged in.
        const SQLPOINTER loginTimeout = integerAttribute(SQLULEN(request.loginTimeoutSeconds));
        Check(SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT, loginTimeout, SQL_IS_UINTEGER),
              session->connection, OdbcOperation::Connect);
        SQLSetConnectAttrW(connection, SQL_ATTR_CONNECTION_TIMEOUT, loginTimeout, SQL_IS_UINTEGER);
        if (request.packetSizeBytes > 0)
            Check(SQLSetConnectAttrW(connection, SQL_ATTR_PACKET_SIZE,
                                     integerAttribute(SQLULEN(request.packetSizeBytes)), SQL_IS_UINTEGER),
                  session->connection, OdbcOperation::Connect);

        const bool checksCertificate
            = request.driver == SqlServerDriver::FreeTds && request.serverTrust != ServerTrust::Unchecked;
        std::optional<FreeTdsTrustConfig> trustConfig;
        if (checksCertificate)
            trustConfig.emplace(request);
        const SQLRETURN result
            = SQLDriverConnectW(connection, nullptr, const_cast<SQLWCHAR*>(WideText(request.connectionString)), SQL_NTS,
                                nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        trustConfig.reset();
        if (!SQL_SUCCEEDED(result)) {
            const Failure failure
                = FailureFromDiagnostics(ReadDiagnostics(SQL_HANDLE_DBC, connection), OdbcOperation::Connect);
            // The driver says only that the connection failed; a certificate that fails the check
            // is told apart by reading it.
            if (checksCertificate)
                if (const auto problem = certificateProblem(request))
                    throw Failure(kErrorServerNotVerified, *problem);
            // The Microsoft drivers check the certificate themselves and say so.
            if (request.driver != SqlServerDriver::FreeTds && request.serverTrust != ServerTrust::Unchecked)
                if (const auto refused = driverCertificateRefusal(failure))
                    throw *refused;
            // Only FreeTDS needs a Kerberos ticket for Integrated Security; the Microsoft drivers use
            // the logged-on account directly.
            const bool kerberos = request.integratedSecurity && request.driver == SqlServerDriver::FreeTds;
            throw kerberos ? IntegratedSecurityFailure(failure) : failure;
        }
        session->connected = true;
        SQLSetConnectAttrW(connection, SQL_ATTR_CONNECTION_TIMEOUT, integerAttribute(0), SQL_IS_UINTEGER);

        m_session = std::move(session);
        m_inTransaction = false;
    }

    std::unique_ptr<RecordSet> OdbcConnection::Execute(const QString& sql)
    {
        const OdbcHandle& connection = connectionHandle();
        detachCursor();

        OdbcHandle statement(SQL_HANDLE_STMT, connection.get());
        Check(SQLSetStmtAttrW(statement.get(), SQL_ATTR_QUERY_TIMEOUT, integerAttribute(SQLULEN(m_commandTimeout)),
                              SQL_IS_UINTEGER),
              statement, OdbcOperation::Statement);
        {
            const std::lock_guard lock(m_executingLock);
            m_executing = statement.get();
        }
        const SQLRETURN executed = SQLExecDirectW(statement.get(), const_cast<SQLWCHAR*>(WideText(sql)), SQL_NTS);
        {
            const std::lock_guard lock(m_executingLock);
            m_executing = nullptr;
        }
        Check(executed, statement, OdbcOperation::Statement);

        // The rows come from the first result with columns; statements before it only count rows.
        for (;;) {
            SQLSMALLINT columns = 0;
            Check(SQLNumResultCols(statement.get(), &columns), statement, OdbcOperation::Statement);
            if (columns > 0) {
                auto cursor = std::make_shared<OdbcCursor>(m_session, std::move(statement), columns);
                m_cursor = cursor;
                return std::make_unique<OdbcRecordSet>(std::move(cursor));
            }
            const SQLRETURN more = SQLMoreResults(statement.get());
            if (more == SQL_NO_DATA)
                return std::make_unique<OdbcRecordSet>();
            Check(more, statement, OdbcOperation::Statement);
        }
    }

    void OdbcConnection::Cancel() noexcept
    {
        // The handle cannot be freed meanwhile: Execute clears it under the same lock first.
        const std::lock_guard lock(m_executingLock);
        if (m_executing)
            SQLCancel(m_executing);
    }

    void OdbcConnection::setCommandTimeout(int seconds)
    {
        if (seconds < 0)
            throw Failure(
                kBadArguments,
                QStringLiteral("Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
                               "one another."));
        m_commandTimeout = seconds;
    }

    void OdbcConnection::BeginTrans()
    {
        const OdbcHandle& connection = connectionHandle();
        if (m_inTransaction)
            throw Failure(kErrorFail, QStringLiteral("A transaction is already open on this connection."));
        detachCursor();
        Check(SQLSetConnectAttrW(connection.get(), SQL_ATTR_AUTOCOMMIT, integerAttribute(SQL_AUTOCOMMIT_OFF),
                                 SQL_IS_UINTEGER),
              connection, OdbcOperation::Statement);
        m_inTransaction = true;
    }

    void OdbcConnection::CommitTrans()
    {
        const OdbcHandle& connection = transactionConnection();
        // A commit that fails leaves the transaction open, for the caller to roll back.
        Check(SQLEndTran(SQL_HANDLE_DBC, connection.get(), SQL_COMMIT), connection, OdbcOperation::Statement);
        m_inTransaction = false;
        restoreAutocommit();
    }

    void OdbcConnection::RollbackTrans()
    {
        const OdbcHandle& connection = transactionConnection();
        // Whatever happens below, the connection leaves the transaction: a connection that kept
        // believing in it would refuse every later one and hide the real cause.
        m_inTransaction = false;
        std::optional<Failure> failure;
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                Check(SQLEndTran(SQL_HANDLE_DBC, connection.get(), SQL_ROLLBACK), connection, OdbcOperation::Statement);
                failure.reset();
                break;
            } catch (const Failure& refused) {
                failure = refused;
            }
            // A broken link needs no second try: the server rolls back when the connection ends.
            if (linkBroken(connection.get()))
                break;
        }
        if (!failure) {
            restoreAutocommit();
            return;
        }
        // Whether the server still holds the transaction is not known. Auto-commit must not go on
        // then (the ODBC rule is to commit whatever is open when it does); ending the connection
        // makes the server roll back, and the connection is opened anew when it is next needed.
        Close();
        throw *failure;
    }

    const OdbcHandle& OdbcConnection::transactionConnection()
    {
        const OdbcHandle& connection = connectionHandle();
        if (!m_inTransaction)
            throw Failure(kErrorFail, QStringLiteral("No transaction is open on this connection."));
        detachCursor();
        return connection;
    }

    void OdbcConnection::restoreAutocommit() noexcept
    {
        // Only once the transaction has ended: ODBC drivers commit whatever is still open when
        // auto-commit goes on.
        if (SQL_SUCCEEDED(SQLSetConnectAttrW(m_session->connection.get(), SQL_ATTR_AUTOCOMMIT,
                                             integerAttribute(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER)))
            return;
        // A driver left in manual-commit mode would hold every later statement in a transaction
        // that nothing ends; the connection is let go of and opened anew when next needed.
        Close();
    }

    void OdbcConnection::Close() noexcept
    {
        if (!m_session)
            return;
        detachCursor();
        // Whatever was not committed is rolled back, as the server does for a dropped connection.
        if (m_inTransaction)
            SQLEndTran(SQL_HANDLE_DBC, m_session->connection.get(), SQL_ROLLBACK);
        m_inTransaction = false;
        m_session->disconnect();
        m_session.reset();
    }

    const OdbcHandle& OdbcConnection::connectionHandle() const
    {
        if (!m_session)
            throw Failure(
                kConnectionClosed,
                QStringLiteral("The connection cannot be used to perform this operation. It is either closed or "
                               "invalid in this context."));
        return m_session->connection;
    }

    void OdbcConnection::detachCursor() noexcept
    {
        if (const std::shared_ptr<OdbcCursor> cursor = m_cursor.lock())
            cursor->detach();
        m_cursor.reset();
    }

} // namespace

std::unique_ptr<Connection> CreateOdbcConnection()
{
    return std::make_unique<OdbcConnection>();
}

ConnectionFactory odbcConnectionFactory()
{
    return &CreateOdbcConnection;
}

} // namespace quorvane::db
