#pragma once

#include <cstdint>

namespace quorvane::db {

// Error numbers as the classic OLE DB provider reported them; the login check tells outcomes apart
// by these. Any other error that the server reports carries the server's own message number.

// E_FAIL: the server cannot be reached, the connection cannot be established or was lost, the
// database cannot be opened at login, or any other client-side failure.
inline constexpr std::int32_t kErrorFail = static_cast<std::int32_t>(0x80004005u);
// DB_SEC_E_AUTH_FAILED: the login was refused.
inline constexpr std::int32_t kErrorAuthenticationFailed = static_cast<std::int32_t>(0x80040E4Du);
// DB_E_NOTABLE: an object named in the statement does not exist (server message 208).
inline constexpr std::int32_t kErrorNoTable = static_cast<std::int32_t>(0x80040E37u);
// DB_E_BADINITSTRING: the connection string cannot be used as written (its form, a keyword, a
// value or the provider); nothing was sent to any server.
inline constexpr std::int32_t kErrorBadConnectionString = static_cast<std::int32_t>(0x80040E73u);

// The server's certificate could not be verified as the connection string asks; the description
// says why, to whom the certificate was issued and how to connect all the same. No login was sent.
inline constexpr std::int32_t kErrorServerNotVerified = static_cast<std::int32_t>(0x800B010Fu);

} // namespace quorvane::db
