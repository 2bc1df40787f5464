#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace standin {

// What a LOGIN7 message asks for.
struct LoginRequest
{
    std::uint32_t tdsVersion = 0; // as LOGINACK states it, e.g. 0x74000004
    int packetSize = 4096;
    QString hostName;
    QString userName;
    QString password;
    QString appName;
    QString database;
};

// Reads a LOGIN7 message; nothing when it is malformed.
std::optional<LoginRequest> parseLogin7(const QByteArray& payload);

// The server's PRELOGIN answer: SQL Server 2005's version and ENCRYPTION "not supported", so the
// client never starts TLS.
QByteArray preloginReply();

// The version the server answers with for a client's requested version: the same, within 7.1..7.4.
std::uint32_t negotiatedTdsVersion(std::uint32_t requested);

} // namespace standin
