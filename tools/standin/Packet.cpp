#include "Packet.h"

#include <algorithm>

namespace standin {

namespace {
    constexpr qsizetype kHeaderSize = 8;
    constexpr std::uint8_t kEndOfMessage = 0x01;
    constexpr int kSmallestPacket = 512;
} // namespace

std::optional<Message> MessageAssembler::next()
{
    while (!m_broken && m_buffer.size() >= kHeaderSize) {
        const auto type = static_cast<std::uint8_t>(m_buffer[0]);
        const auto status = static_cast<std::uint8_t>(m_buffer[1]);
        const qsizetype length = (static_cast<std::uint8_t>(m_buffer[2]) << 8) | static_cast<std::uint8_t>(m_buffer[3]);
        if (length < kHeaderSize) {
            m_broken = true;
            return std::nullopt;
        }
        if (m_buffer.size() < length)
            return std::nullopt;
        if (m_inMessage && type != m_partial.type) {
            m_broken = true;
            return std::nullopt;
        }
        m_partial.type = type;
        m_partial.payload.append(m_buffer.constData() + kHeaderSize, length - kHeaderSize);
        m_buffer.remove(0, length);
        m_inMessage = true;
        if (status & kEndOfMessage) {
            m_inMessage = false;
            return std::exchange(m_partial, {});
        }
    }
    return std::nullopt;
}

QByteArray framePackets(PacketType type, const QByteArray& payload, int packetSize, std::uint16_t spid,
                        std::uint8_t& packetId)
{
    const qsizetype room = std::max(packetSize, kSmallestPacket) - kHeaderSize;
    QByteArray out;
    out.reserve(payload.size() + (payload.size() / room + 1) * kHeaderSize);
    qsizetype offset = 0;
    do {
        const qsizetype chunk = std::min(room, payload.size() - offset);
        const bool last = offset + chunk >= payload.size();
        const qsizetype length = chunk + kHeaderSize;
        out.append(static_cast<char>(type));
        out.append(static_cast<char>(last ? kEndOfMessage : 0));
        out.append(static_cast<char>(length >> 8));
        out.append(static_cast<char>(length & 0xFF));
        out.append(static_cast<char>(spid >> 8));
        out.append(static_cast<char>(spid & 0xFF));
        out.append(static_cast<char>(packetId++));
        out.append('\0');
        out.append(payload.constData() + offset, chunk);
        offset += chunk;
    } while (offset < payload.size());
    return out;
}

} // namespace standin
