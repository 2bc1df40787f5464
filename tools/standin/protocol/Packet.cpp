#include "protocol/Packet.h"

#include "protocol/Bytes.h"
#include "protocol/TokenWriter.h"

#include <algorithm>

namespace standin {

namespace {
    constexpr qsizetype kHeaderSize = 8;
    constexpr std::uint8_t kEndOfMessage = 0x01;
    constexpr int kSmallestPacket = 512;
} // namespace

void MessageAssembler::feed(const QByteArray& bytes, bool encrypted)
{
    if (bytes.isEmpty())
        return;
    m_buffer.append(bytes);
    if (!m_runs.isEmpty() && m_runs.last().second == encrypted)
        m_runs.last().first += bytes.size();
    else
        m_runs.append({ bytes.size(), encrypted });
}

bool MessageAssembler::consume(qsizetype length)
{
    m_buffer.remove(0, length);
    bool encrypted = true;
    while (length > 0 && !m_runs.isEmpty()) {
        auto& run = m_runs.first();
        encrypted = encrypted && run.second;
        const qsizetype taken = std::min(length, run.first);
        length -= taken;
        run.first -= taken;
        if (run.first == 0)
            m_runs.removeFirst();
    }
    return encrypted;
}

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
        if (!m_inMessage)
            m_partial.encrypted = true;
        m_partial.type = type;
        m_partial.payload.append(m_buffer.constData() + kHeaderSize, length - kHeaderSize);
        m_partial.encrypted = consume(length) && m_partial.encrypted;
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

qsizetype afterAllHeaders(const QByteArray& payload, std::uint32_t tdsVersion)
{
    if (tdsVersion < TdsVersion::V7_2)
        return 0;
    // ALL_HEADERS' first four bytes give its whole length.
    ByteReader reader(payload);
    const auto length = reader.u32();
    if (!length || *length < 4 || *length > static_cast<std::uint32_t>(payload.size()))
        return 0;
    return static_cast<qsizetype>(*length);
}

} // namespace standin
