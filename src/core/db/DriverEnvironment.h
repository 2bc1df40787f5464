#pragma once

namespace quorvane::db {

// FreeTDS lets the environment variables TDSVER, TDSPORT and TDSHOST override the TDS version,
// port and host that a connection string names. The program removes them from its own process
// once, at start-up before any thread exists (changing the environment while another thread may
// read it is not safe), so that the connection string alone decides. The user's shell is not
// affected.
void RemoveDriverEnvironmentOverrides();

} // namespace quorvane::db
