#include "db/SqlServerDriver.h"

#include "db/ErrorNumbers.h"
#include "db/OdbcHandle.h"
#include "support/Failure.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>

namespace quorvane::db {

QString DriverName(SqlServerDriver driver)
{
    switch (driver) {
    case SqlServerDriver::OdbcDriver18:
        return QStringLiteral("ODBC Driver 18 for SQL Server");
    case SqlServerDriver::OdbcDriver17:
        return QStringLiteral("ODBC Driver 17 for SQL Server");
    case SqlServerDriver::NativeClient11:
        return QStringLiteral("SQL Server Native Client 11.0");
    case SqlServerDriver::SqlServer:
        return QStringLiteral("SQL Server");
    case SqlServerDriver::FreeTds:
        break;
    }
    return QStringLiteral("FreeTDS");
}

SqlServerDriver PickSqlServerDriver(const QStringList& installed)
{
    QStringList lookedFor;
    for (const SqlServerDriver driver : kSqlServerDrivers) {
        const QString name = DriverName(driver);
        for (const QString& present : installed) {
            if (present.trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return driver;
        }
        lookedFor.append(QLatin1Char('"') + name + QLatin1Char('"'));
    }
    throw Failure(kErrorBadConnectionString,
                  QStringLiteral("No ODBC driver for SQL Server is installed on this computer. The program looks for "
                                 "%1. Install ODBC Driver 18 for SQL Server from Microsoft.")
                      .arg(lookedFor.join(QStringLiteral(", "))));
}

QStringList InstalledOdbcDrivers(const OdbcHandle& environment)
{
    QStringList names;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        std::array<SQLWCHAR, 512> description {};
        std::array<SQLWCHAR, 1024> attributes {};
        SQLSMALLINT descriptionLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN result
            = SQLDriversW(environment.get(), direction, description.data(), SQLSMALLINT(description.size()),
                          &descriptionLength, attributes.data(), SQLSMALLINT(attributes.size()), &attributesLength);
        if (result == SQL_NO_DATA)
            return names;
        Check(result, environment, OdbcOperation::Connect);
        names.append(FromWideText(description.data(),
                                  std::min<qsizetype>(descriptionLength, qsizetype(description.size()) - 1)));
        direction = SQL_FETCH_NEXT;
    }
}

SqlServerDriver PlatformSqlServerDriver()
{
#ifdef _WIN32
    // Chosen once: a connection opened anew after a broken link keeps the driver, and with it the
    // encryption and login behaviour, of the first one.
    static std::mutex mutex;
    static std::optional<SqlServerDriver> chosen;
    const std::lock_guard lock(mutex);
    if (!chosen)
        chosen = PickSqlServerDriver(InstalledOdbcDrivers(NewOdbcEnvironment()));
    return *chosen;
#else
    return SqlServerDriver::FreeTds;
#endif
}

} // namespace quorvane::db
