#pragma once

#include "db/ConnectionStringPairs.h"
#include "db/DriverConnectionString.h"
#include "db/SqlServerDriver.h"

#include <QString>

namespace quorvane::db::oledb {

// The keywords each SQL Server driver takes for what an OLE DB style connection string asks. Every
// function throws Failure(kErrorBadConnectionString, ...) for what cannot be passed on; no
// description ever holds any part of the password.

// Where the Data Source points: a host and a TCP port, or a host and the instance whose port the
// Browser service must give.
//
// The login window's template writes ",1433" behind whatever server the user types. So a
// single port 1433 behind an instance name ("host\NAME,1433") is the template's and the
// instance is looked up, while a port the user typed comes before the template's
// ("host\NAME,2433,1433" or "host,2433,1433") and wins, as any other port after an instance
// name does ("host\NAME,2433"), as with the classic provider.
struct ServerAddress
{
    // As written, without blanks around it; empty when the string names no server.
    QString host;
    // Empty when the port is known.
    QString instance;
    int port = kDefaultSqlServerPort;
    const Pair* dataSource = nullptr;
};

// The classic provider's names for this computer ("(local)", "." or none) become "localhost".
QString hostOrLocalhost(const QString& host);

ServerAddress serverAddressOf(const Pair* dataSource);

// The Packet Size in bytes, from 512 to 32767.
int packetSizeOf(const Pair& pair);

// Integrated Security=SSPI (or True/Yes), Trusted_Connection=Yes: Windows authentication of the
// account logged on to this computer, which FreeTDS does through Kerberos.
bool integratedSecurityOf(const Properties& properties);

// SQL Server through FreeTDS. The TDS version, port, encryption and character set are always
// given so that freetds.conf and the TDSVER variable cannot change them: without an explicit
// version the driver may fall back to an old login that sends the password in clear text and
// ignores the login time-out.
// How the string asks for the server's certificate to be checked. Throws for a certificate file
// that cannot be read, or one given along with "Trust Server Certificate=True".
ServerTrust serverTrustOf(const Properties& properties);

// The freetds.conf section a connection with a checked certificate names (Servername).
inline constexpr char kFreeTdsTrustSection[] = "quorvane-verified";

QString freeTdsString(const std::vector<Pair>& pairs, const Properties& properties, const ServerAddress& address);

// Brace-quotes a value by the ODBC rule (every "}" inside doubled) when a driver could misread it.
QString quoteByOdbcRule(const QString& value);

// SQL Server through a Microsoft driver, always over TCP/IP as with FreeTDS. The driver asks the
// Browser service for a named instance's port itself, within the login time-out.
QString microsoftString(const std::vector<Pair>& pairs, const Properties& properties, const ServerAddress& address,
                        SqlServerDriver driver);

} // namespace quorvane::db::oledb
