#include "OdbcClient.h"

#include <sqlext.h>
#include <sqlucode.h>

namespace standin::test {

namespace {
    std::basic_string<SQLWCHAR> wide(const QString& text)
    {
        std::basic_string<SQLWCHAR> result;
        for (const QChar c : text)
            result.push_back(static_cast<SQLWCHAR>(c.unicode()));
        return result;
    }

    QString fromWide(const SQLWCHAR* text, qsizetype length)
    {
        QString result;
        for (qsizetype i = 0; i < length; ++i)
            result.append(QChar(static_cast<char16_t>(text[i])));
        return result;
    }

    QList<Diagnostic> diagnostics(SQLSMALLINT type, SQLHANDLE handle)
    {
        QList<Diagnostic> result;
        for (SQLSMALLINT record = 1;; ++record) {
            SQLWCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLWCHAR text[1024] = {};
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, record, state, &native, text, 1024, &length)))
                break;
            result.append({ fromWide(state, 5), static_cast<int>(native), fromWide(text, length) });
        }
        return result;
    }
} // namespace

struct OdbcClient::Handles
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
};

bool Outcome::hasNative(int number) const
{
    for (const Diagnostic& diagnostic : diagnostics) {
        if (diagnostic.native == number)
            return true;
    }
    return false;
}

bool Outcome::hasState(const QString& state) const
{
    for (const Diagnostic& diagnostic : diagnostics) {
        if (diagnostic.state == state)
            return true;
    }
    return false;
}

QString Outcome::describe() const
{
    QStringList lines;
    for (const Diagnostic& diagnostic : diagnostics)
        lines.append(QStringLiteral("[%1] %2 %3").arg(diagnostic.state).arg(diagnostic.native).arg(diagnostic.text));
    return lines.join(u'\n');
}

OdbcClient::OdbcClient()
    : m_handles(std::make_unique<Handles>())
{
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_handles->env);
    SQLSetEnvAttr(m_handles->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_handles->env, &m_handles->dbc);
}

OdbcClient::~OdbcClient()
{
    if (m_connected)
        SQLDisconnect(m_handles->dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_handles->dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_handles->env);
}

QString OdbcClient::connectionString(quint16 port, const QString& database, const QString& password,
                                     const QString& tdsVersion)
{
    return QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=%1;TDS_Version=%2;Database=%3;UID=navuser;PWD=%4;")
        .arg(port)
        .arg(tdsVersion, database, password);
}

Outcome OdbcClient::connect(const QString& connectionString)
{
    std::basic_string<SQLWCHAR> text = wide(connectionString);
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(m_handles->dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()),
                                           out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
    m_connected = SQL_SUCCEEDED(rc);
    return { m_connected, {}, m_connected ? QList<Diagnostic> {} : diagnostics(SQL_HANDLE_DBC, m_handles->dbc) };
}

Outcome OdbcClient::execute(const QString& sql, int timeoutSeconds)
{
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_handles->dbc, &statement)))
        return { false, {}, diagnostics(SQL_HANDLE_DBC, m_handles->dbc) };
    const std::unique_ptr<void, void (*)(void*)> guard(statement, [](void* h) { SQLFreeHandle(SQL_HANDLE_STMT, h); });
    SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0);
    std::basic_string<SQLWCHAR> text = wide(sql);
    Outcome outcome;
    SQLRETURN rc = SQLExecDirectW(statement, text.data(), static_cast<SQLINTEGER>(text.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        outcome.diagnostics = diagnostics(SQL_HANDLE_STMT, statement);
        return outcome;
    }
    do {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(statement, &columns);
        while (columns > 0 && SQL_SUCCEEDED(rc = SQLFetch(statement))) {
            QStringList row;
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
                SQLWCHAR buffer[512] = {};
                SQLLEN length = 0;
                SQLGetData(statement, c, SQL_C_WCHAR, buffer, sizeof buffer, &length);
                row.append(length == SQL_NULL_DATA
                               ? QString()
                               : fromWide(buffer, static_cast<qsizetype>(length / sizeof(SQLWCHAR))));
            }
            outcome.rows.append(row);
        }
        if (rc != SQL_NO_DATA && columns > 0) {
            outcome.diagnostics = diagnostics(SQL_HANDLE_STMT, statement);
            return outcome;
        }
        rc = SQLMoreResults(statement);
    } while (SQL_SUCCEEDED(rc));
    if (rc != SQL_NO_DATA) {
        outcome.diagnostics = diagnostics(SQL_HANDLE_STMT, statement);
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

Outcome OdbcClient::setAutocommit(bool on)
{
    const SQLRETURN rc = SQLSetConnectAttrW(
        m_handles->dbc, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)), 0);
    return { SQL_SUCCEEDED(rc),
             {},
             SQL_SUCCEEDED(rc) ? QList<Diagnostic> {} : diagnostics(SQL_HANDLE_DBC, m_handles->dbc) };
}

Outcome OdbcClient::endTransaction(bool commit)
{
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_handles->dbc, commit ? SQL_COMMIT : SQL_ROLLBACK);
    return { SQL_SUCCEEDED(rc),
             {},
             SQL_SUCCEEDED(rc) ? QList<Diagnostic> {} : diagnostics(SQL_HANDLE_DBC, m_handles->dbc) };
}

} // namespace standin::test
