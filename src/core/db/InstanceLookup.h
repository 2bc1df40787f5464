#pragma once

#include "db/DriverConnectionString.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace quorvane::db {

// The UDP port on which the SQL Server Browser service answers.
inline constexpr quint16 kBrowserPort = 1434;
// How long the lookup waits when the login has no time limit, as long as the driver itself would.
inline constexpr int kUnlimitedLookupSeconds = 16;

// The TCP port a Browser reply gives for the instance (named case-insensitively), if it names one.
std::optional<quint16> InstancePortFromReply(const QByteArray& reply, const QString& instanceName);

// Asks the Browser service of request.browserHost for the TCP port of request.instanceName,
// again every second, within the request's login time-out. Then adds the port to the connection
// string and leaves in loginTimeoutSeconds only the time that remains. Does nothing for a request
// without an instance name. Throws Failure(kErrorFail, ...) naming the instance when no port comes.
void ResolveInstancePort(OdbcConnectRequest& request);

} // namespace quorvane::db
