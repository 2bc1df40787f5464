#include "db/DriverEnvironment.h"

#include <QtGlobal>

namespace quorvane::db {

void RemoveDriverEnvironmentOverrides()
{
    // Measured with FreeTDS 1.3.17: these three win over the connection string; freetds.conf does not.
    for (const char* name : { "TDSVER", "TDSPORT", "TDSHOST" })
        qunsetenv(name);
}

} // namespace quorvane::db
