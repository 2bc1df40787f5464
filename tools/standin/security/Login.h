#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace standin {

// What a LOGIN7 message asks for.
struct LoginRequest
{
    std::uint32_t tdsVersion = 0; // as the client asks for it, e.g. 0x74000004
    int packetSize = 4096;
    QString hostName;
    QString userName;
    QString password;
    QString appName;
    QString database;
};

// Reads a LOGIN7 message; nothing when it is malformed.
std::optional<LoginRequest> parseLogin7(const QByteArray& payload);

} // namespace standin
