#pragma once

#include <QString>
#include <QStringList>

namespace quorvane::db {

class OdbcHandle;

// The ODBC drivers that can serve Provider=SQLOLEDB, in the order they are preferred: the current
// Microsoft drivers, the older Native Client, the driver every Windows carries, then FreeTDS.
enum class SqlServerDriver {
    OdbcDriver18,
    OdbcDriver17,
    NativeClient11,
    SqlServer,
    FreeTds,
};

// Every driver, most preferred first.
inline constexpr SqlServerDriver kSqlServerDrivers[] = {
    SqlServerDriver::OdbcDriver18, SqlServerDriver::OdbcDriver17, SqlServerDriver::NativeClient11,
    SqlServerDriver::SqlServer,    SqlServerDriver::FreeTds,
};

// The name the driver is registered under, as SQLDrivers lists it and the Driver keyword takes it.
QString DriverName(SqlServerDriver driver);

// The most preferred driver whose name (compared without regard to case) `installed` holds. Throws
// Failure(kErrorBadConnectionString, ...) naming every driver looked for when none is there.
SqlServerDriver PickSqlServerDriver(const QStringList& installed);

// The names of the drivers the driver manager of `environment` (an ODBC 3 environment handle) has
// registered, in its order.
QStringList InstalledOdbcDrivers(const OdbcHandle& environment);

// The driver connections of this program use: on Windows the most preferred one installed, looked
// for at the first connection and kept for the rest of the run (a missing driver is looked for again
// at the next connection); elsewhere FreeTDS.
SqlServerDriver PlatformSqlServerDriver();

} // namespace quorvane::db
