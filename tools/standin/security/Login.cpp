#include "security/Login.h"

#include "protocol/Bytes.h"
#include "protocol/TokenWriter.h"

#include <algorithm>

namespace standin {

namespace {
    // Offsets of the (offset, length) pairs in LOGIN7's fixed part.
    constexpr qsizetype kHostName = 36;
    constexpr qsizetype kUserName = 40;
    constexpr qsizetype kPassword = 44;
    constexpr qsizetype kAppName = 48;
    constexpr qsizetype kDatabase = 68;
    constexpr qsizetype kFixedPart = 94;

    std::optional<QString> field(const QByteArray& payload, qsizetype pairAt)
    {
        ByteReader pair(payload, pairAt);
        const auto offset = pair.u16();
        const auto length = pair.u16();
        if (!offset || !length)
            return std::nullopt;
        ByteReader text(payload, *offset);
        return text.utf16(*length);
    }

    // LOGIN7 scrambles the password: each byte's nibbles swapped, then XOR 0xA5.
    QString unscramble(QString scrambled)
    {
        for (QChar& c : scrambled) {
            char16_t unit = c.unicode();
            unit ^= 0xA5A5;
            unit = static_cast<char16_t>(((unit & 0x0F0F) << 4) | ((unit & 0xF0F0) >> 4));
            c = QChar(unit);
        }
        return scrambled;
    }
} // namespace

std::optional<LoginRequest> parseLogin7(const QByteArray& payload)
{
    if (payload.size() < kFixedPart)
        return std::nullopt;
    ByteReader header(payload, 4);
    const auto version = header.u32();
    const auto packetSize = header.u32();
    const auto host = field(payload, kHostName);
    const auto user = field(payload, kUserName);
    const auto password = field(payload, kPassword);
    const auto app = field(payload, kAppName);
    const auto database = field(payload, kDatabase);
    if (!version || !packetSize || !host || !user || !password || !app || !database)
        return std::nullopt;
    LoginRequest request;
    request.tdsVersion = *version;
    request.packetSize = *packetSize == 0 ? 4096 : static_cast<int>(std::clamp<std::uint32_t>(*packetSize, 512, 32767));
    request.hostName = *host;
    request.userName = *user;
    request.password = unscramble(*password);
    request.appName = *app;
    request.database = *database;
    return request;
}

} // namespace standin
