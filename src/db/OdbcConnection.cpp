#include "db/OdbcConnection.h"

#include "db/ConnectionString.h"
#include "db/ErrorNumbers.h"
#include "db/InstanceLookup.h"
#include "db/OdbcCursor.h"
#include "db/OdbcHandle.h"
#include "db/OdbcRecordSet.h"
#include "db/OdbcSession.h"
#include "log/Failure.h"

#include <QByteArray>
#include <QtGlobal>
#include <utility>
#include <vector>

namespace quorvane::db {

namespace {

    constexpr std::int32_t kBadArguments = 3001;
    constexpr std::int32_t kObjectOpen = 3705;
    constexpr std::int32_t kConnectionClosed = 3709;

    SQLPOINTER integerAttribute(SQLULEN value)
    {
        return reinterpret_cast<SQLPOINTER>(value);
    }

    // FreeTDS lets the environment variables TDSVER, TDSPORT and TDSHOST override the TDS version,
    // port and host that the connection string names (measured with FreeTDS 1.3.17; freetds.conf
    // does not). They are set aside while the driver connects and put back afterwards, so that
    // the connection string alone decides.
    class DriverEnvironmentShield
    {
    public:
        DriverEnvironmentShield()
        {
            for (const char* name : { "TDSVER", "TDSPORT", "TDSHOST" }) {
                if (!qEnvironmentVariableIsSet(name))
                    continue;
                m_saved.emplace_back(name, qgetenv(name));
                qunsetenv(name);
            }
        }
        ~DriverEnvironmentShield()
        {
            for (const auto& [name, value] : m_saved)
                qputenv(name, value);
        }
        DriverEnvironmentShield(const DriverEnvironmentShield&) = delete;
        DriverEnvironmentShield& operator=(const DriverEnvironmentShield&) = delete;

    private:
        std::vector<std::pair<const char*, QByteArray>> m_saved;
    };

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
        void CommitTrans() override { endTransaction(SQL_COMMIT); }
        void RollbackTrans() override { endTransaction(SQL_ROLLBACK); }
        void Close() noexcept override;
        bool isOpen() const override { return m_session != nullptr; }

    private:
        const OdbcHandle& connectionHandle() const;
        void detachCursor() noexcept;
        void endTransaction(SQLSMALLINT completion);

        std::shared_ptr<OdbcSession> m_session;
        // The record set still reading from the connection, if any.
        std::weak_ptr<OdbcCursor> m_cursor;
        int m_commandTimeout = kDefaultCommandTimeoutSeconds;
        bool m_inTransaction = false;
    };

    void OdbcConnection::Open(const QString& connectionString)
    {
        if (m_session)
            throw Failure(kObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
        OdbcConnectRequest request = TranslateConnectionString(connectionString);
        ResolveInstancePort(request);

        auto session = std::make_shared<OdbcSession>();
        session->environment = OdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        Check(SQLSetEnvAttr(session->environment.get(), SQL_ATTR_ODBC_VERSION, integerAttribute(SQL_OV_ODBC3), 0),
              session->environment, OdbcOperation::Connect);
        session->connection = OdbcHandle(SQL_HANDLE_DBC, session->environment.get());
        const SQLHDBC connection = session->connection.get();

        // Without a login time-out a silent server holds the program for minutes. FreeTDS takes the
        // time for connecting and logging in from the connection time-out, other drivers from the
        // login time-out; the connection time-out goes back to "no limit" once logged in.
        const SQLPOINTER loginTimeout = integerAttribute(SQLULEN(request.loginTimeoutSeconds));
        Check(SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT, loginTimeout, SQL_IS_UINTEGER),
              session->connection, OdbcOperation::Connect);
        SQLSetConnectAttrW(connection, SQL_ATTR_CONNECTION_TIMEOUT, loginTimeout, SQL_IS_UINTEGER);

        const DriverEnvironmentShield shield;
        const SQLRETURN result
            = SQLDriverConnectW(connection, nullptr, const_cast<SQLWCHAR*>(WideText(request.connectionString)), SQL_NTS,
                                nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(result)) {
            const Failure failure
                = FailureFromDiagnostics(ReadDiagnostics(SQL_HANDLE_DBC, connection), OdbcOperation::Connect);
            throw request.integratedSecurity ? IntegratedSecurityFailure(failure) : failure;
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
        Check(SQLExecDirectW(statement.get(), const_cast<SQLWCHAR*>(WideText(sql)), SQL_NTS), statement,
              OdbcOperation::Statement);

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

    void OdbcConnection::endTransaction(SQLSMALLINT completion)
    {
        const OdbcHandle& connection = connectionHandle();
        if (!m_inTransaction)
            throw Failure(kErrorFail, QStringLiteral("No transaction is open on this connection."));
        detachCursor();
        Check(SQLEndTran(SQL_HANDLE_DBC, connection.get(), completion), connection, OdbcOperation::Statement);
        // Auto-commit goes back on only once the transaction has ended: ODBC drivers commit whatever
        // is still open when it is switched on.
        Check(SQLSetConnectAttrW(connection.get(), SQL_ATTR_AUTOCOMMIT, integerAttribute(SQL_AUTOCOMMIT_ON),
                                 SQL_IS_UINTEGER),
              connection, OdbcOperation::Statement);
        m_inTransaction = false;
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
