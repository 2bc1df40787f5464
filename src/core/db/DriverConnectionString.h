#pragma once

#include "db/Connection.h"
#include "db/SqlServerDriver.h"
#include "support/Failure.h"

#include <QString>
#include <functional>

namespace quorvane::db {

// The TCP port used when the Data Source names neither a port nor an instance; also the port the
// login window's template writes behind every server.
inline constexpr int kDefaultSqlServerPort = 1433;

// How the server's certificate is checked: not at all (the login is still encrypted whenever the
// server can), against the system's trusted authorities and the server's name ("Use Encryption
// for Data=True"), or against exactly one certificate ("Server Certificate=PATH").
enum class ServerTrust { Unchecked, Authorities, Pinned };

// What SQLDriverConnectW needs to open the connection an OLE DB style string describes.
struct OdbcConnectRequest
{
    // keyword=value pairs for the ODBC driver manager.
    QString connectionString;
    // Seconds the login may take; 0 means no limit.
    int loginTimeoutSeconds = kDefaultConnectTimeoutSeconds;
    // A named instance whose TCP port the Browser service of browserHost must give first; the
    // connection string then lacks the Port keyword. Both empty otherwise.
    QString browserHost;
    QString instanceName;
    // Windows authentication of the account logged on to this computer (no user name, no password).
    bool integratedSecurity = false;
    // The driver the string is written for (Provider SQLOLEDB; FreeTDS otherwise).
    SqlServerDriver driver = SqlServerDriver::FreeTds;
    // Bytes per network packet, set as a connection attribute for a driver without a keyword for
    // it; 0 leaves the driver's default.
    int packetSizeBytes = 0;
    // With FreeTDS and a checked certificate, the driver finds the check in a configuration
    // section of that name (see FreeTdsTrustConfig), written just for the connect.
    ServerTrust serverTrust = ServerTrust::Unchecked;
    // Authorities: the file of trusted authorities; Pinned: the one certificate accepted.
    QString trustedCertificates;
    // The server as the connection string names it, and its TCP port once known.
    QString serverHost;
    int serverPort = 0;
};

// Translates an OLE DB style connection string ("Provider=sqloledb;Data Source=host,1433;...") into
// an ODBC connection string. Provider SQLOLEDB (also the default when no Provider is named) goes
// to `driver` under that driver's own keywords; Provider MSDASQL hands the other keywords to the
// ODBC driver manager as they are. Throws Failure(kErrorBadConnectionString, description) for a
// string that cannot be used; no description ever holds any part of the password.
// With FreeTDS a Data Source "host\instance" leaves the port to the Browser service
// (ResolveInstancePort); the Microsoft drivers ask the Browser service themselves.
OdbcConnectRequest TranslateConnectionString(const QString& oleDbString,
                                             SqlServerDriver driver = SqlServerDriver::FreeTds);
// The same, asking `sqlServerDriver` for the driver only when the string names SQL Server.
OdbcConnectRequest TranslateConnectionString(const QString& oleDbString,
                                             const std::function<SqlServerDriver()>& sqlServerDriver);

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

// A failed login with Integrated Security: the driver needs a Kerberos ticket of the account
// logged on to this computer, which there may not be. The description adds what to type instead.
Failure IntegratedSecurityFailure(const Failure& failure);

} // namespace quorvane::db
