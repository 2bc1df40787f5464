#pragma once

#include "db/OdbcErrors.h"

#include <QList>
#include <QString>
#ifdef _WIN32
// The ODBC headers use Windows types without including their header.
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace quorvane::db {

// Owns one ODBC handle (environment, connection or statement) and frees it when it goes.
class OdbcHandle
{
public:
    OdbcHandle() = default;
    // Allocates a handle of `type` under `parent` (SQL_NULL_HANDLE for an environment).
    // Throws Failure when the driver manager refuses.
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    ~OdbcHandle();
    OdbcHandle(OdbcHandle&& other) noexcept;
    OdbcHandle& operator=(OdbcHandle&& other) noexcept;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    SQLHANDLE get() const { return m_handle; }
    SQLSMALLINT type() const { return m_type; }
    explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }
    void reset() noexcept;

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

// A new ODBC environment handle that speaks ODBC 3. Throws Failure when the driver manager refuses.
OdbcHandle NewOdbcEnvironment();

// Every diagnostic record the last call on `handle` left, as the driver manager numbers them.
QList<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Throws the failure the last call on `handle` reported unless `result` is a success.
// SQL_NO_DATA counts as a success: a statement without rows may end with it.
void Check(SQLRETURN result, const OdbcHandle& handle, OdbcOperation operation);

// QString and SQLWCHAR text are both UTF-16; these pass text to and from the wide API.
const SQLWCHAR* WideText(const QString& text);
QString FromWideText(const SQLWCHAR* text, qsizetype length);

} // namespace quorvane::db
