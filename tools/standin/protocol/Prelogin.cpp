#include "protocol/Prelogin.h"

#include "protocol/Bytes.h"

namespace standin {

namespace {
    constexpr std::uint8_t kVersion = 0, kEncryption = 1, kInstance = 2, kThreadId = 3, kMars = 4;
    constexpr std::uint8_t kTerminator = 0xFF;
    constexpr qsizetype kOptionSize = 5;
} // namespace

std::uint8_t clientEncryption(const QByteArray& payload)
{
    // Option table: token, big-endian offset and length, until the terminator.
    for (qsizetype at = 0; at + kOptionSize <= payload.size(); at += kOptionSize) {
        const auto token = static_cast<std::uint8_t>(payload[at]);
        if (token == kTerminator)
            break;
        const int offset
            = (static_cast<std::uint8_t>(payload[at + 1]) << 8) | static_cast<std::uint8_t>(payload[at + 2]);
        const int length
            = (static_cast<std::uint8_t>(payload[at + 3]) << 8) | static_cast<std::uint8_t>(payload[at + 4]);
        if (token == kEncryption && length >= 1 && offset < payload.size())
            return static_cast<std::uint8_t>(payload[offset]);
    }
    return Encrypt::NotSupported;
}

QByteArray preloginReply(const ServerProfile& profile, std::uint8_t encryption)
{
    constexpr std::uint16_t kTable = 5 * kOptionSize + 1;
    ByteWriter out;
    const auto option = [&](std::uint8_t token, std::uint16_t offset, std::uint16_t length) {
        out.u8(token);
        out.u16be(offset);
        out.u16be(length);
    };
    option(kVersion, kTable, 6);
    option(kEncryption, kTable + 6, 1);
    option(kInstance, kTable + 7, 1);
    option(kThreadId, kTable + 8, 0);
    option(kMars, kTable + 8, 1);
    out.u8(kTerminator);
    out.u8(profile.major);
    out.u8(profile.minor);
    out.u16be(profile.build);
    out.u16(0);
    out.u8(encryption);
    out.u8(0);
    out.u8(0);
    return out.take();
}

} // namespace standin
