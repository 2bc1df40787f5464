#pragma once

#include "db/OdbcHandle.h"

namespace quorvane::db {

// The environment and connection handles of one open connection. Shared by the connection and
// the statements it runs, so that no statement handle outlives its connection handle.
struct OdbcSession
{
    OdbcHandle environment;
    OdbcHandle connection;
    bool connected = false;

    OdbcSession() = default;
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;
    ~OdbcSession() { disconnect(); }

    void disconnect() noexcept
    {
        if (connected)
            SQLDisconnect(connection.get());
        connected = false;
    }
};

} // namespace quorvane::db
