#pragma once

#include <QByteArray>
#include <QList>
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
    // Every packet of it arrived inside TLS.
    bool encrypted = true;
};

// Joins incoming bytes into messages. A message ends with the packet whose status carries the
// end-of-message bit; packets of other types in between are a protocol error.
class MessageAssembler
{
public:
    // Bytes received; encrypted tells whether they arrived inside TLS.
    void feed(const QByteArray& bytes, bool encrypted);
    // The next complete message, if the bytes received so far hold one.
    std::optional<Message> next();
    // True once the client has sent something that is not TDS.
    bool broken() const { return m_broken; }

private:
    // Drops the first bytes of the buffer; answers whether they all arrived inside TLS.
    bool consume(qsizetype length);

    QByteArray m_buffer;
    // The buffer's bytes from the front in runs: how many, and whether they arrived inside TLS.
    QList<std::pair<qsizetype, bool>> m_runs;
    Message m_partial;
    bool m_inMessage = false;
    bool m_broken = false;
};

// Cuts a reply into packets of at most packetSize bytes each (header included), numbered on from
// packetId, the last one carrying the end-of-message bit.
QByteArray framePackets(PacketType type, const QByteArray& payload, int packetSize, std::uint16_t spid,
                        std::uint8_t& packetId);

// Where a request's own data starts: after ALL_HEADERS, which a TDS 7.2+ request starts with.
qsizetype afterAllHeaders(const QByteArray& payload, std::uint32_t tdsVersion);

} // namespace standin
