#pragma once

#include "db/Connection.h"
#include "db/ReopeningConnection.h"

#include <memory>

namespace quorvane::db {

// The connection the program works through, in the login window's check, the main window and the
// command line alike: a new, closed stack of three layers, each owning the one below it. From the
// inside out:
//   1. the driver's connection, as `driverConnections` creates it (ODBC, or a test's stand-in);
//   2. EventLoopConnection, right on the driver, so that every call the driver sees, opening again
//      and releasing statements included, runs on its one call thread while the caller's thread
//      runs a nested event loop: windows keep painting, the command line's progress bar keeps its
//      clock;
//   3. ReopeningConnection, outermost, so that the caller reaches ResumeWithRetry directly and a
//      reopening after a pause is one more call through the event loop like any other.
// Destroying the stack closes the connection on the call thread. Null when the factory is empty or
// creates none.
std::unique_ptr<ReopeningConnection> newConnectionStack(const ConnectionFactory& driverConnections);

} // namespace quorvane::db
