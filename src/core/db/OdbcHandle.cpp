#include "db/OdbcHandle.h"

#include "db/ErrorNumbers.h"
#include "support/Failure.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quorvane::db {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC API must use UTF-16 code units");

namespace {

    QString stateText(const std::array<SQLWCHAR, 6>& state)
    {
        qsizetype length = 0;
        while (length < 5 && state[length] != 0)
            ++length;
        return FromWideText(state.data(), length);
    }

} // namespace

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent)
    : m_type(type)
{
    const SQLRETURN result = SQLAllocHandle(type, parent, &m_handle);
    if (SQL_SUCCEEDED(result))
        return;
    m_handle = SQL_NULL_HANDLE;
    if (parent == SQL_NULL_HANDLE)
        throw Failure(kErrorFail, QStringLiteral("The ODBC driver manager could not allocate an environment."));
    // The parent handle holds the diagnostics of a failed allocation.
    const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
    throw FailureFromDiagnostics(ReadDiagnostics(parentType, parent), OdbcOperation::Statement);
}

OdbcHandle::~OdbcHandle()
{
    reset();
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : m_type(other.m_type)
    , m_handle(std::exchange(other.m_handle, SQLHANDLE {}))
{ }

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept
{
    if (this != &other) {
        reset();
        m_type = other.m_type;
        m_handle = std::exchange(other.m_handle, SQLHANDLE {});
    }
    return *this;
}

void OdbcHandle::reset() noexcept
{
    if (m_handle != SQL_NULL_HANDLE)
        SQLFreeHandle(m_type, std::exchange(m_handle, SQLHANDLE {}));
}

OdbcHandle NewOdbcEnvironment()
{
    OdbcHandle environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    Check(
        SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_OV_ODBC3)), 0),
        environment, OdbcOperation::Connect);
    return environment;
}

QList<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    QList<DiagnosticRecord> records;
    for (SQLSMALLINT number = 1;; ++number) {
        std::array<SQLWCHAR, 6> state {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        QList<SQLWCHAR> message(512);
        SQLRETURN result = SQLGetDiagRecW(type, handle, number, state.data(), &native, message.data(),
                                          static_cast<SQLSMALLINT>(message.size()), &length);
        if (result == SQL_SUCCESS_WITH_INFO && length >= message.size()) {
            // The message was cut; ask again with room for all of it.
            message.resize(length + 1);
            result = SQLGetDiagRecW(type, handle, number, state.data(), &native, message.data(),
                                    static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(result))
            break;
        records.append({ stateText(state), native,
                         FromWideText(message.data(), std::min<qsizetype>(length, message.size() - 1)) });
    }
    return records;
}

void Check(SQLRETURN result, const OdbcHandle& handle, OdbcOperation operation)
{
    if (SQL_SUCCEEDED(result) || result == SQL_NO_DATA)
        return;
    if (result == SQL_INVALID_HANDLE)
        throw Failure(kErrorFail, QStringLiteral("Invalid ODBC handle"));
    throw FailureFromDiagnostics(ReadDiagnostics(handle.type(), handle.get()), operation);
}

const SQLWCHAR* WideText(const QString& text)
{
    return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

QString FromWideText(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

} // namespace quorvane::db
