#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace standin {

// TDS packet types this server reads or writes.
enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    Prelogin = 0x12,
};

// One complete client message: the packets of one request joined, headers removed.
struct Message
{
    std::uint8_t type = 0;
    QByteArray payload;
};

// Joins incoming bytes into messages. A message ends with the packet whose status carries the
// end-of-message bit; packets of other types in between are a protocol error.
class MessageAssembler
{
public:
    void feed(const QByteArray& bytes) { m_buffer.append(bytes); }
    // The next complete message, if the bytes received so far hold one.
    std::optional<Message> next();
    // True once the client has sent something that is not TDS.
    bool broken() const { return m_broken; }

private:
    QByteArray m_buffer;
    Message m_partial;
    bool m_inMessage = false;
    bool m_broken = false;
};

// Cuts a reply into packets of at most packetSize bytes each (header included), numbered on from
// packetId, the last one carrying the end-of-message bit.
QByteArray framePackets(PacketType type, const QByteArray& payload, int packetSize, std::uint16_t spid,
                        std::uint8_t& packetId);

} // namespace standin
