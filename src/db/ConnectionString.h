#pragma once

#include "db/Connection.h"

#include <QString>

namespace quorvane::db {

// The ODBC driver that serves Provider=SQLOLEDB on this platform (registered in odbcinst.ini).
inline constexpr char kSqlServerOdbcDriver[] = "FreeTDS";
// The TCP port used when the Data Source names neither a port nor an instance.
inline constexpr int kDefaultSqlServerPort = 1433;

// What SQLDriverConnectW needs to open the connection an OLE DB style string describes.
struct OdbcConnectRequest
{
    // keyword=value pairs for the ODBC driver manager.
    QString connectionString;
    // Seconds the login may take; 0 means no limit.
    int loginTimeoutSeconds = kDefaultConnectTimeoutSeconds;
};

// Translates an OLE DB style connection string ("Provider=sqloledb;Data Source=host,1433;...") into
// an ODBC connection string. Provider SQLOLEDB (also the default when no Provider is named) goes
// to the platform's SQL Server driver; Provider MSDASQL hands the other keywords to the ODBC
// driver manager as they are. Throws Failure(kErrorBadConnectionString, description) for a string that cannot
// be used; no description ever holds any part of the password.
OdbcConnectRequest TranslateConnectionString(const QString& oleDbString);

// The server and the database an OLE DB style connection string names, as written there, for
// showing to the user.
struct ConnectionTarget
{
    QString server;
    QString database;
};

// Reads the last Data Source (or one of its other names) and the last Initial Catalog (or
// Database) of the string. A value is left empty when the string does not name it, when the
// string cannot be read, and when the value stands behind an unquoted password and so may be
// part of it: no part of the password is ever returned.
ConnectionTarget DescribeConnectionTarget(const QString& oleDbString);

} // namespace quorvane::db
