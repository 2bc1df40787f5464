#pragma once

#include "db/Connection.h"

#include <memory>

namespace quorvane::db {

// A new, closed connection that reaches the server through the ODBC driver manager: the OLE DB
// style connection string is translated (see DriverConnectionString.h), the wide API carries all text,
// and failures carry the numbers of ErrorNumbers.h. Connection time-out 15 s, command time-out 30 s.
std::unique_ptr<Connection> CreateOdbcConnection();

// The factory the windows use to create their connections.
ConnectionFactory odbcConnectionFactory();

} // namespace quorvane::db
